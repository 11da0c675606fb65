#!/bin/bash
# Static analysis of the kit's sources; exits non-zero on any finding.
#  - cppcheck over every program source (shell/, iconassign/, drvexchange/,
#    rebind/, kittrace/), the Windows API described by its windows library, for the
#    32-bit and the 64-bit platform, and the re-binder once per build variant;
#    accepted findings are in scripts/cppcheck-suppressions.txt.
#  - clang-tidy over the pure sources (no Windows header; the list is the
#    one in tests/native/CMakeLists.txt) with scripts/clang-tidy.yaml, for
#    the host and for 32-bit Windows.
set -u
cd "$(dirname "$0")/.."
status=0
dirs="shell iconassign rebind drvexchange kittrace"
includes="-Ishell -Iiconassign -Irebind -Idrvexchange -Ikittrace"

run_cppcheck() {
    cppcheck --quiet --error-exitcode=1 --std=c++17 --language=c++ \
        --enable=warning,style,performance,portability,information --inconclusive \
        --library=windows $includes \
        --suppressions-list=scripts/cppcheck-suppressions.txt \
        --template='{file}:{line}: {severity}/{id}: {message}' "$@"
}

echo "cppcheck: $dirs (32-bit)"
run_cppcheck --platform=win32A $dirs || status=1
echo "cppcheck: $dirs (64-bit)"
run_cppcheck --platform=win64 $dirs || status=1
# RebindVariant has no default (an unset one stops the build), so the pass
# over all folders skips the re-binder's variant code: each variant gets a
# pass of its own.
for variant in 1 2 3; do
    echo "cppcheck: rebind/rebindpass.cpp rebind/vorbind.cpp, RebindVariant=$variant"
    run_cppcheck --platform=win32A --suppress=unmatchedSuppression \
        -DRebindVariant=$variant rebind/rebindpass.cpp rebind/vorbind.cpp || status=1
done

pure=$(sed -n '/^set(PURE_SOURCES/,/^)/p' tests/native/CMakeLists.txt | sed '1d;$d;s/#.*//' | tr -d ' ')
if [ -z "$pure" ]; then
    echo "no PURE_SOURCES list in tests/native/CMakeLists.txt"
    exit 1
fi
echo "clang-tidy over the pure sources:" $pure
# Once for the host, as the unit tests and fuzzers build them, and once for
# 32-bit Windows, where long is 32 bits and pointers are 4 bytes. Warnings
# are errors (see the configuration); the count of warnings in system
# headers that clang-tidy prints is dropped.
tidy_log=$(mktemp)
for target in "" --target=i686-w64-mingw32; do
    echo "clang-tidy: ${target:-host}"
    clang-tidy --quiet --config-file=scripts/clang-tidy.yaml $pure -- $target -std=c++17 -I. -Ishell \
        >"$tidy_log" 2>&1 || status=1
    grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$tidy_log"
done
rm -f "$tidy_log"

if [ $status -eq 0 ]; then
    echo "static analysis: no finding"
else
    echo "static analysis: FINDINGS"
fi
exit $status
