#!/usr/bin/env bash
# The user-interface thread's longest stall in the main window, phase by phase (see the usage
# at the top of StallBench.cpp), with the private sound server of tests/pulse/server.sh around
# the run. A PULSE_SERVER already set is used as it is. The wave files (about 106 MB a
# ten-minute track) are made once in DIR/wavestack-stall-bench and kept for the next run; the
# bench checks the free space first.
# Usage: bench/stall_bench.sh [build dir] [RUNS] [DIR] [MINUTES] [TRACKS]
#   (default build/default, 3 runs, $TMPDIR or /tmp, 10-minute tracks, 16 in the song; build
#   the stall_bench target first)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
runs="${2:-3}"
dir="${3:-${TMPDIR:-/tmp}}"
minutes="${4:-10}"
tracks="${5:-16}"
bench="$(realpath "$build/bench/stall_bench")"
dir="$(realpath "$dir")"
if [ -z "${PULSE_SERVER:-}" ]; then
    eval "$(tests/pulse/server.sh start)"
    trap 'tests/pulse/server.sh stop' EXIT
fi
"$bench" "$runs" "$dir" "$minutes" "$tracks"
