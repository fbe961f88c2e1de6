#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang) and runs each for about 30 seconds from
# seeds: the wave-file reader and the profile-file reader (settings, song and preset files).
# Exits non-zero on any finding. FUZZ_BUILD_DIR overrides the build folder; FUZZ_SECONDS the
# run time of each target; ASAN_BUILD_DIR the build whose tests write the seeds.
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir="${FUZZ_BUILD_DIR:-build/fuzz}"
seconds="${FUZZ_SECONDS:-30}"

cmake --preset fuzz -B "$build_dir"
cmake --build "$build_dir" --target wavefile_fuzz profilefile_fuzz

work="$(mktemp -d "${TMPDIR:-/tmp}/fuzz-corpus.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Seeds from a test binary's *FuzzSeedCorpus* case when the (asan) build has it; true when it ran.
seed_from_tests() {
    local name="$1" corpus="$2" tests
    for tests in "${ASAN_BUILD_DIR:-build/asan}/tests/$name" build/*-asan/tests/"$name"; do
        if [[ -x "$tests" ]]; then
            WAVESTACK_FUZZ_CORPUS="$corpus" "$tests" --gtest_filter='*FuzzSeedCorpus*' >/dev/null
            return 0
        fi
    done
    return 1
}

run_fuzzer() {
    local name="$1" corpus="$2"
    "$build_dir/tests/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="$build_dir/$name-" -print_final_stats=1 "$corpus"
}

# Wave files; without the tests, a plain 16-bit file and one with a LIST chunk and odd sizes
# without pad.
wave="$work/wave"
mkdir "$wave"
if ! seed_from_tests wavefile_tests "$wave"; then
    printf 'RIFF\x2c\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x44\xac\x00\x00\x10\xb1\x02\x00\x04\x00\x10\x00data\x08\x00\x00\x00\x01\x02\x03\x04\x05\x06\x07\x08' \
        >"$wave/seed-simple.wav"
    printf 'RIFF\x00\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x11\x2b\x00\x00\x11\x2b\x00\x00\x01\x00\x08\x00LIST\x03\x00\x00\x00abcdata\x03\x00\x00\x00\x80\x81\x82' \
        >"$wave/seed-list.wav"
fi
run_fuzzer wavefile_fuzz "$wave"

# Profile files; without the tests, a small settings file and a song file.
profile="$work/profile"
mkdir "$profile"
if ! seed_from_tests studio_settings_tests "$profile"; then
    printf '[FILES]\nNUMFILES=1\nFILE1=/music/Mix.Sng\n[SOUND]\nDEVICE=\nRECORDER=-1\n[TFormStudio]\nHEIGHT=480\nPanelSIZE=1\nMAXIMIZED=1\n' \
        >"$profile/seed-settings.TXT"
    printf '[TRACKS]\r\nTRACK1=Guitar.wav\r\nNUMTRACKS=1\r\n[TRACK1]\r\nMUTE=0\r\nPAN=-30\r\nVOLUME=0x10\r\nOFFSET=00:01.50000\r\n' \
        >"$profile/seed-song.Sng"
fi
run_fuzzer profilefile_fuzz "$profile"
