#!/bin/bash
# The kit's main job on a simulated card reader, under Wine, as Windows 2000
# and XP users get it: the setup installs the 32-bit programs into a 32-bit
# Windows and starts them. Runs from any current directory.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
echo "building the programs and the setup..."
cmake --preset win32 >/dev/null
cmake --build build/win32 -j"$(nproc)" --target kitdemo >/dev/null
echo "preparing a fresh Wine prefix (a 32-bit Windows)..."
scripts/make-wine-template.sh build/win32/wine/template win32
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
scripts/run-in-wine.sh build/win32/wine/template build/win32/testbin/kitdemo.exe \
    "$PWD/build/win32/bin" "$PWD/build/win32/testbin" \
    "$PWD/build/win32/setup/cardkit-$version-setup.exe"
