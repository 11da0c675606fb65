#!/bin/bash
# Runs one Windows program in a fresh copy of the template prefix, inside its
# own virtual display and wine server, with the loader the prefix's layout
# takes (make-wine-template.sh):
#   run-in-wine.sh TEMPLATE PROGRAM.exe [ARGS...]
# TEMPLATE and PROGRAM may be relative (the test programs of tests/wine
# accept relative folders too); the arguments go to the program as they
# are. The exit code is the program's. The prefix is removed afterwards
# unless the run failed or KIT_KEEP_PREFIX is set.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
[ $# -ge 2 ] || { echo "usage: run-in-wine.sh TEMPLATE PROGRAM.exe [ARGS...]"; exit 2; }
template=$(realpath -m "$1")
program=$2
# A path (not a bare name Wine looks up) is made absolute.
case $program in */*) program=$(realpath -m "$program") ;; esac
shift 2
[ -f "$template/system.reg" ] || { echo "no wine template at $template"; exit 2; }
prefix=$(mktemp -d "$(dirname "$template")/run.XXXXXX")
# Hard links are cheap, but Wine rewrites the .reg files in place: those
# must be real copies or the template is spoiled.
cp -al "$template/." "$prefix/"
rm -f "$prefix"/*.reg
cp -p "$template"/*.reg "$prefix/"
export WINEPREFIX=$prefix
loader=$(wine_loader_of "$template")
# xvfb-run ends with 1 and says nothing when a step of its own start fails
# (it sends those steps' errors to /dev/null): nothing ran then, as every
# program of the tests says something, so it is tried again.
for try in 1 2 3; do
    xvfb-run -a sh -c '"$0" "$@"; rc=$?; "$WINESERVER" -k; exit $rc' "$loader" "$program" "$@" \
        >"$prefix/stdout.log" 2>"$prefix/stderr.log"
    rc=$?
    [ $rc -eq 1 ] && [ ! -s "$prefix/stdout.log" ] && [ ! -s "$prefix/stderr.log" ] || break
    echo "the virtual display did not start (try $try)"
done
cat "$prefix/stdout.log"
if [ $rc -ne 0 ]; then
    echo "exit code $rc; prefix kept at $prefix"
    tail -n 20 "$prefix/stderr.log"
elif [ -z "${KIT_KEEP_PREFIX:-}" ]; then
    rm -rf "$prefix"
fi
exit $rc
