#!/usr/bin/env bash
# Long fuzzing run: each target for SECONDS (600 by default), one after the
# other, keeping its corpus in build/fuzz-long/work between runs. Prints the total
# executions and executions per second of each target.
#
# Usage: bench/fuzz-long.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
scripts/install-deps.sh base fuzz
fuzz/build.sh build/fuzz-long
fuzz/run.sh build/fuzz-long build/fuzz-long/work "$seconds" "$@"
