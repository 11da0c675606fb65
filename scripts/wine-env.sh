# Sourced by the scripts that run the kit under Wine: where Wine's 64-bit
# loader and server are, and the environment every Wine run gets.
WINE64=$(dpkg -L wine64 2>/dev/null | grep -m1 '/wine64$')
WINESERVER=$(dirname "$WINE64")/wineserver
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
export WINEDEBUG=-all
# No Mono or Gecko install prompts, and no crash dialog waiting for a click.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINE64 WINESERVER
