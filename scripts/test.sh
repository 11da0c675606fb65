#!/bin/bash
# Runs every test of the kit: native unit tests (plain and under ASan and
# UBSan), a bounded fuzz run of the pure parsers, static analysis, and for
# each build, the 32-bit one users run and the 64-bit one, the Windows 2000
# loadability check (32-bit) and the Wine tests of the real programs.
# Prints each tier's duration; exits non-zero when any tier fails.
#
#   scripts/test.sh [TIER...]   TIER: native native-asan fuzz static-analysis win32 win64
#
# Without a tier it runs all of them, as CI does: the two Windows builds
# first, then their Wine tests, which mostly wait on the programs they
# drive, beside the host tiers. Each Wine test has a prefix, a display and
# a wine server of its own, so KIT_WINE_JOBS of them (3 unless set) run at
# once in each tree. Each tier's output is printed whole when it ends.
set -u
cd "$(dirname "$0")/.."
all_tiers="native native-asan fuzz static-analysis win32 win64"
usage() {
    echo "usage: scripts/test.sh [TIER...]" >&2
    echo "tiers: $all_tiers (none given: all)" >&2
    exit 2
}
for arg in "$@"; do
    case " $all_tiers " in
        *" $arg "*) ;;
        *) usage ;;
    esac
done
selected=" ${*:-$all_tiers} "
scripts/setup.sh || exit 1
wine_jobs=${KIT_WINE_JOBS:-3}
logs=build/test-logs
rm -rf "$logs"
mkdir -p "$logs"
start_all=$SECONDS

# tier NAME COMMAND...: runs a selected tier into its log, then prints the
# log, and records its time (with tier_spent seconds spent on it before)
# and outcome.
tier() {
    local name=$1
    shift
    case $selected in *" $name "*) ;; *) return 0 ;; esac
    local start=$((SECONDS - ${tier_spent:-0}))
    "$@" >"$logs/$name.log" 2>&1
    local rc=$?
    local took=$((SECONDS - start))
    { echo "=== $name"; cat "$logs/$name.log"; echo "=== $name: ${took} s"; } >&3
    printf '%-16s %5d s%s\n' "$name" "$took" "$([ $rc -eq 0 ] || echo "  FAILED")" >"$logs/$name.time"
    return $rc
}
exec 3>&1

build_win32() {
    cmake --preset win32 >/dev/null && cmake --build build/win32 -j2 &&
        cmake --build build/win32 -j2 --target setup
}
build_win64() {
    cmake --preset win64 >/dev/null && cmake --build build/win64 -j2
}
host_lane() {
    tier native sh -c 'cmake --preset native >/dev/null && cmake --build build/native -j2 && ctest --preset native'
    tier native-asan sh -c 'cmake --preset native-asan >/dev/null && cmake --build build/native-asan -j2 && ctest --preset native-asan'
    tier fuzz scripts/fuzz.sh
    tier static-analysis scripts/static-analysis.sh
}
# Both trees are built first, one after the other (the 64-bit tree's setup
# test installs the setup the 32-bit tree makes), with the whole machine:
# they are what the rest waits for. Then their Wine tests run side by side,
# and the host tiers beside them at a lower priority, as those tests wait
# on programs that must not be slowed. A Windows tier's time is its build
# and its tests.
want32=; want64=
case $selected in *" win32 "*) want32=1 ;; esac
case $selected in *" win64 "*) want64=1 ;; esac
if [ -n "$want32$want64" ]; then
    start=$SECONDS
    build_win32 >"$logs/build-win32.log" 2>&1
    built32=$? took32=$((SECONDS - start))
    start=$SECONDS
    built64=0
    [ -z "$want64" ] || { build_win64 >"$logs/build-win64.log" 2>&1; built64=$?; }
    took64=$((SECONDS - start))
    if [ -n "$want32" ]; then
        (tier_spent=$took32; tier win32 sh -c "cat $logs/build-win32.log; [ $built32 -eq 0 ] &&
            ctest --preset win32 -j$wine_jobs") &
    fi
    if [ -n "$want64" ]; then
        (tier_spent=$took64; tier win64 sh -c "cat $logs/build-win32.log $logs/build-win64.log;
            [ $built32 -eq 0 ] && [ $built64 -eq 0 ] && ctest --preset win64 -j$wine_jobs") &
    fi
    (renice -n 15 -p $BASHPID >/dev/null; host_lane) &
else
    host_lane
fi
wait
case $selected in *" win"*) scripts/sizes.sh ;; esac

echo "tier durations (the host tiers ran beside the Wine tests):"
failed=""
for name in $all_tiers; do
    [ -f "$logs/$name.time" ] || continue
    cat "$logs/$name.time"
    grep -q FAILED "$logs/$name.time" && failed="$failed $name"
done
echo "total            $((SECONDS - start_all)) s"
if [ -n "$failed" ]; then
    echo "FAILED tiers:$failed"
    exit 1
fi
echo "test tiers passed:${selected% }"
