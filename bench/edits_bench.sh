#!/usr/bin/env bash
# Edits and conversion of a 10-minute 44100 Hz 16-bit stereo file through wavestack-cli, side
# by side with cp (edits) and sox (conversion) in one run. Prints wall times and ratios.
# Usage: bench/edits_bench.sh [build dir]   (default build/default; build it first)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
cli="$(realpath "$build/app/wavestack-cli")"
work="$(mktemp -d "${TMPDIR:-/tmp}/wavestack-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"
cd "$work"
sox -n -r 44100 -b 16 -c 2 in.wav synth 600 sine 440 gain -3
"$cli" --quiet edit in.wav --op copy --sel 02:00.00000:03:00.00000 --clip clip.wav

hyperfine --style basic --runs 3 --export-json edits.json \
    -n cp "cp in.wav out.wav" \
    -n cut "$cli --quiet edit in.wav -o out.wav --op cut --sel 02:00.00000:08:00.00000 --clip cut.wav" \
    -n delete "$cli --quiet edit in.wav -o out.wav --op delete --sel 02:00.00000:08:00.00000" \
    -n insert "$cli --quiet edit in.wav -o out.wav --op insert --play 05:00.00000 --clip clip.wav" \
    -n paste "$cli --quiet edit in.wav -o out.wav --op paste --play 05:00.00000 --clip clip.wav" \
    -n convert "$cli --quiet convert in.wav -o out.wav --format 22050,8,1" \
    -n sox-convert "sox in.wav -r 22050 -b 8 -c 1 out.wav" >/dev/null

python3 - <<'PY'
import json
r = {x["command"]: x["mean"] for x in json.load(open("edits.json"))["results"]}
print(f"{'command':12} {'seconds':>8}")
for k, v in r.items():
    print(f"{k:12} {v:8.3f}")
for k in ("cut", "delete", "insert", "paste"):
    print(f"{k} takes {r[k] / r['cp']:.2f} x the time of cp")
print(f"convert is {r['sox-convert'] / r['convert']:.2f} x the speed of sox")
PY
