#!/bin/bash
# Installs what building, testing and the demo need on Debian. Safe to run
# again: it installs only what is missing.
set -eu
packages="cmake make g++ python3 mingw-w64 wine wine64 xvfb xauth googletest libgtest-dev clang libclang-rt-14-dev clang-tidy cppcheck zip unzip x11-apps imagemagick fonts-wine"
missing=""
for p in $packages; do
    if ! dpkg -s "$p" >/dev/null 2>&1; then
        missing="$missing $p"
    fi
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
