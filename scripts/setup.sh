#!/usr/bin/env bash
# Installs every Debian package the project needs (only when something is missing), then
# configures and builds. Usage: scripts/setup.sh [build-dir [extra cmake args...]]
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
    g++ make cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-translations-l10n qt6-qpa-plugins
    libqt6printsupport6 libqt6serialport6 libgl-dev libvulkan-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    fonts-noto-cjk xvfb xauth x11-utils xdg-utils
    qt6-svg-dev libqt6svg6 libcups2-dev
    cups cups-client cups-bsd printer-driver-cups-pdf poppler-utils libreoffice-draw-nogui
    # The Debian package and its checks: dpkg-shlibdeps, file type detection, validators, man.
    dpkg-dev file desktop-file-utils appstream man-db
    # Lock keys from the X server's XKB state, and real key events for its test.
    libxcb1-dev libxcb-xkb-dev xdotool
    # The independent computation that `kest --stats` is checked against.
    python3
    # Publishing to an MQTT broker: the client library; the broker, its clients and openssl for
    # the tests, which start their own broker on loopback.
    libmosquitto-dev mosquitto mosquitto-clients openssl
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

BUILD_DIR="${1:-build}"
shift || true
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja "$@"
elif [ $# -gt 0 ]; then
    # Options given again reach a build directory configured before (-DKEST_WERROR=ON, say).
    cmake -S . -B "$BUILD_DIR" "$@" >/dev/null
fi
# KEST_TARGETS limits the build, e.g. to the program alone.
cmake --build "$BUILD_DIR" -j "$(nproc)" ${KEST_TARGETS:+--target $KEST_TARGETS}
