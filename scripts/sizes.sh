#!/bin/bash
# Prints the size of every built program; the 32-bit ones should stay at
# 24 KiB or less.
cd "$(dirname "$0")/.."
for arch in win32 win64; do
    for exe in build/$arch/bin/*.exe; do
        [ -f "$exe" ] || continue
        size=$(stat -c %s "$exe")
        note=""
        if [ "$arch" = win32 ] && [ "$size" -gt 24576 ]; then
            note="  over the 24 KiB target"
        fi
        printf '%-6s %-20s %7d bytes  %5.1f KiB%s\n' "$arch" "$(basename "$exe")" \
            "$size" "$(awk -v s="$size" 'BEGIN { print s / 1024 }')" "$note"
    done
done
