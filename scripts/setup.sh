#!/usr/bin/env bash
# Installs everything the build and the tests need from Debian's packages.
# Safe to run again: when every package is already present it touches nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  juce-modules-source faust-common fonts-roboto-unhinted
  googletest libgtest-dev
  xvfb xauth x11-utils libxtst-dev patch
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "setup: FAILED - need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
fi

source "$(dirname "${BASH_SOURCE[0]}")/apt-wait.sh"

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! apt_get update -q; then
  echo "setup: FAILED - apt-get update" >&2; exit 1
fi
if ! apt_get install -y -q --no-install-recommends "${missing[@]}"; then
  echo "setup: FAILED - apt-get install ${missing[*]}" >&2; exit 1
fi
echo "setup: done"
