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

# The state, preset, audio and host-state tests again, built with ASan and
# UBSan (only the framework modules they run through are instrumented:
# cmake/SanitizerScope.cmake), and the editor tests whose menus, dialog,
# messages and preferences outlive the editor and processor they came from.
# Any report fails the run. -O1 with line tables only compiles in about half
# the time of -O2 -g and still gives file and line in every report.
SANITIZE_BUILD="${SANITIZE_BUILD_DIR:-$ROOT/build/sanitize}"
step "Configuring the sanitizer build in $SANITIZE_BUILD"
cmake -S "$ROOT" -B "$SANITIZE_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DCORVANTIDE_SANITIZE=ON -DCORVANTIDE_BENCH=OFF || fail "CMake configuration in $SANITIZE_BUILD"
step "Building the processor, host and fuzz tests with ASan and UBSan ($JOBS jobs)"
cmake --build "$SANITIZE_BUILD" --parallel "$JOBS" --target corvantide_tests corvantide_host_tests corvantide_state_fuzz \
  || fail "sanitizer build in $SANITIZE_BUILD"
step "Running the processor, editor lifetime, host and fuzz tests under ASan and UBSan"
cd "$SANITIZE_BUILD"
HOME="$SCRATCH_HOME" UBSAN_OPTIONS=print_stacktrace=1 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  ctest --output-on-failure --parallel "$JOBS" --timeout 900 -R '^(ParamBridge|ProcessorTest|EditorLifetimeTest|PreferencesSharingTest|Host|HostState|StateFuzz)\.' \
  || fail "tests under the sanitizers (see the output above)"
cd "$ROOT"

step "Building the Windows x64 module and checking it under Wine"
bash "$ROOT/scripts/build-windows.sh" || fail "Windows build or Wine host check (see the output above)"
echo
echo "All tests passed."
