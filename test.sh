#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite: everything under the
# address+undefined sanitizers, the core under the thread sanitizer, then the fuzzers.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh

# Tests that play and record need a private sound server; it is stopped on exit.
if [ -x tests/pulse/server.sh ]; then
    eval "$(tests/pulse/server.sh start)"
    trap 'tests/pulse/server.sh stop' EXIT
fi

status=0
for preset in asan tsan; do
    echo "=== $preset ==="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2 --timeout 600 || status=1
done

if [ -x tests/fuzz/run.sh ]; then
    echo "=== fuzz ==="
    tests/fuzz/run.sh || status=1
fi
exit $status
