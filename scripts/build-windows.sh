#!/usr/bin/env bash
# Cross-builds the Windows x64 module Corvantide.vst3 with MinGW-w64 and checks
# it in a Windows VST3 host running under Wine on a virtual display.
#
#   bash scripts/build-windows.sh             build, then run the host check
#   bash scripts/build-windows.sh --no-check  build only
#
# The bundle lands in build/windows/Corvantide_artefacts/Release/VST3/.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

RUN_CHECK=1
for arg in "$@"; do
  case "$arg" in
    --no-check) RUN_CHECK=0 ;;
    *) fail "unknown option $arg (known: --no-check)" ;;
  esac
done

step "Installing the Windows cross-build dependencies"
bash "$ROOT/scripts/setup.sh" || fail "dependency setup"
bash "$ROOT/scripts/setup-windows.sh" || fail "Windows dependency setup"

DEPS="${WINDOWS_DEPS_DIR:-$ROOT/build/windows-deps}"
bash "$ROOT/scripts/build-windows-deps.sh" "$DEPS" || fail "building libpng and libjpeg for Windows"

BUILD="${WINDOWS_BUILD_DIR:-$ROOT/build/windows}"
configure_and_build "$BUILD" Release \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/x86_64-w64-mingw32.cmake" \
  -DCORVANTIDE_WINDOWS_DEPS_PREFIX="$DEPS"

BUNDLE="$BUILD/Corvantide_artefacts/Release/VST3/Corvantide.vst3"
MODULE="$BUNDLE/Contents/x86_64-win/Corvantide.vst3"
HOST="$BUILD/corvantide_windows_host_check_artefacts/Release/corvantide_windows_host_check.exe"
[ -f "$MODULE" ] || fail "the build produced no module at $MODULE"
echo "Windows module: $MODULE"

[ "$RUN_CHECK" = 1 ] || exit 0
[ -f "$HOST" ] || fail "the build produced no host check at $HOST"

# A Wine prefix of our own inside the build folder: nothing touches the
# user's ~/.wine, and the plug-in's application-data folder lands in here too.
export WINEPREFIX="$BUILD/wineprefix"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: the check needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine keeps caches under $HOME: give it a home inside the build folder too.
WINE_HOME="$BUILD/wine-home"
mkdir -p "$WINE_HOME"

run_under_wine() {
  # Wine crashes when a window closes without a display, so it gets Xvfb.
  # wineserver -w waits for Wine's own processes to finish before xvfb-run
  # takes the display away.
  HOME="$WINE_HOME" xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash -c '
    set -o pipefail
    settle() { timeout 120 wineserver -w || { echo "Wine did not settle; stopping it" >&2; wineserver -k; }; }
    timeout 300 wineboot --init >/dev/null 2>&1 || { echo "preparing the Wine prefix failed" >&2; settle; exit 3; }
    settle
    module_w="$(winepath -w "$1")" || exit 3
    timeout 600 wine "$2" "$module_w"
    rc=$?
    [ $rc -ne 124 ] || echo "the host check timed out" >&2
    settle
    exit $rc' run_under_wine "$MODULE" "$HOST"
}

step "Running the Windows host check under Wine"
if ! run_under_wine; then
  fail "Windows host check under Wine (see the FAIL lines above)"
fi
echo
echo "Windows module built and checked under Wine."
