#!/bin/bash
# Runs the Wine tier of both builds N times while one CPU-bound busy process
# per core runs beside it, and prints per test how many runs passed and
# failed:  scripts/test-under-load.sh N
# The busy processes are started here and stopped by their own process ids.
# Not part of the test command. The builds must exist (scripts/test.sh, or
# cmake --build of the presets win32 and win64).
set -u
cd "$(dirname "$0")/.."
runs=${1:-}
case $runs in
    '' | *[!0-9]* | 0) echo "usage: scripts/test-under-load.sh N"; exit 2 ;;
esac
scripts/setup.sh || exit 1
for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null && cmake --build "build/$preset" -j"$(nproc)" >/dev/null ||
        { echo "build/$preset does not build"; exit 1; }
done

busy=()
stop_busy() {
    [ ${#busy[@]} -eq 0 ] || kill "${busy[@]}" 2>/dev/null
    busy=()
}
trap stop_busy EXIT
trap 'exit 130' INT TERM
for _ in $(seq "$(nproc)"); do
    sh -c 'while :; do :; done' &
    busy+=($!)
done
echo "busy processes: ${busy[*]}"

logs=build/under-load
rm -rf "$logs"
mkdir -p "$logs"
for run in $(seq "$runs"); do
    for preset in win32 win64; do
        start=$SECONDS
        ctest --test-dir "build/$preset" -R '^wine_' --output-on-failure \
            >"$logs/$preset-$run.log" 2>&1
        echo "run $run, $preset: $((SECONDS - start)) s, $(grep -E 'tests passed' "$logs/$preset-$run.log")"
    done
done
stop_busy

# ctest prints one line a test: "n/m Test #k: NAME ....   Passed   1.23 sec"
# (or ***Failed, ***Timeout, ...).
echo
echo "per test, over $runs runs with $(nproc) busy processes:"
cat "$logs"/*.log | awk '
    / Test +#[0-9]+: / {
        name = $0; sub(/^.*Test +#[0-9]+: /, "", name); sub(/ .*$/, "", name)
        if ($0 ~ / Passed /) pass[name]++; else fail[name]++
        seen[name] = 1
    }
    END {
        for (name in seen) printf "%-44s %d passed, %d failed\n", name, pass[name] + 0, fail[name] + 0
    }' | sort
! grep -qE '\*\*\*|Failed|Timeout' "$logs"/*.log
