#!/bin/sh
# Installs the Debian packages Tervalo needs to build, test and run, and only
# those that are missing, so that a second run costs nothing.
# Works as root and, for other users, through sudo.
set -eu

PACKAGES="
cmake
ninja-build
g++
make
pkg-config
libgtest-dev
libgmock-dev
libbenchmark-dev
libboost-dev
libcurl4-openssl-dev
libpugixml-dev
libicu-dev
qt6-base-dev
qt6-svg-dev
xvfb
xauth
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "install-deps: missing packages:$missing" >&2
    echo "install-deps: run this script as root or install sudo" >&2
    exit 1
fi

echo "install-deps: installing$missing"
$SUDO apt-get update -qq
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
