#!/usr/bin/env bash
# Times a ten-minute 44100 Hz 16-bit stereo -> 22050 Hz 8-bit mono conversion with our converter
# and with sox on the same file, and prints the ratio. Build first:
#   cmake --preset default && cmake --build build/default --target converter_bench
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bench="${CONVERTER_BENCH:-$here/../build/default/bench/converter_bench}"
[ -x "$bench" ] || { echo "missing $bench (build the converter_bench target)"; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -b 16 -c 2 "$work/in.wav" synth 600 sine 300-3000 sine 441 gain -3
# Warm the page cache so both read the file from memory.
cat "$work/in.wav" > /dev/null
ours=$("$bench" --input="$work/in.wav" --output="$work/ours.wav")
start=$(date +%s.%N)
sox "$work/in.wav" -r 22050 -b 8 -c 1 "$work/sox.wav"
end=$(date +%s.%N)
theirs=$(echo "$end - $start" | bc -l)
printf 'ours: %.3f s   sox: %.3f s   sox/ours: %.2f\n' "$ours" "$theirs" "$(echo "$theirs / $ours" | bc -l)"
printf 'sizes: ours %s bytes, sox %s bytes\n' "$(stat -c %s "$work/ours.wav")" "$(stat -c %s "$work/sox.wav")"
