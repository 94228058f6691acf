#!/usr/bin/env bash
# Installs what the Windows cross-build and its Wine check need from Debian's
# packages, and makes Debian's source packages reachable for `apt-get source`
# (libpng and libjpeg have no MinGW build in Debian, so we build them ourselves).
# Safe to run again: it changes nothing once everything is in place.
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "setup-windows: FAILED - need root (or sudo)" >&2; exit 1
  fi
fi

# deb-src entries mirroring the machine's own deb entries, so source packages
# come from exactly the archive (and snapshot) the binaries come from.
SRC_LIST=/etc/apt/sources.list.d/corvantide-deb-src.sources
if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  echo "setup-windows: adding deb-src entries in $SRC_LIST"
  tmp="$(mktemp)"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    # deb822 stanzas: keep every stanza that carries "deb", as deb-src only.
    awk 'BEGIN { RS=""; ORS="\n\n" }
         /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ {
           sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f" >>"$tmp"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    # one-line format: turn each "deb ..." line into a deb822 stanza.
    awk '$1 == "deb" {
           i = 2; opts = ""
           if ($2 ~ /^\[/) { while ($i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
           uri = $i; suite = $(i+1); comps = ""
           for (j = i + 2; j <= NF; j++) comps = comps (comps == "" ? "" : " ") $j
           printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", uri, suite, comps
           if (match(opts, /signed-by=[^] ]+/)) printf "Signed-By: %s\n", substr(opts, RSTART + 10, RLENGTH - 10)
           printf "\n" }' "$f" >>"$tmp"
  done
  [ -s "$tmp" ] || { echo "setup-windows: FAILED - found no deb entry to mirror" >&2; exit 1; }
  $SUDO install -m 644 "$tmp" "$SRC_LIST"
  rm -f "$tmp"
  NEED_UPDATE=1
fi

packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  libz-mingw-w64-dev
  wine wine64
  dpkg-dev
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

export DEBIAN_FRONTEND=noninteractive
source "$HERE/apt-wait.sh"
if [ ${#missing[@]} -gt 0 ] || [ "${NEED_UPDATE:-0}" = 1 ]; then
  apt_get update -q || { echo "setup-windows: FAILED - apt-get update" >&2; exit 1; }
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-windows: installing ${missing[*]}"
  apt_get install -y -q --no-install-recommends "${missing[@]}" \
    || { echo "setup-windows: FAILED - apt-get install ${missing[*]}" >&2; exit 1; }
else
  echo "setup-windows: all ${#packages[@]} packages present"
fi
