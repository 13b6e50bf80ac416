#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Clipvane need.
# Idempotent: installs only what is missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang
    qt6-base-dev qt6-webengine-dev qt6-image-formats-plugins libgl-dev
    libpcre2-dev libcpp-httplib-dev libxcb1-dev
    python3-networkx
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth x11-apps xdotool imagemagick fonts-dejavu-core fonts-liberation2
    appstream desktop-file-utils lintian
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Please run as root or install sudo." >&2; exit 1; }
    sudo=sudo
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
