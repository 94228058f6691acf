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
# sanitizer_build <dir> <option> <what> <targets...>: configures and builds an
# instrumented build of the given test targets.
sanitizer_build() {
  local dir="$1" option="$2" what="$3"; shift 3
  step "Configuring the $what build in $dir"
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -D"$option"=ON -DCORVANTIDE_BENCH=OFF || fail "CMake configuration in $dir"
  step "Building $* with $what ($JOBS jobs)"
  cmake --build "$dir" --parallel "$JOBS" --target "$@" || fail "$what build in $dir"
}

SANITIZE_BUILD="${SANITIZE_BUILD_DIR:-$ROOT/build/sanitize}"
sanitizer_build "$SANITIZE_BUILD" CORVANTIDE_SANITIZE "ASan and UBSan" \
  corvantide_tests corvantide_host_tests corvantide_state_fuzz corvantide_thread_tests
step "Running the processor, preset folder, editor lifetime, host, fuzz and thread tests under ASan and UBSan"
cd "$SANITIZE_BUILD"
HOME="$SCRATCH_HOME" UBSAN_OPTIONS=print_stacktrace=1 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  ctest --output-on-failure --parallel "$JOBS" --timeout 900 -R '^(ParamBridge|ProcessorTest|EditorLifetimeTest|PreferencesSharingTest|Host|HostState|HostRates|StateFuzz|StateThreads|PresetFolder)\.' \
  || fail "tests under the sanitizers (see the output above)"
cd "$ROOT"

# The processor driven from several threads at once (an audio thread
# processing blocks while others restore states, load preset files and move
# parameters), built with ThreadSanitizer in a folder of its own. Only that
# test's executable is built: our code and the framework modules it runs
# through are instrumented, the GUI modules are not
# (cmake/SanitizerScope.cmake). Any report fails the run.
TSAN_BUILD="${TSAN_BUILD_DIR:-$ROOT/build/tsan}"
sanitizer_build "$TSAN_BUILD" CORVANTIDE_TSAN ThreadSanitizer corvantide_thread_tests
step "Running the thread test under ThreadSanitizer"
cd "$TSAN_BUILD"
# Without address-space randomisation: on kernels that randomise more bits
# than this compiler's ThreadSanitizer expects, it stops at start with
# "unexpected memory mapping".
HOME="$SCRATCH_HOME" TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  setarch "$(uname -m)" -R ctest --output-on-failure --timeout 600 -R '^StateThreads\.' \
  || fail "thread test under ThreadSanitizer (see the output above)"
cd "$ROOT"

step "Building the Windows x64 module and checking it under Wine"
bash "$ROOT/scripts/build-windows.sh" || fail "Windows build or Wine host check (see the output above)"
echo
echo "All tests passed."
