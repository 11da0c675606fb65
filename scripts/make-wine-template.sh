#!/bin/bash
# Makes the Wine prefix that every test run copies:
#   make-wine-template.sh DIR win32|win64
# (DIR may be relative). win32 is a 32-bit Windows, the layout Windows 2000
# and XP users have: one registry view, system32, Program Files. win64 is a
# 64-bit Windows with its 32-bit part, where the setup program, a 32-bit
# program, installs the 64-bit programs.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
[ $# -eq 2 ] && { [ "$2" = win32 ] || [ "$2" = win64 ]; } ||
    { echo "usage: make-wine-template.sh DIR win32|win64"; exit 2; }
arch=$2
# Wine refuses a relative WINEPREFIX.
dir=$(realpath -m "$1")

# What the template is made with; a template made otherwise is made anew.
made_with=unmanaged-windows
# A finished template of the wanted layout is kept.
layout_ok() {
    [ -f "$dir/system.reg" ] && grep -qx "$made_with" "$dir/.kit-template-done" 2>/dev/null ||
        return 1
    if [ "$arch" = win32 ]; then
        grep -qx '#arch=win32' "$dir/system.reg" && [ ! -d "$dir/drive_c/windows/syswow64" ]
    else
        grep -qx '#arch=win64' "$dir/system.reg" && [ -d "$dir/drive_c/windows/syswow64" ]
    fi
}
layout_ok && exit 0

rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
export WINEPREFIX=$dir
if [ "$arch" = win32 ]; then
    export WINEARCH=win32
    loader=$WINE32
else
    loader=$WINE64
fi
export loader
# The first process of a server session needs a display, or later windows
# cannot be made; its output goes to files so background processes do not
# hold a pipe open.
xvfb-run -a sh -c '"$loader" wineboot -i; "$WINESERVER" -w' >"$dir.boot.log" 2>&1
[ -f "$dir/system.reg" ] || { echo "wine prefix not created; see $dir.boot.log"; exit 1; }
# No crash dialogs: a crash must end the process and show as a failure.
# Windows left unmanaged: the virtual display has no window manager, and
# Wine waits 2 s for one whenever a shown window (a box, a setup page)
# closes.
xvfb-run -a sh -c '"$loader" reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
    "$loader" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f; "$WINESERVER" -w' >>"$dir.boot.log" 2>&1
echo "$made_with" >"$dir/.kit-template-done"
layout_ok || {
    echo "wine prefix is not a $arch Windows (is wine32:i386 installed? scripts/setup.sh); see $dir.boot.log"
    exit 1
}
