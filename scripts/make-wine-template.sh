#!/bin/bash
# Makes the Wine prefix that every test run copies: make-wine-template.sh DIR
# (DIR may be relative). The prefix is a 64-bit Windows with its 32-bit
# part, as 32-bit Wine is installed: the i686 tests run in its WOW64 views.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
[ $# -eq 1 ] || { echo "usage: make-wine-template.sh DIR"; exit 2; }
# Wine refuses a relative WINEPREFIX.
dir=$(realpath -m "$1")
if [ -f "$dir/system.reg" ] && [ -f "$dir/.kit-template-done" ] &&
    [ -d "$dir/drive_c/windows/syswow64" ]; then
    exit 0
fi
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
export WINEPREFIX=$dir
# The first process of a server session needs a display, or later windows
# cannot be made; its output goes to files so background processes do not
# hold a pipe open.
xvfb-run -a sh -c '"$WINE64" wineboot -i; "$WINESERVER" -w' >"$dir.boot.log" 2>&1
[ -f "$dir/system.reg" ] || { echo "wine prefix not created; see $dir.boot.log"; exit 1; }
[ -d "$dir/drive_c/windows/syswow64" ] ||
    { echo "wine prefix has no 32-bit part (is wine32:i386 installed? scripts/setup.sh); see $dir.boot.log"; exit 1; }
# No crash dialogs: a crash must end the process and show as a failure.
xvfb-run -a sh -c '"$WINE64" reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f; "$WINESERVER" -w' >>"$dir.boot.log" 2>&1
touch "$dir/.kit-template-done"
