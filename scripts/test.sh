#!/usr/bin/env bash
# Sets up the machine, builds the plug-in and its tests, and runs the whole
# suite with ctest under a virtual X display.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

step "Installing build and test dependencies"
bash "$ROOT/scripts/setup.sh" || fail "dependency setup"

BUILD="${BUILD_DIR:-$ROOT/build/test}"
configure_and_build "$BUILD" "${BUILD_TYPE:-RelWithDebInfo}" "$@"

step "Running the test suite"
# The tests never touch the real user's folders: HOME points at a scratch directory.
SCRATCH_HOME="$(mktemp -d)"
trap 'rm -rf "$SCRATCH_HOME"' EXIT
cd "$BUILD"
HOME="$SCRATCH_HOME" xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  ctest --output-on-failure --parallel "$JOBS" --timeout 600 \
  || fail "test suite (see the output above)"
cd "$ROOT"

step "Building the Windows x64 module and checking it under Wine"
bash "$ROOT/scripts/build-windows.sh" || fail "Windows build or Wine host check (see the output above)"
echo
echo "All tests passed."
