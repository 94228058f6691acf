#!/usr/bin/env bash
# Plants each fault of scripts/mutation-faults.txt in turn, rebuilds, runs the
# suite with ctest and reports which tests catch it (run by hand, not by CI).
#   bash scripts/mutation-harness.sh [--only 'engine-*,editor-width-clamp'] [--jobs 2] [--list]
# The report goes to build/mutation/mutation-report.txt. Each ctest run gets a
# scratch HOME of its own; the Windows check is not run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
for arg in "$@"; do
  case "$arg" in
    --list|-h|--help) exec python3 "$ROOT/scripts/mutation_harness.py" "$@" ;;
  esac
done
exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" python3 "$ROOT/scripts/mutation_harness.py" "$@"
