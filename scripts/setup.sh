#!/bin/bash
# Installs what building, testing and the demo need on Debian, including
# 32-bit Wine run through qemu's user-mode emulator (this kernel cannot run
# 32-bit Linux programs itself). Safe to run again: it installs only what is
# missing, and re-does the binfmt_misc registration, which does not survive
# a new machine.
set -eu
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

packages="cmake make g++ python3 mingw-w64 wine wine64 xvfb xauth googletest libgtest-dev clang libclang-rt-14-dev clang-tidy cppcheck zip unzip x11-apps imagemagick fonts-wine procps nsis nsis-doc"
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
backports="$codename-backports"

missing_of() {
    local p
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || echo -n " $p"
    done
}

apt_install() {
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

# The URI of the machine's own Debian archive: never a host name of ours.
debian_mirror() {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v suite="$codename" '
            /^[ \t]*$/ { if (uri != "" && hit) { print uri; exit } uri = ""; hit = 0; next }
            /^URIs:/ { uri = $2 }
            /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == suite) hit = 1 }
            END { if (uri != "" && hit) print uri }' "$f"
    done | head -n1
    if [ -f /etc/apt/sources.list ]; then
        awk -v suite="$codename" '$1 == "deb" && $3 == suite { print $2; exit }' /etc/apt/sources.list
    fi
}

add_backports() {
    if grep -rqs "$backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    local mirror
    mirror=$(debian_mirror | head -n1)
    [ -n "$mirror" ] || { echo "setup: no Debian $codename source found in /etc/apt"; return 1; }
    printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$mirror" "$backports" | $SUDO tee /etc/apt/sources.list.d/kit-backports.sources >/dev/null
}

# qemu older than 10 spends ~45 s of CPU starting each 32-bit Wine process.
qemu_is_recent() {
    local version
    version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null) || return 1
    dpkg --compare-versions "$version" ge 1:10
}

install_packages() {
    local missing need32=""
    missing=$(missing_of $packages)
    dpkg --print-foreign-architectures | grep -qx i386 || need32=1
    dpkg -s wine32:i386 >/dev/null 2>&1 || need32=1
    qemu_is_recent || need32=1
    if [ -z "$missing" ] && [ -z "$need32" ]; then
        return 0
    fi
    echo "installing:$missing${need32:+ wine32:i386 qemu-user-static}"
    if [ -n "$need32" ]; then
        $SUDO dpkg --add-architecture i386
        add_backports
    fi
    $SUDO apt-get update -qq
    [ -z "$missing" ] || apt_install $missing
    if [ -n "$need32" ]; then
        apt_install wine32:i386
        apt_install -t "$backports" qemu-user-static
    fi
}

# The kernel hands i386 ELF programs to qemu. No F flag: the interpreter is
# looked up at each start, so an upgraded qemu is picked up.
register_i386() {
    local binfmt=/proc/sys/fs/binfmt_misc
    if [ ! -e "$binfmt/register" ]; then
        $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
    fi
    local qemu=/usr/bin/qemu-i386
    [ -x "$qemu" ] || qemu=/usr/bin/qemu-i386-static
    if [ -e "$binfmt/kit-i386" ] && grep -qx "interpreter $qemu" "$binfmt/kit-i386"; then
        return 0
    fi
    # Another registration of i386 ELF (a package's own) would be matched
    # first or clash: ours replaces it.
    local entry
    for entry in "$binfmt"/qemu-i386 "$binfmt"/kit-i386; do
        [ -e "$entry" ] && echo -1 | $SUDO tee "$entry" >/dev/null
    done
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":kit-i386:M::$magic:$mask:$qemu:" | $SUDO tee "$binfmt/register" >/dev/null
}

install_packages
register_i386
