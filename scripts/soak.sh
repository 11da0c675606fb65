#!/bin/bash
# Long bursts against the resident programs under Wine, with figures:
#   scripts/soak.sh [TAVLIX_EVENTS] [MORVEX_ARRIVALS] [MORVEX_BURSTS]
# tavlix gets TAVLIX_EVENTS (default 10000) mixed broadcasts in Windows 2000
# mode and as many in XP mode, as fast as it answers, and is then stopped
# by a second launch; morvex gets MORVEX_ARRIVALS (default 300) volume
# arrivals in MORVEX_BURSTS bursts (default 3), each followed by a quiet
# period of more than 10 s. Prints events, times, handle counts, threads
# and memory at the start, middle and end, what is left in the registry,
# and morvex's scans per quiet period. Fails only on a functional outcome
# (a crash, a broadcast not answered, keys left behind, a wrong scan
# count), never on a time. KIT_BUILD_DIR: another build folder.
set -eu
# A relative KIT_BUILD_DIR is taken from where the script was started.
[ -z "${KIT_BUILD_DIR:-}" ] || KIT_BUILD_DIR=$(realpath -m "$KIT_BUILD_DIR")
cd "$(dirname "$0")/.."
events=${1:-10000}
arrivals=${2:-300}
bursts=${3:-3}
[ "$bursts" -ge 1 ] || bursts=1
build=${KIT_BUILD_DIR:-build/win64}
scripts/setup.sh
cmake --preset win64 -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tavlix morvex newdev_recorder load_tavlix \
    load_morvex >/dev/null
scripts/make-wine-template.sh "$build/wine/template" win64
build=$(cd "$build" && pwd)
failed=0
for version in win2k winxp; do
    start=$(date +%s)
    scripts/run-in-wine.sh "$build/wine/template" "$build/testbin/load_tavlix.exe" \
        "$build/bin" "$build/testbin" soak "$events" "$version" || failed=1
    echo "  (whole run $(($(date +%s) - start)) s)"
    echo
done
start=$(date +%s)
scripts/run-in-wine.sh "$build/wine/template" "$build/testbin/load_morvex.exe" \
    "$build/bin" "$build/testbin" "$bursts" $((arrivals / bursts)) || failed=1
echo "  (whole run $(($(date +%s) - start)) s)"
exit $failed
