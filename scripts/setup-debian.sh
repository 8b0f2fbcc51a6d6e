#!/usr/bin/env bash
# Installs every Debian 12 package that KESTRA's build, tests, benchmarks and
# demo need. Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ clang libclang-rt-14-dev clang-format pkg-config
    qt6-base-dev libgl-dev libx11-dev
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev libvterm-dev
    # the demo and the end-to-end tests: an X server, a window manager, input,
    # keyboard lights, clipboard, fonts
    xvfb openbox xdotool x11-xserver-utils xclip x11-utils imagemagick fonts-dejavu-core
    # the install and guide tests: desktop entry, manual pages, .deb, socat recipe
    desktop-file-utils man-db dpkg-dev socat
    # the telnet console test: a console server in telnet mode
    ser2net
    vttest # driven in a console by scripts/vttest.sh
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
