#!/bin/bash
# Makes the README's pictures from the build, to be committed with it:
#   docs/images/icons.png  the five card icons and the programs' icon, each at
#                          32x32 and 16x16, from the pixel maps the .ico files
#                          are built from
#   docs/images/about.png  the About box of tavlix, taken under Wine on a
#                          virtual X display
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/wine-env.sh
out=docs/images
mkdir -p "$out"

maps=""
for kind in cf sd sm ms combo; do
    maps="$maps shell/icons/cards/${kind}32.txt shell/icons/cards/${kind}16.txt"
done
# shellcheck disable=SC2086  # one word per map
python3 tools/icongen.py png "$out/icons.png" 3 $maps shell/icons/app32.txt shell/icons/app16.txt
echo "made $out/icons.png"

cmake --preset win64 >/dev/null
cmake --build build/win64 -j"$(nproc)" --target tavlix aboutshot >/dev/null
template=build/win64/wine/template
scripts/make-wine-template.sh "$template" win64

# A copy of the template as run-in-wine.sh makes one: its files are hard
# links, so anything written into the copy must replace a file, never write
# into it.
prefix=$(mktemp -d "$PWD/build/win64/wine/shot.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cp -al "$template/." "$prefix/"
rm -f "$prefix"/*.reg
cp -p "$template"/*.reg "$prefix/"
# Wine's own fonts (the dialogs' System font, Marlett for the caption
# buttons), which this build of Wine does not find where the package puts them.
cp --remove-destination /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
export WINEPREFIX=$prefix

# No window manager runs on the virtual display, so Wine draws the frames
# and captions itself (Decorated N). The first Wine process of the session
# must have the display; all output goes to a file (see wine-env.sh users).
xvfb-run -a -s "-screen 0 640x480x24" sh -c '
    "$WINE64" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f
    "$WINE64" "$1" &
    if "$WINE64" "$2" TAVLIX >"$3"; then xwd -root -silent >"$4"; fi
    "$WINESERVER" -k' sh \
    build/win64/bin/tavlix.exe build/win64/testbin/aboutshot.exe \
    "$prefix/rect.txt" "$prefix/screen.xwd" >"$prefix/wine.log" 2>&1 || true
if [ ! -s "$prefix/screen.xwd" ]; then
    echo "the About box could not be opened:"
    tail -n 20 "$prefix/wine.log"
    exit 1
fi
read -r x y width height <"$prefix/rect.txt"
convert "$prefix/screen.xwd" -crop "${width}x${height}+${x}+${y}" +repage -strip "$out/about.png"
echo "made $out/about.png (${width}x${height})"
