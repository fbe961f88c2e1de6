#!/usr/bin/env bash
# The four effects over a whole 10-minute 44100 Hz 16-bit stereo file through wavestack-cli,
# side by side with sox doing comparable work, in one run. Prints wall times and ratios.
# Usage: bench/effects_bench.sh [build dir]   (default build/default; build it first)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
cli="$(realpath "$build/app/wavestack-cli")"
work="$(mktemp -d "${TMPDIR:-/tmp}/wavestack-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"
cd "$work"
sox -n -r 44100 -b 16 -c 2 in.wav synth 600 sine 440 gain -3
bytes=$("$cli" info in.wav | awk '{print $(NF-2)}')
sel="--sel 0:$bytes"
# The equalizer's combined filter with every band at 50 %: the same 32 taps for sox.
taps=$(python3 - <<'PY'
import math
edges = [1, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383]
def h(k, n):
    f1, f2, t = edges[k] / 32768, edges[k + 1] / 32768, n - 15.5
    return (math.sin(2 * math.pi * f2 * t) - math.sin(2 * math.pi * f1 * t)) / (math.pi * t)
print(" ".join(f"{sum(h(k, j) * 0.5 for k in range(10)):.12g}" for j in range(32)))
PY
)
hyperfine --style basic --runs 3 --export-json effects.json \
    -n fade "$cli --quiet effect in.wav -o out.wav $sel --fade 100,0" \
    -n sox-fade "sox in.wav out.wav fade t 0 600 600" \
    -n distortion "$cli --quiet effect in.wav -o out.wav $sel --distortion 100,50,50,100,100" \
    -n sox-overdrive "sox in.wav out.wav overdrive" \
    -n equalizer "$cli --quiet effect in.wav -o out.wav $sel --eq 50,50,50,50,50,50,50,50,50,50,50" \
    -n sox-fir "sox in.wav out.wav fir $taps" \
    -n delay "$cli --quiet effect in.wav -o out.wav $sel --delay 250,50,100,80,0,10,125" \
    -n sox-echo "sox in.wav out.wav echo 0.8 0.8 25 0.5" >/dev/null

python3 - <<'PY'
import json
r = {x["command"]: x["mean"] for x in json.load(open("effects.json"))["results"]}
for k, v in r.items():
    print(f"{k:14} {v:8.3f} s")
for ours, theirs in (("fade", "sox-fade"), ("distortion", "sox-overdrive"),
                     ("equalizer", "sox-fir"), ("delay", "sox-echo")):
    print(f"{ours} is {r[theirs] / r[ours]:.2f} x the speed of {theirs}")
PY
