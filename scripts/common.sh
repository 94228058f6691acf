# Shared by the build, install and test commands.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc)}"
export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-time_macros}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}"

step() { echo; echo "==> $*"; }
fail() { echo; echo "FAILED: $*" >&2; exit 1; }

# configure_and_build <build dir> <build type> [extra cmake args...]
configure_and_build() {
  local dir="$1" type="$2"; shift 2
  step "Configuring ($type) in $dir"
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" \
    || fail "CMake configuration in $dir"
  step "Building ($type) with $JOBS jobs"
  cmake --build "$dir" --parallel "$JOBS" || fail "build in $dir"
}
