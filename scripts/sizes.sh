#!/bin/bash
# Prints the size of every built program and of the setup. The 32-bit
# programs should stay at 24 KiB (tavlix), 14 KiB (morvex, each vorbind) and
# 12 KiB (kittrace) or less, the setup under 200 KiB.
cd "$(dirname "$0")/.."
limit_of() {
    case $1 in
        tavlix.exe) echo 24576 ;;
        kittrace.exe) echo 12288 ;;
        *-setup.exe) echo 204800 ;;
        *) echo 14336 ;;
    esac
}
for exe in build/win32/bin/*.exe build/win64/bin/*.exe build/win32/setup/*-setup.exe; do
    [ -f "$exe" ] || continue
    arch=${exe#build/}
    arch=${arch%%/*}
    name=$(basename "$exe")
    size=$(stat -c %s "$exe")
    note=""
    if [ "$arch" = win32 ] && [ "$size" -gt "$(limit_of "$name")" ]; then
        note="  over the $(($(limit_of "$name") / 1024)) KiB target"
    fi
    printf '%-6s %-28s %7d bytes  %6.1f KiB%s\n' "$arch" "$name" \
        "$size" "$(awk -v s="$size" 'BEGIN { print s / 1024 }')" "$note"
done
