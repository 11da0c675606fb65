#!/bin/bash
# The decisions of scripts/setup.sh, fed fixture apt sources, dpkg databases
# and binfmt folders: plan mode prints the changes it would make, and those
# are compared. Where the kernel gives a user namespace its own binfmt_misc
# instance, the probe and the registration also run against a real one,
# which nothing outside the namespace sees.
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
setup=$repo/scripts/setup.sh
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
bp=$codename-backports
qemu=/usr/bin/qemu-i386
failures=0

check() { # NAME EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then
        echo "ok   $1"
    else
        echo "FAIL $1"
        diff <(echo "$2") <(echo "$3") | sed 's/^/     /'
        failures=$((failures + 1))
    fi
}

base_packages=$(sed -n 's/^packages="\(.*\)"$/\1/p' "$setup")

# A dpkg database with the base packages and, as asked, the i386
# architecture, wine32 and a recent qemu.
dpkg_db() { # DIR [i386] [wine32] [qemu]
    local dir=$1 p
    shift
    mkdir -p "$dir/updates"
    printf 'amd64\n' >"$dir/arch"
    for p in $base_packages "$@"; do
        case $p in
            i386) printf 'i386\n' >>"$dir/arch"; continue ;;
            wine32) printf 'Package: wine32\nArchitecture: i386\nMulti-Arch: same\nVersion: 8.0\n' ;;
            qemu) printf 'Package: qemu-user-static\nArchitecture: amd64\nVersion: 1:10.0.2\n' ;;
            *) printf 'Package: %s\nArchitecture: amd64\nVersion: 1\n' "$p" ;;
        esac >>"$dir/status"
        printf 'Status: install ok installed\nMaintainer: x\nDescription: x\n\n' >>"$dir/status"
    done
}

# An apt configuration folder holding the given sources.list.d files.
apt_etc() { # DIR
    mkdir -p "$1/sources.list.d" "$1/preferences.d" "$1/trusted.gpg.d"
}

debian_sources='Types: deb
URIs: http://mirror.example/debian
Suites: '"$codename $codename"'-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
'
i386_magic=7f454c4601010100000000000000000002000300
debian_mask=fffffffffffefefcfffffffffffffffffeffffff

plan() { # APT_ETC DPKG_DB BINFMT NATIVE: the planned changes
    KIT_SETUP_PLAN=1 KIT_APT_ETC=$1 KIT_DPKG_ADMIN=$2 KIT_BINFMT=$3 KIT_I386_NATIVE=$4 \
        KIT_QEMU_I386=$qemu "$setup" 2>&1 | grep -v '^installing:'
}

fixture_cases() {
    local w=$1
    mkdir -p "$w/binfmt"
    touch "$w/binfmt/register"
    apt_etc "$w/apt"
    echo "$debian_sources" >"$w/apt/sources.list.d/debian.sources"
    dpkg_db "$w/db-bare"
    dpkg_db "$w/db-32" i386 wine32
    dpkg_db "$w/db-ready" i386 wine32 qemu

    check "a kernel that runs i386 programs gets the i386 architecture and wine32, nothing more" \
        "plan: add the i386 architecture
plan: update the package lists
plan: install wine32:i386" "$(plan "$w/apt" "$w/db-bare" "$w/binfmt" yes)"

    check "without backports, they come from the machine's mirror, then qemu and our entry" \
        "plan: add the i386 architecture
plan: add $bp from http://mirror.example/debian/
plan: update the package lists
plan: install wine32:i386
plan: install qemu-user-static from $bp
plan: register kit-i386 for i386 programs: $qemu" "$(plan "$w/apt" "$w/db-bare" "$w/binfmt" no)"

    # Backports only in a comment, a disabled file and a disabled entry;
    # the mirror from a one-line source with options.
    apt_etc "$w/apt-off"
    cat >"$w/apt-off/sources.list" <<EOF
deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://opt.example/debian $codename main
# deb http://opt.example/debian $bp main
EOF
    echo "deb http://opt.example/debian $bp main" >"$w/apt-off/sources.list.d/backports.list.disabled"
    printf 'Types: deb\nURIs: http://opt.example/debian\nSuites: %s\nComponents: main\nEnabled: no\n' "$bp" \
        >"$w/apt-off/sources.list.d/backports.sources"
    check "backports that apt does not read are missing; the mirror comes from a line with options" \
        "plan: add $bp from http://opt.example/debian/
plan: update the package lists
plan: install qemu-user-static from $bp
plan: register kit-i386 for i386 programs: $qemu" "$(plan "$w/apt-off" "$w/db-32" "$w/binfmt" no)"

    apt_etc "$w/apt-on"
    cp "$w/apt-off/sources.list" "$w/apt-on/"
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://opt.example/debian $bp main" \
        >"$w/apt-on/sources.list.d/backports.list"
    check "backports that apt reads are used as they are" \
        "plan: update the package lists
plan: install qemu-user-static from $bp
plan: register kit-i386 for i386 programs: $qemu" "$(plan "$w/apt-on" "$w/db-32" "$w/binfmt" no)"

    apt_etc "$w/apt-none"
    echo "deb http://deb.example/other stable main" >"$w/apt-none/sources.list"
    check "no $codename source to take backports from stops the run" \
        "setup: apt reads no Debian $codename source to take $bp from" \
        "$(plan "$w/apt-none" "$w/db-32" "$w/binfmt" no)"

    # An entry of someone else's for i386 programs stays; ours goes in front.
    mkdir -p "$w/binfmt-other"
    touch "$w/binfmt-other/register"
    printf 'enabled\ninterpreter /usr/libexec/qemu-binfmt/i386-binfmt-P\nflags: PF\noffset 0\nmagic %s\nmask %s\n' \
        $i386_magic $debian_mask >"$w/binfmt-other/qemu-i386"
    check "another i386 entry stays" "plan: register kit-i386 for i386 programs: $qemu" \
        "$(plan "$w/apt" "$w/db-ready" "$w/binfmt-other" no)"

    mkdir -p "$w/binfmt-ours"
    touch "$w/binfmt-ours/register"
    printf 'enabled\ninterpreter %s\nflags: \noffset 0\nmagic %s\nmask fffffffffffefe00fffffffffffffffffeffffff\n' \
        $qemu $i386_magic >"$w/binfmt-ours/kit-i386"
    check "a machine already set up plans nothing" "" "$(plan "$w/apt" "$w/db-ready" "$w/binfmt-ours" no)"
    sed -i 1s/enabled/disabled/ "$w/binfmt-ours/kit-i386"
    check "our entry switched off is registered again" \
        "plan: unregister kit-i386 to register it again, first in line
plan: register kit-i386 for i386 programs: $qemu" "$(plan "$w/apt" "$w/db-ready" "$w/binfmt-ours" no)"

    # Without root or a sudo that asks nothing, the first change stops the run.
    # The user runs a copy: the clone may lie in a folder only its owner can
    # enter (a home of mode 0700, a mktemp -d).
    mkdir -p "$w/bin"
    printf '#!/bin/sh\nexit 1\n' >"$w/bin/sudo"
    cp "$setup" "$w/setup.sh"
    chmod -R a+rX "$w"
    local as_user=() out status
    [ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    out=$(${as_user[@]+"${as_user[@]}"} env HOME="$w" PATH="$w/bin:$PATH" KIT_APT_ETC="$w/apt" KIT_DPKG_ADMIN="$w/db-bare" \
        KIT_BINFMT="$w/binfmt" KIT_I386_NATIVE=yes "$w/setup.sh" 2>&1)
    status=$?
    check "without root the first change stops the run, saying why" \
        "installing: wine32:i386
setup: add the i386 architecture needs root: dpkg's architecture list is the system's
status 1
amd64" "$out
status $status
$(cat "$w/db-bare/arch")"
}

# What the kernel's configuration and command line say of running i386
# programs: an account independent of the probe.
kernel_runs_i386() {
    local config
    config=$(zcat /proc/config.gz 2>/dev/null || cat "/boot/config-$(uname -r)" 2>/dev/null) || return 0
    if [ "$(uname -m)" != x86_64 ] || ! grep -qx CONFIG_IA32_EMULATION=y <<<"$config"; then
        echo no
    elif grep -qw ia32_emulation=0 /proc/cmdline; then
        echo no
    elif grep -qw ia32_emulation=1 /proc/cmdline; then
        echo yes
    elif grep -qx CONFIG_IA32_EMULATION_DEFAULT_DISABLED=y <<<"$config"; then
        echo no
    else
        echo yes
    fi
}

# Runs inside a user namespace, with its own binfmt_misc mounted on $w/bm.
sandbox_cases() {
    local w=$1 bm=$1/bm log=$1/interp.log
    mount -t binfmt_misc binfmt_misc "$bm" || exit 1
    dpkg_db "$w/db" i386 wine32 qemu
    apt_etc "$w/apt"
    # Recording interpreters, and a file the kernel hands to i386 ones.
    printf '#!/bin/sh\necho theirs >>%s\nexit 42\n' "$log" >"$w/theirs"
    printf '#!/bin/sh\necho ours >>%s\n' "$log" >"$w/ours"
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' >"$w/i386-file"
    chmod +x "$w/theirs" "$w/ours" "$w/i386-file"
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":other-i386:M::$magic:$mask:$w/theirs:" >"$bm/register"
    # Guards: nothing here may reach apt.
    mkdir -p "$w/bin"
    printf '#!/bin/sh\necho "apt-get called" >&2\nexit 1\n' >"$w/bin/apt-get"
    chmod +x "$w/bin/apt-get"
    run() { env PATH="$w/bin:$PATH" KIT_APT_ETC="$w/apt" KIT_DPKG_ADMIN="$w/db" KIT_BINFMT="$bm" \
        KIT_QEMU_I386="$w/ours" "$@" "$setup" 2>&1; }
    ran() { "$w/i386-file"; cat "$log" 2>/dev/null; rm -f "$log"; }

    : >"$log"
    local verdict
    verdict=$(run env KIT_SETUP_PLAN=1)
    check "the kernel probe runs with other i386 entries off, and switches them back on" \
        "enabled" "$(cat "$log")$(head -n1 "$bm/other-i386")"
    rm -f "$log"
    case $(kernel_runs_i386) in
        yes) check "the probe finds that the kernel runs i386 programs, as its configuration says" "" "$verdict" ;;
        no) check "the probe finds that the kernel needs an emulator, as its configuration says" \
            "plan: register kit-i386 for i386 programs: $w/ours" "$verdict" ;;
        *) echo "skip the probe's verdict: the kernel's configuration is not readable" ;;
    esac

    run env KIT_I386_NATIVE=no
    check "our entry takes i386 programs in front of another's, which stays" \
        "ours enabled" "$(ran) $(head -n1 "$bm/other-i386")"

    echo ":late-i386:M::$magic:$mask:$w/theirs:" >"$bm/register"
    check "an entry registered later is tried first" "theirs" "$(ran)"
    run env KIT_I386_NATIVE=no
    check "so ours is registered again, in front of it" "ours" "$(ran)"
    check "after which nothing is left to do" "" "$(run env KIT_SETUP_PLAN=1 KIT_I386_NATIVE=no)"
    exit $failures
}

if [ "${1:-}" = --sandbox ]; then
    sandbox_cases "$2"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
fixture_cases "$work/fixtures"

mkdir -p "$work/sandbox/bm"
if unshare --user --map-root-user --mount --propagation private \
    mount -t binfmt_misc binfmt_misc "$work/sandbox/bm" 2>/dev/null; then
    unshare --user --map-root-user --mount --propagation private bash "$0" --sandbox "$work/sandbox"
    failures=$((failures + $?))
else
    echo "skip the cases on a real binfmt_misc: this kernel gives a user namespace none of its own"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
