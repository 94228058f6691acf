#!/usr/bin/env bash
# Cross-builds the static Windows libpng and libjpeg that JUCE's image code
# needs (Debian's JUCE uses the system copies and Debian has no MinGW build of
# them). The sources are Debian's own source packages, fetched with
# `apt-get source`; nothing else is downloaded.
#
# Usage: build-windows-deps.sh <prefix>   (does nothing when <prefix> is complete)
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PREFIX="${1:?usage: build-windows-deps.sh <prefix>}"
TOOLCHAIN="$ROOT/cmake/toolchains/x86_64-w64-mingw32.cmake"
STAMP="$PREFIX/.corvantide-deps-complete"

if [ -f "$STAMP" ]; then
  echo "windows-deps: static libpng and libjpeg present in $PREFIX"
  exit 0
fi

WORK="$PREFIX.work"
rm -rf "$WORK" "$PREFIX"
mkdir -p "$WORK/src" "$PREFIX"

# fetch_source <package>: the newest version whose files the archive serves
# (a security update's source may lag behind its binaries).
fetch_source() {
  local pkg="$1" v
  for v in $(apt-cache showsrc "$pkg" | sed -n 's/^Version: //p' | sort -rV | uniq); do
    if (cd "$WORK/src" && apt-get source -q "$pkg=$v" >"$WORK/fetch-$pkg.log" 2>&1); then
      echo "windows-deps: $pkg $v"
      return 0
    fi
    echo "windows-deps: $pkg $v not available, trying an older version"
  done
  cat "$WORK/fetch-$pkg.log" >&2
  fail "could not fetch the source package $pkg (is a deb-src entry configured? scripts/setup-windows.sh adds one)"
}

step "Fetching Debian's source packages libpng1.6 and libjpeg-turbo"
fetch_source libpng1.6
fetch_source libjpeg-turbo

PNG_SRC="$(find "$WORK/src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -1)"
JPEG_SRC="$(find "$WORK/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -1)"
[ -d "$PNG_SRC" ] || fail "libpng source tree not found"
[ -d "$JPEG_SRC" ] || fail "libjpeg-turbo source tree not found"

cross=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release
       -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_C_COMPILER_LAUNCHER=)

step "Building libpng for Windows (static)"
cmake -S "$PNG_SRC" -B "$WORK/png" "${cross[@]}" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF \
  -DPNG_HARDWARE_OPTIMIZATIONS=ON -Dld-version-script=OFF >"$WORK/png-configure.log" 2>&1 \
  || { cat "$WORK/png-configure.log" >&2; fail "configuring libpng"; }
cmake --build "$WORK/png" --parallel "$JOBS" >"$WORK/png-build.log" 2>&1 \
  || { tail -50 "$WORK/png-build.log" >&2; fail "building libpng"; }
cmake --install "$WORK/png" >/dev/null || fail "installing libpng"

step "Building libjpeg for Windows (static)"
# No SIMD: it needs nasm, and JUCE only decodes small embedded images.
cmake -S "$JPEG_SRC" -B "$WORK/jpeg" "${cross[@]}" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
  -DWITH_JAVA=OFF >"$WORK/jpeg-configure.log" 2>&1 \
  || { cat "$WORK/jpeg-configure.log" >&2; fail "configuring libjpeg"; }
cmake --build "$WORK/jpeg" --parallel "$JOBS" >"$WORK/jpeg-build.log" 2>&1 \
  || { tail -50 "$WORK/jpeg-build.log" >&2; fail "building libjpeg"; }
cmake --install "$WORK/jpeg" >/dev/null || fail "installing libjpeg"

# JUCE's loader includes jpeglib.h with JPEG_INTERNALS defined, which pulls in
# the private header; Debian's own package installs it the same way.
cp "$JPEG_SRC/jpegint.h" "$PREFIX/include/" || fail "installing jpegint.h"

# JUCE includes jpeglib.h inside a namespace after <windows.h>; the header's
# guard against rpcndr.h would then leave that namespace without `boolean`.
JCONFIG="$PREFIX/include/jconfig.h"
[ -f "$JCONFIG" ] || fail "libjpeg installed no jconfig.h"
sed -i -e 's/^#ifndef __RPCNDR_H__.*$/#if 1/' "$JCONFIG"
grep -q 'typedef unsigned char boolean;' "$JCONFIG" || fail "unexpected jconfig.h layout (no boolean typedef)"

for lib in libpng16.a libpng.a libjpeg.a; do
  [ -f "$PREFIX/lib/$lib" ] || fail "missing $PREFIX/lib/$lib"
done

rm -rf "$WORK"
touch "$STAMP"
echo "windows-deps: installed into $PREFIX"
