#!/usr/bin/env bash
# Plants each fault of scripts/mutation-faults.txt in turn, rebuilds, runs the
# suite with ctest and reports which tests catch it (run by hand, not by CI).
#   bash scripts/mutation-harness.sh [--only 'engine-*,window-width-no-ceiling'] [--jobs 2] [--list]
# The report goes to build/mutation/mutation-report.txt. Each ctest run gets a
# virtual display and a scratch HOME of its own; the Windows check is not run.
set -euo pipefail
exec python3 "$(dirname "${BASH_SOURCE[0]}")/mutation_harness.py" "$@"
