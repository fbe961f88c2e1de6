#!/usr/bin/env bash
# Wave-file write and CopyWaveData beside cp of the same file (200 MB by default).
# BENCH_BUILD_DIR overrides the build folder (default preset); BENCH_MB the size.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${BENCH_BUILD_DIR:-build/default}"
cmake --preset default -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target wavefile_bench

work="$(mktemp -d "${TMPDIR:-/tmp}/wavebench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
"$build_dir/bench/wavefile_bench" "$work" "${BENCH_MB:-200}"
