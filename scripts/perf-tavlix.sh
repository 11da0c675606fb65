#!/bin/bash
# Prints tavlix's timings and memory under Wine in Windows 2000 mode: how
# long the window procedure takes to answer a device broadcast (with the
# pass the broadcast starts held until the answer is back, and as a user's
# tavlix answers, its pass running beside the answer; beside what starting
# a thread costs), how long from a volume arrival to the icon key, and the
# working set before and after a burst of events. Figures only: no time
# makes it fail.
#   scripts/perf-tavlix.sh            (KIT_BUILD_DIR: another build folder)
set -eu
# A relative KIT_BUILD_DIR is taken from where the script was started.
[ -z "${KIT_BUILD_DIR:-}" ] || KIT_BUILD_DIR=$(realpath -m "$KIT_BUILD_DIR")
cd "$(dirname "$0")/.."
build=${KIT_BUILD_DIR:-build/win64}
scripts/setup.sh
cmake --preset win64 -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tavlix load_tavlix passprobe >/dev/null
scripts/make-wine-template.sh "$build/wine/template" win64
build=$(cd "$build" && pwd)
scripts/run-in-wine.sh "$build/wine/template" "$build/testbin/load_tavlix.exe" \
    "$build/bin" "$build/testbin" perf
