#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Quillwick need, when some
# are missing. Usage: tools/setup-debian.sh [linux|windows|sanitize|fuzz|screenshot|ci ...]
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl-dev fonts-wqy-microhei)
for extra in "$@"; do
    case "$extra" in
    linux) ;;
    windows)
        # wine provides the wine and wineboot commands; the X libraries are only recommended by
        # libwine, and its X11 driver needs them to show a window under Xvfb.
        # locales: the Chinese locale in which Wine's cmd.exe writes code page 936 and UTF-16.
        packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 xvfb xauth
                   fonts-dejavu-core fonts-wine xz-utils icoutils zip unzip nsis libxrender1
                   libxrandr2 libxcursor1 libxi6 libxinerama1 libxcomposite1 libxfixes3
                   locales) ;;
    sanitize | fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
    screenshot) packages+=(xvfb xauth x11-apps imagemagick) ;;
    # A monospace font that does not declare itself fixed-pitch, as ImageMagick's recommends bring
    # in: the tests must pass with it.
    ci) packages+=(fonts-noto-mono) ;;
    *) echo "unknown package set: $extra" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
