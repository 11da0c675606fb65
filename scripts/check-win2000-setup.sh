#!/bin/bash
# Checks that the setup program loads and runs on Windows 2000: OS and
# subsystem version at most 5.0, every function it imports, and every
# function its script calls through System::Call, in
# scripts/win2000-setup-imports.txt; the plug-ins it unpacks and runs are
# checked like the setup itself.
#   check-win2000-setup.sh SETUP.exe SCRIPT.nsi
set -u
here=$(cd "$(dirname "$0")" && pwd)
allow="$here/win2000-setup-imports.txt"
setup=${1:?usage: check-win2000-setup.sh SETUP.exe SCRIPT.nsi}
script=${2:?usage: check-win2000-setup.sh SETUP.exe SCRIPT.nsi}
objdump=i686-w64-mingw32-objdump
plugins=/usr/share/nsis/Plugins/x86-unicode
status=0

allowed() {
    grep -qixF "$1" "$allow"
}

# Version fields of the PE header: at most 5.0 (major, then minor).
check_header() {
    local file=$1 header major minor
    header=$($objdump -p "$file") || { echo "$file: not a PE file"; status=1; return; }
    for field in OSystem Subsystem; do
        major=$(printf '%s\n' "$header" | awk -v f="Major${field}Version" '$1 == f { print $2; exit }')
        minor=$(printf '%s\n' "$header" | awk -v f="Minor${field}Version" '$1 == f { print $2; exit }')
        if [ -z "$major" ] || [ "$major" -gt 5 ] || { [ "$major" -eq 5 ] && [ "$minor" -gt 0 ]; }; then
            echo "$(basename "$file"): ${field} version $major.$minor, must be at most 5.0"
            status=1
        fi
    done
}

check_imports() {
    local file=$1 n=0 entry
    while IFS= read -r entry; do
        [ -n "$entry" ] || continue
        n=$((n + 1))
        if ! allowed "$entry"; then
            echo "$(basename "$file"): imports $entry, which is not known to exist on Windows 2000"
            status=1
        fi
    done < <($objdump -p "$file" | awk '
        /DLL Name:/ { dll = tolower($3); next }
        dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll "!" $3 }
        /^$/ { if (dll != "") dll = "" }')
    if [ "$n" -eq 0 ]; then
        echo "$(basename "$file"): no imports found (the listing could not be read)"
        status=1
    fi
    echo "$(basename "$file"): $n imports checked"
}

check_header "$setup"
check_imports "$setup"

# The plug-ins the script and the pages it uses call (Name::Function), as
# unpacked at run time.
used=$( { grep -ohE '\b[A-Za-z]+::[A-Za-z]+' "$script"; echo "nsDialogs::Create"; } |
    cut -d: -f1 | sort -u)
for plugin in $used; do
    dll="$plugins/$plugin.dll"
    [ -f "$dll" ] || continue
    check_header "$dll"
    check_imports "$dll"
done

# Functions called by name through System::Call "dll::Function(...)".
n=0
while IFS= read -r entry; do
    n=$((n + 1))
    dll=$(echo "${entry%%::*}" | tr 'A-Z' 'a-z')
    function=${entry##*::}
    # A name without A or W takes the setup's (Unicode) form.
    if ! allowed "$dll.dll!$function" && ! allowed "$dll.dll!${function}W"; then
        echo "$(basename "$script"): System::Call of $dll!$function, which is not known to exist on Windows 2000"
        status=1
    fi
done < <(grep -oE "System::Call +[\"'\`]?[A-Za-z0-9_]+::[A-Za-z0-9_]+" "$script" |
    sed -E "s/System::Call +[\"'\`]?//")
echo "$(basename "$script"): $n System::Call functions checked"
[ $status -eq 0 ] && echo "the setup loads on Windows 2000"
exit $status
