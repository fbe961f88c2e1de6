#!/usr/bin/env bash
# Installs what is missing, builds the optimised preset and starts Wavestack.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target wavestack wavestack-cli
exec build/default/app/wavestack "$@"
