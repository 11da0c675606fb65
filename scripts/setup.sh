#!/bin/bash
# Installs what building, testing and the demo need on Debian, including
# 32-bit Wine. A kernel that runs i386 programs itself needs only the i386
# architecture and wine32; one that cannot gets qemu's user-mode emulator
# (from backports) registered with binfmt_misc. Safe to run again: it
# changes only what is missing, and re-does the binfmt_misc registration,
# which does not survive a reboot.
#
# For tests, and to see what it would do without doing it:
#   KIT_SETUP_PLAN=1        print each change as "plan: ..." instead of making it
#   KIT_APT_ETC=DIR         apt's configuration folder (default /etc/apt)
#   KIT_DPKG_ADMIN=DIR      dpkg's database folder
#   KIT_BINFMT=DIR          the binfmt_misc folder
#   KIT_I386_NATIVE=yes|no  the kernel probe's outcome
#   KIT_QEMU_I386=PATH      the interpreter registered for i386 programs
set -eu

packages="cmake make g++ python3 mingw-w64 wine wine64 xvfb xauth googletest libgtest-dev clang libclang-rt-14-dev clang-tidy cppcheck x11-apps imagemagick fonts-wine procps nsis nsis-doc"
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
backports="$codename-backports"
plan=${KIT_SETUP_PLAN:-}
apt_etc=${KIT_APT_ETC:-/etc/apt}
apt_opts=()
[ -z "${KIT_APT_ETC:-}" ] || apt_opts=(-o "Dir::Etc=$KIT_APT_ETC")
dpkg_opts=()
[ -z "${KIT_DPKG_ADMIN:-}" ] || dpkg_opts=("--admindir=$KIT_DPKG_ADMIN")
binfmt=${KIT_BINFMT:-/proc/sys/fs/binfmt_misc}
our_entry=kit-i386

# A static i386 program that only calls exit(42): mov eax,1; mov ebx,42;
# int 0x80. The odd status proves that this code ran, not some stand-in.
probe_elf=7f454c460101010000000000000000000200030001000000548004083400000000000000000000003400200001000000000000000100000000000000008004080080040860000000600000000500000000100000b801000000bb2a000000cd80

# Runs a command as root: directly, or through sudo when it asks nothing.
# Without either, says which step needed root and why, and stops.
as_root() {
    local label=$1 why=$2
    shift 2
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
        sudo -n "$@"
    else
        echo "setup: $label needs root: $why" >&2
        exit 1
    fi
}

# A change to the machine; in plan mode only its label is printed.
step() {
    if [ -n "$plan" ]; then
        echo "plan: $1"
        return 0
    fi
    as_root "$@" >/dev/null
}

missing_of() {
    local p
    for p in "$@"; do
        dpkg-query "${dpkg_opts[@]}" -s "$p" >/dev/null 2>&1 || echo -n " $p"
    done
}

# qemu older than 10 spends ~45 s of CPU starting each 32-bit Wine process.
qemu_is_recent() {
    local version
    version=$(dpkg-query "${dpkg_opts[@]}" -W -f='${Version}' qemu-user-static 2>/dev/null) || return 1
    dpkg --compare-versions "$version" ge 1:10
}

# Every index apt itself reads (disabled files and commented lines are not
# among them): "type suite component repository". --no-release-info lists
# them before any download too.
apt_targets() {
    apt-get "${apt_opts[@]}" indextargets --no-release-info \
        --format '$(TARGET_OF) $(RELEASE) $(COMPONENT) $(REPO_URI)'
}

# Sets the global need_source (empty when apt already reads backports) and
# mirror (the machine's own Debian archive: never a host name of ours).
read_sources() {
    local targets
    targets=$(apt_targets) || { echo "setup: apt cannot read its sources in $apt_etc" >&2; exit 1; }
    need_source=1
    awk -v s="$backports" '$1 == "deb" && $2 == s && $3 == "main" { f = 1 } END { exit !f }' \
        <<<"$targets" && need_source=""
    mirror=$(awk -v s="$codename" '$1 == "deb" && $2 == s && $3 == "main" { print $4; exit }' <<<"$targets")
}

install_packages() {
    local missing need_arch="" need_qemu=""
    missing=$(missing_of $packages wine32:i386)
    dpkg "${dpkg_opts[@]}" --print-foreign-architectures | grep -qx i386 || need_arch=1
    [ "$native" = yes ] || qemu_is_recent || need_qemu=1
    if [ -z "$missing$need_arch$need_qemu" ]; then
        return 0
    fi
    echo "installing:$missing${need_qemu:+ qemu-user-static (from $backports)}"
    if [ -n "$need_arch" ]; then
        step "add the i386 architecture" "dpkg's architecture list is the system's" \
            dpkg "${dpkg_opts[@]}" --add-architecture i386
    fi
    if [ -n "$need_qemu" ]; then
        read_sources
        if [ -n "$need_source" ]; then
            [ -n "$mirror" ] || { echo "setup: apt reads no Debian $codename source to take $backports from" >&2; exit 1; }
            printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
                "$mirror" "$backports" |
                step "add $backports from $mirror" "it writes to $apt_etc/sources.list.d" \
                    tee "$apt_etc/sources.list.d/kit-backports.sources"
        fi
    fi
    step "update the package lists" "apt-get update writes apt's lists" \
        apt-get "${apt_opts[@]}" update -qq
    if [ -n "$missing" ]; then
        step "install$missing" "apt-get install changes the system" \
            env DEBIAN_FRONTEND=noninteractive apt-get "${apt_opts[@]}" install -y -qq --no-install-recommends $missing
    fi
    if [ -n "$need_qemu" ]; then
        step "install qemu-user-static from $backports" "apt-get install changes the system" \
            env DEBIAN_FRONTEND=noninteractive apt-get "${apt_opts[@]}" install -y -qq --no-install-recommends -t "$backports" qemu-user-static
    fi
}

mount_binfmt() {
    [ -e "$binfmt/register" ] ||
        step "mount binfmt_misc on $binfmt" "mounting needs root" mount -t binfmt_misc binfmt_misc "$binfmt"
}

is_enabled() {
    [ "$(head -n1 "$binfmt/$1" 2>/dev/null)" = enabled ]
}

# Whether a binfmt entry would take the probe, compared as the kernel does:
# the entry's magic and the file's bytes at its offset, both under its mask.
takes_probe() {
    local key value offset=0 magic="" mask="" i m b
    while read -r key value; do
        case $key in
            offset) offset=$value ;;
            magic) magic=$value ;;
            mask) mask=$value ;;
        esac
    done <"$binfmt/$1"
    [ -n "$magic" ] || return 1
    for ((i = 0; i < ${#magic} / 2; i++)); do
        m=0xff
        [ -z "$mask" ] || m=0x${mask:2*i:2}
        b=${probe_elf:2*(offset+i):2}
        (((0x${magic:2*i:2} & m) == (0x${b:-00} & m))) || return 1
    done
}

# The enabled entries that take i386 programs, in the order the kernel tries
# them: the newest first, which is also the order of the folder's listing.
i386_entries() {
    local name
    for name in $(ls -U "$binfmt" 2>/dev/null); do
        case $name in register | status) continue ;; esac
        if is_enabled "$name" && takes_probe "$name"; then
            echo "$name"
        fi
    done
}

qemu_i386() {
    if [ -n "${KIT_QEMU_I386:-}" ]; then
        echo "$KIT_QEMU_I386"
    elif [ -x /usr/bin/qemu-i386 ]; then
        echo /usr/bin/qemu-i386
    else
        echo /usr/bin/qemu-i386-static
    fi
}

our_entry_in_place() {
    is_enabled $our_entry && grep -qx "interpreter $(qemu_i386)" "$binfmt/$our_entry"
}

# A folder whose programs may run (a noexec /tmp would fail any probe).
exec_dir() {
    local base dir
    for base in "${TMPDIR:-/tmp}" /dev/shm /var/tmp; do
        dir=$(mktemp -d "$base/kit-probe.XXXXXX" 2>/dev/null) || continue
        if cp /bin/true "$dir/true" 2>/dev/null && "$dir/true"; then
            echo "$dir"
            return 0
        fi
        rm -rf "$dir"
    done
    return 1
}

switched_off=()
probe_dir=""
restore_entries() {
    local entry
    for entry in ${switched_off[@]+"${switched_off[@]}"}; do
        echo 1 | as_root "switching binfmt entry $entry back on" "it writes to $binfmt" tee "$binfmt/$entry" >/dev/null
    done
    switched_off=()
    [ -z "$probe_dir" ] || rm -rf "$probe_dir"
}

# Sets native=yes when the kernel runs an i386 program itself, with every
# binfmt entry that would take it switched off meanwhile.
probe_kernel() {
    case ${KIT_I386_NATIVE:-} in
        yes | no)
            native=$KIT_I386_NATIVE
            return 0
            ;;
    esac
    mount_binfmt
    # An enabled entry of ours means a run earlier in this boot set up the
    # emulator (entries end with the boot): keep it rather than probe again,
    # as a 32-bit program started while entries are off would fail.
    if our_entry_in_place; then
        native=no
        return 0
    fi
    probe_dir=$(exec_dir) || { echo "setup: no folder here lets the i386 probe run" >&2; exit 1; }
    trap restore_entries EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
    local i esc="" entry status=0
    for ((i = 0; i < ${#probe_elf}; i += 2)); do esc+="\\x${probe_elf:i:2}"; done
    printf "$esc" >"$probe_dir/probe"
    chmod +x "$probe_dir/probe"
    for entry in $(i386_entries); do
        echo 0 | as_root "switching binfmt entry $entry off for the i386 probe" "it writes to $binfmt" \
            tee "$binfmt/$entry" >/dev/null
        switched_off+=("$entry")
    done
    { "$probe_dir/probe" || status=$?; } 2>/dev/null
    restore_entries
    trap - EXIT INT TERM HUP
    native=no
    [ "$status" -ne 42 ] || native=yes
}

# The kernel hands i386 programs to qemu. Our entry goes in front of any
# other that takes them (those stay); no F flag: the interpreter is looked
# up at each start, so an upgraded qemu is picked up.
register_i386() {
    local qemu
    qemu=$(qemu_i386)
    mount_binfmt
    local first
    first=$(i386_entries)
    if [ "${first%%$'\n'*}" = $our_entry ] && our_entry_in_place; then
        return 0
    fi
    if [ -e "$binfmt/$our_entry" ]; then
        echo -1 | step "unregister $our_entry to register it again, first in line" "it writes to $binfmt" \
            tee "$binfmt/$our_entry"
    fi
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":$our_entry:M::$magic:$mask:$qemu:" |
        step "register $our_entry for i386 programs: $qemu" "it writes to $binfmt" tee "$binfmt/register"
}

probe_kernel
install_packages
[ "$native" = yes ] || register_i386
