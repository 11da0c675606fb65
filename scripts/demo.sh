#!/bin/bash
# The kit's main job on a simulated card reader, under Wine.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
echo "building the 64-bit programs (the ones this machine can run under Wine)..."
cmake --preset win64 >/dev/null
cmake --build build/win64 -j"$(nproc)" >/dev/null
cmake --build build/win64 --target package >/dev/null
echo "preparing a fresh Wine prefix..."
scripts/make-wine-template.sh build/win64/wine/template
scripts/run-in-wine.sh build/win64/wine/template build/win64/testbin/kitdemo.exe \
    "$PWD/build/win64/bin" "$PWD/build/win64/testbin"
