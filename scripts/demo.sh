#!/bin/bash
# The kit's main job on a simulated card reader, under Wine, with what
# Windows 2000 and XP users get: the 32-bit programs, installed from the
# 32-bit package. Runs from any current directory.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
echo "building the 32-bit programs and their package..."
cmake --preset win32 >/dev/null
cmake --build build/win32 -j"$(nproc)" --target kitdemo package >/dev/null
echo "preparing a fresh Wine prefix..."
scripts/make-wine-template.sh build/win32/wine/template
scripts/run-in-wine.sh build/win32/wine/template build/win32/testbin/kitdemo.exe \
    "$PWD/build/win32/bin" "$PWD/build/win32/testbin"
