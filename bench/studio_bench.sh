#!/usr/bin/env bash
# The main window with a song of sixteen ten-minute tracks (see the usage at the top of
# StudioBench.cpp), with the private sound server of tests/pulse/server.sh around the run. A
# PULSE_SERVER already set is used as it is. The wave files (about 106 MB a track) are made once
# in DIR/wavestack-studio-bench and kept there for the next run.
# Usage: bench/studio_bench.sh [build dir] [RUNS] [DIR] [TRACKS] [on|off (level meters)]
#   (default build/default, 5 runs, $TMPDIR or /tmp, 16 tracks; build the studio_bench target
#   first)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
runs="${2:-5}"
dir="${3:-${TMPDIR:-/tmp}}"
tracks="${4:-16}"
meters="${5:-on}"
bench="$(realpath "$build/bench/studio_bench")"
dir="$(realpath "$dir")"

# The disk must hold the wave files still to be written, with a margin for the pictures.
file_bytes=$((46 + 176400 * 600))
work="$dir/wavestack-studio-bench"
have=0
if [ -d "$work" ]; then
    have=$(find "$work" -maxdepth 1 -name 'track*.wav' -size "${file_bytes}c" | wc -l)
fi
missing=$((tracks > have ? tracks - have : 0))
need=$((missing * file_bytes + 64 * 1048576))
avail=$(df --output=avail -B1 "$dir" | tail -n 1 | tr -d ' ')
if [ "$missing" -gt 0 ] && [ "$avail" -lt "$need" ]; then
    fit=$(((avail - 64 * 1048576) / file_bytes + have))
    [ "$fit" -lt 0 ] && fit=0
    echo "studio_bench.sh: $dir has $((avail / 1048576)) MiB free, but $missing more wave files" \
        "need $((need / 1048576)) MiB; $fit tracks fit. Give a folder on a larger disk" \
        "(bench/studio_bench.sh BUILD RUNS DIR) or fewer tracks (... DIR TRACKS)." >&2
    exit 1
fi

if [ -z "${PULSE_SERVER:-}" ]; then
    eval "$(tests/pulse/server.sh start)"
    trap 'tests/pulse/server.sh stop' EXIT
fi
"$bench" "$runs" "$dir" "$tracks" "$meters"
