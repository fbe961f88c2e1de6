#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is missing.
set -euo pipefail
PACKAGES=(build-essential cmake ninja-build pkg-config ccache qt6-base-dev qt6-svg-dev libsoxr-dev libpulse-dev
          pulseaudio pulseaudio-utils libgtest-dev libgmock-dev libbenchmark-dev xvfb sox
          clang libclang-rt-14-dev hyperfine imagemagick)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
