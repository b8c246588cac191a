#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Marvane need, if missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools libqt6svg6
    librtaudio-dev libjack-jackd2-dev libsamplerate0-dev libpulse-dev libgtest-dev libgmock-dev
    libsndfile1-dev liblo-dev librtmidi-dev
    clang-format
    xvfb xauth xdotool x11-utils
    sox poppler-utils
    jackd2 pulseaudio pulseaudio-utils
    xdg-utils python3
    dpkg-dev file lintian man-db
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to enable real-time priority; the default answer is fine.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
