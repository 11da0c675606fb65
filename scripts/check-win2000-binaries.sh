#!/bin/bash
# Checks that every 32-bit program of the kit loads on Windows 2000: GUI
# subsystem, OS and subsystem version 5.0, and no imported function outside
# scripts/win2000-imports.txt (a C runtime DLL import fails too).
#   check-win2000-binaries.sh BIN_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
allow="$here/win2000-imports.txt"
bin=${1:?usage: check-win2000-binaries.sh BIN_DIR}
objdump=i686-w64-mingw32-objdump
status=0
count=0
for exe in "$bin"/*.exe; do
    [ -f "$exe" ] || continue
    count=$((count + 1))
    name=$(basename "$exe")
    header=$($objdump -p "$exe")
    want_field() {
        local got
        got=$(printf '%s\n' "$header" | awk -v f="$1" '$1 == f { print $2; exit }')
        if [ "$got" != "$2" ]; then
            echo "$name: $1 is '$got', must be '$2'"
            status=1
        fi
    }
    want_field MajorOSystemVersion 5
    want_field MinorOSystemVersion 0
    want_field MajorSubsystemVersion 5
    want_field MinorSubsystemVersion 0
    want_field Subsystem 00000002
    imports=$(printf '%s\n' "$header" | awk '
        /DLL Name:/ { dll = tolower($3); next }
        dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll "!" $3 }
        /^$/ { if (dll != "") dll = "" }')
    n=0
    while IFS= read -r entry; do
        [ -n "$entry" ] || continue
        n=$((n + 1))
        if ! grep -qxF "$entry" "$allow"; then
            echo "$name: imports $entry, which is not known to exist on Windows 2000"
            status=1
        fi
    done <<< "$imports"
    if [ "$n" -eq 0 ]; then
        echo "$name: no imports found (the listing could not be read)"
        status=1
    fi
    echo "$name: $n imports checked"
done
if [ "$count" -eq 0 ]; then
    echo "no programs in $bin"
    exit 1
fi
[ $status -eq 0 ] && echo "all $count programs load on Windows 2000"
exit $status
