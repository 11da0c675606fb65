#!/bin/bash
# Runs every test of the kit: native unit tests (plain and under ASan and
# UBSan), a bounded fuzz run of the pure parsers, static analysis, and for
# each build, the 32-bit one users run and the 64-bit one, the Windows 2000
# loadability check (32-bit) and the Wine tests of the real programs.
# Prints each tier's duration; exits non-zero when any tier fails.
set -u
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1
failed=""
timings=""

tier() {
    local name=$1
    shift
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
tier win64 sh -c 'cmake --preset win64 >/dev/null && cmake --build build/win64 -j2 && ctest --preset win64'
scripts/sizes.sh

echo "tier durations:"
printf "$timings"
echo "total            $SECONDS s"
if [ -n "$failed" ]; then
    echo "FAILED tiers:$failed"
    exit 1
fi
echo "all test tiers passed"
