#!/usr/bin/env bash
# Whole-process wall time of `wavestack-cli combine` on a song of eight ten-minute 44100 Hz
# 16-bit stereo tracks, beside `sox -m` of the same eight files with the tracks' volume gains,
# in one hyperfine run; prints both times and the ratio. Build first:
#   cmake --preset default && cmake --build build/default --target wavestack-cli
# Needs about 2 GB free in the work folder (default /dev/shm, else $COMBINE_BENCH_DIR).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cli="$(realpath "${WAVESTACK_CLI:-$here/../build/default/app/wavestack-cli}")"
[ -x "$cli" ] || { echo "missing $cli (build the wavestack-cli target)"; exit 1; }
base="${COMBINE_BENCH_DIR:-/dev/shm}"
[ -d "$base" ] || base=/tmp
work="$(mktemp -d "$base/combine-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Volumes of the eight tracks and the gains they stand for (0 -> 1, -v -> (100-v)/100,
# +v -> v/100 + 1).
volumes=(0 -20 -50 30 -10 0 -75 10)
gains=(1 0.8 0.5 1.3 0.9 1 0.25 1.1)
song="$work/song.Sng"
{
    echo "[TRACKS]"
    for i in 1 2 3 4 5 6 7 8; do echo "TRACK$i=t$i.wav"; done
    echo "NUMTRACKS=8"
    for i in 1 2 3 4 5 6 7 8; do
        printf '[TRACK%d]\nMUTE=0\nMINIMIZED=0\nPAN=0\nVOLUME=%d\nOFFSET=00:00.00000\n' \
            "$i" "${volumes[$((i - 1))]}"
    done
} > "$song"
soxin=()
for i in 1 2 3 4 5 6 7 8; do
    sox -n -r 44100 -b 16 -c 2 "$work/t$i.wav" synth 600 sine $((100 * i))-$((900 * i)) \
        sine $((37 * i)) gain -12
    soxin+=(-v "${gains[$((i - 1))]}" "$work/t$i.wav")
done
cat "$work"/t*.wav > /dev/null # both read the inputs from memory

mkdir -p "$work/tmp"
ours="TMPDIR=$work/tmp $cli -q combine $song -o $work/ours.wav"
theirs="sox -D -m ${soxin[*]} $work/sox.wav"
hyperfine --warmup 1 --runs "${RUNS:-5}" --export-json "$work/times.json" \
    -n wavestack "$ours" -n sox "$theirs"
python3 - "$work/times.json" <<'PY'
import json, sys
r = {x["command"]: x["mean"] for x in json.load(open(sys.argv[1]))["results"]}
print(f"wavestack-cli combine: {r['wavestack']:.3f} s   sox -m: {r['sox']:.3f} s   "
      f"sox/ours: {r['sox'] / r['wavestack']:.2f}")
PY
printf 'sizes: ours %s bytes, sox %s bytes\n' "$(stat -c %s "$work/ours.wav")" \
    "$(stat -c %s "$work/sox.wav")"
