#!/bin/bash
# Runs every test of the kit: native unit tests (plain and under ASan and
# UBSan), a bounded fuzz run of the pure parsers, static analysis, and for
# each build, the 32-bit one users run and the 64-bit one, the Windows 2000
# loadability check (32-bit) and the Wine tests of the real programs.
# Prints each tier's duration; exits non-zero when any tier fails.
#
#   scripts/test.sh [TIER...]   TIER: native native-asan fuzz static-analysis win32 win64
#
# Without a tier it runs all of them, as CI does; named tiers run in the
# order above.
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
failed=""
timings=""

tier() {
    local name=$1
    shift
    case $selected in *" $name "*) ;; *) return 0 ;; esac
    echo "=== $name"
    local start=$SECONDS
    if ! "$@"; then
        failed="$failed $name"
    fi
    local took=$((SECONDS - start))
    echo "=== $name: ${took} s"
    timings="$timings$(printf '%-16s %5d s' "$name" "$took")\n"
}

tier native sh -c 'cmake --preset native >/dev/null && cmake --build build/native -j2 && ctest --preset native'
tier native-asan sh -c 'cmake --preset native-asan >/dev/null && cmake --build build/native-asan -j2 && ctest --preset native-asan'
tier fuzz scripts/fuzz.sh
tier static-analysis scripts/static-analysis.sh
tier win32 sh -c 'cmake --preset win32 >/dev/null && cmake --build build/win32 -j2 && ctest --preset win32'
# The 64-bit tree's setup test installs the setup the 32-bit tree makes.
tier win64 sh -c 'cmake --preset win32 >/dev/null && cmake --build build/win32 -j2 --target setup &&
    cmake --preset win64 >/dev/null && cmake --build build/win64 -j2 && ctest --preset win64'
case $selected in *" win"*) scripts/sizes.sh ;; esac

echo "tier durations:"
printf "$timings"
echo "total            $SECONDS s"
if [ -n "$failed" ]; then
    echo "FAILED tiers:$failed"
    exit 1
fi
echo "test tiers passed:${selected% }"
