# Sourced by the scripts that run the kit under Wine: where Wine's loaders
# and server are, and the environment every Wine run gets.
#
# Two prefix layouts: a 64-bit Windows with its 32-bit part (win64), whose
# programs start through the 64-bit loader, and a 32-bit Windows (win32),
# the layout of Windows 2000 and XP, where every process is 32-bit and
# starts through the 32-bit loader.
WINE64=$(dpkg -L wine64 2>/dev/null | grep -m1 '/wine64$')
WINE32=$(dirname "$WINE64")/wine
WINESERVER=$(dirname "$WINE64")/wineserver
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
export WINEDEBUG=-all
# No Mono or Gecko install prompts, and no crash dialog waiting for a click.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINE64 WINE32 WINESERVER

# The loader for a prefix's programs, read from its registry: a 32-bit
# prefix refuses the 64-bit loader.
wine_loader_of() {
    if grep -qx '#arch=win32' "$1/system.reg" 2>/dev/null; then
        echo "$WINE32"
    else
        echo "$WINE64"
    fi
}
