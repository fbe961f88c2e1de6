#!/usr/bin/env bash
# The track window's costs on a ten-minute track (see the usage at the top of
# TrackWindowBench.cpp), with the private sound server of tests/pulse/server.sh around the run
# so that the playing phase runs too. A PULSE_SERVER already set is used as it is.
# Usage: bench/track_window_bench.sh [build dir] [ROUNDS]   (default build/default, 5 rounds;
# build the track_window_bench target first)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
rounds="${2:-5}"
bench="$(realpath "$build/bench/track_window_bench")"
if [ -z "${PULSE_SERVER:-}" ]; then
    eval "$(tests/pulse/server.sh start)"
    trap 'tests/pulse/server.sh stop' EXIT
fi
"$bench" "$rounds"
