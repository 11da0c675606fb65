#!/bin/bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan and UBSan) into
# build/fuzz and runs each for a bounded number of executions:
#   scripts/fuzz.sh [EXECUTIONS-PER-TARGET]    default 200000; 10000000 for the long run
# Prints per target the executions done and its findings, and exits non-zero
# on any finding. The committed seeds (fuzz/corpus/<target>) are only read;
# inputs that reach new code go to build/fuzz/corpus/<target>, and a finding
# is kept as build/fuzz/findings/<target>/<kind>-<hash> with the run's log
# in build/fuzz/logs/<target>.log. Targets run side by side, one per core.
set -u
cd "$(dirname "$0")/.."
runs=${1:-200000}
case $runs in
    '' | *[!0-9]*) echo "usage: scripts/fuzz.sh [EXECUTIONS-PER-TARGET]"; exit 2 ;;
esac
build=build/fuzz
jobs=$(nproc)

mkdir -p "$build/logs"
echo "building the fuzz targets into $build..."
if ! { cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ \
        && cmake --build "$build" -j"$jobs"; } >"$build/logs/build.log" 2>&1; then
    tail -n 30 "$build/logs/build.log"
    echo "fuzz targets did not build"
    exit 1
fi

# Runs one target; writes its summary line to logs/<name>.result and its
# status (0, or 1 on a finding) to logs/<name>.status.
run_target() {
    local name=$1
    local seeds=fuzz/corpus/$name scratch=$build/corpus/$name
    local findings=$build/findings/$name log=$build/logs/$name.log
    mkdir -p "$scratch" "$findings"
    local args=(-runs="$runs" -max_len=1024 -timeout=10 -use_value_profile=1
                -print_final_stats=1 -artifact_prefix="$findings/")
    [ -f "fuzz/dict/$name.dict" ] && args+=(-dict="fuzz/dict/$name.dict")
    local dirs=("$scratch")
    [ -d "$seeds" ] && dirs+=("$seeds")

    local before after start=$EPOCHREALTIME
    before=$(ls "$findings")
    "$build/fuzz_$name" "${args[@]}" "${dirs[@]}" >"$log" 2>&1
    local rc=$?
    local end=$EPOCHREALTIME
    after=$(ls "$findings")
    local new
    new=$(comm -13 <(printf '%s\n' "$before") <(printf '%s\n' "$after") | grep -c .)

    local executions timing
    executions=$(awk '/stat::number_of_executed_units:/ { print $2 }' "$log")
    timing=$(awk -v n="${executions:-0}" -v s="$start" -v e="$end" \
        'BEGIN { t = e - s; printf "%7.1fs, %8.0f/s", t, (t > 0 ? n / t : 0) }')
    local line
    line=$(printf '%-18s %10s executions in %s, ' "$name" "${executions:-?}" "$timing")
    if [ $rc -eq 0 ] && [ "$new" -eq 0 ] && [ "${executions:-0}" -ge "$runs" ]; then
        echo "${line}no finding" >"$build/logs/$name.result"
        echo 0 >"$build/logs/$name.status"
    else
        {
            echo "${line}FINDING (exit code $rc, $new new artifact(s) in $findings)"
            grep -m3 -E 'property broken|ERROR: (Address|Undefined|libFuzzer)|runtime error' "$log" | sed 's/^/    /'
        } >"$build/logs/$name.result"
        echo 1 >"$build/logs/$name.status"
    fi
}

names=()
for source in fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    names+=("${name#fuzz_}")
done
echo "running ${#names[@]} targets, $runs executions each, $jobs at a time..."
running=0
for name in "${names[@]}"; do
    if [ $running -ge "$jobs" ]; then
        wait -n
        running=$((running - 1))
    fi
    run_target "$name" &
    running=$((running + 1))
done
wait

status=0
for name in "${names[@]}"; do
    cat "$build/logs/$name.result"
    [ "$(cat "$build/logs/$name.status")" = 0 ] || status=1
done
if [ $status -eq 0 ]; then
    echo "fuzzing: ${#names[@]} targets, no finding"
else
    echo "fuzzing: FINDINGS (logs in $build/logs)"
fi
exit $status
