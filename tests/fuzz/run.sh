#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang), seeds the wave-file fuzzer with a few tiny
# valid and malformed files and runs it for about 30 seconds. Exits non-zero on any finding.
# FUZZ_BUILD_DIR overrides the build folder; FUZZ_SECONDS the run time.
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir="${FUZZ_BUILD_DIR:-build/fuzz}"
seconds="${FUZZ_SECONDS:-30}"

cmake --preset fuzz -B "$build_dir"
cmake --build "$build_dir" --target wavefile_fuzz

corpus="$(mktemp -d "${TMPDIR:-/tmp}/wavefuzz-corpus.XXXXXX")"
trap 'rm -rf "$corpus"' EXIT

# The seeds come from the wave-file tests when their (asan) binary is built; otherwise two
# written here: a plain 16-bit file and one with a LIST chunk and odd sizes without pad.
seeded=0
for tests in "${ASAN_BUILD_DIR:-build/asan}/tests/wavefile_tests" build/*-asan/tests/wavefile_tests; do
    if [[ -x "$tests" ]]; then
        WAVESTACK_FUZZ_CORPUS="$corpus" "$tests" --gtest_filter='*FuzzSeedCorpus*' >/dev/null
        seeded=1
        break
    fi
done
if [[ $seeded -eq 0 ]]; then
    printf 'RIFF\x2c\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x44\xac\x00\x00\x10\xb1\x02\x00\x04\x00\x10\x00data\x08\x00\x00\x00\x01\x02\x03\x04\x05\x06\x07\x08' \
        >"$corpus/seed-simple.wav"
    printf 'RIFF\x00\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x11\x2b\x00\x00\x11\x2b\x00\x00\x01\x00\x08\x00LIST\x03\x00\x00\x00abcdata\x03\x00\x00\x00\x80\x81\x82' \
        >"$corpus/seed-list.wav"
fi

"$build_dir/tests/fuzz/wavefile_fuzz" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$build_dir/wavefile-fuzz-" -print_final_stats=1 "$corpus"
