# A throwaway minimal Debian 12 root, for the tests that must run on what Debian 12 itself
# ships. Sourced after tools/prelude.sh by scripts that run as root:
#   open_debian_root        makes $work, a new temporary folder for the script's own files too,
#                           and unpacks a fresh root into $debian_root inside it, with Debian 12's
#                           archive as its apt source and /proc, /sys, /dev and /dev/pts bound
#                           into it
#   in_root COMMAND...      runs a command in the root, with a clean environment
#   bind_into_root FOLDER   binds a host folder into the root at the same path
#   quietly NAME COMMAND... runs a command with its output in $work/NAME.log, shown only when
#                           it fails
#   close_debian_root       undoes every mount and removes $work; the script's exit trap calls
#                           it, so that this happens after a failure too
# The root is debootstrapped once and then kept as a tarball in the cache (ZARNELL_CACHE,
# outside the git tree), keyed by the month so that it is made afresh now and then.

debian_root_cache=${ZARNELL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zarnell}/debootstrap
debian_root_suite=bookworm
debian_root_variant=minbase
debian_root_mirror=http://deb.debian.org/debian
debian_root_security_mirror=http://deb.debian.org/debian-security

work=
debian_root=
mounts=() # in the order they were made

debian_root_fail() {
    printf 'debian-root: %s\n' "$*" >&2
    exit 1
}

# True while anything is mounted at or below the folder $1.
mounted_below() {
    awk -v dir="$1" '$5 == dir || index($5, dir "/") == 1 { found = 1 } END { exit !found }' \
        /proc/self/mountinfo
}

# Removes a folder tree unless something is still mounted inside it: a bind mount of /dev
# must never be emptied along with the root.
remove_tree() {
    if mounted_below "$1"; then
        echo "debian-root: $1 still has mounts inside; leaving it in place" >&2
        return 1
    fi
    rm -rf --one-file-system "$1"
}

close_debian_root() {
    local i status=0
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        # A lazy unmount at least detaches a busy mount, so the removal cannot reach into it.
        umount "${mounts[i]}" || umount --lazy "${mounts[i]}" || status=1
    done
    mounts=()
    if [[ -n $work ]]; then
        remove_tree "$work" || status=1
        work=
    fi
    return "$status"
}

# Binds a host folder into the root; the bind is private, so that nothing mounted inside it
# later shows up on the host.
bind_into_root() {
    local target=$debian_root$1
    mkdir -p "$target"
    mount --bind "$1" "$target"
    mounts+=("$target")
    mount --make-private "$target"
}

quietly() {
    local log=$work/$1.log
    shift
    "$@" >"$log" 2>&1 || { tail -n 40 "$log" >&2; return 1; }
}

in_root() {
    chroot "$debian_root" /usr/bin/env -i \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}

debian_root_tarball() {
    local key
    key=$(printf '%s %s %s %s' "$debian_root_variant" "$debian_root_suite" "$debian_root_mirror" \
        "$(date -u +%Y-%m)" | sha256sum | cut -c1-12)
    echo "$debian_root_cache/$debian_root_suite-$debian_root_variant-$key.tar"
}

make_root_tarball() {
    local tarball=$1 build=$1.work lock
    # One debootstrap at a time per cache, also across runs on the same machine.
    exec {lock}>"$tarball.lock"
    flock "$lock"
    if [[ ! -f $tarball ]]; then
        say "debootstrapping a $debian_root_variant $debian_root_suite root into the cache (once)"
        if [[ -e $build ]]; then
            remove_tree "$build"
        fi
        debootstrap --variant="$debian_root_variant" "$debian_root_suite" "$build" \
            "$debian_root_mirror" >"$tarball.log" 2>&1 ||
            {
                tail -n 20 "$tarball.log" >&2
                debian_root_fail "debootstrap failed; its log: $tarball.log"
            }
        tar --numeric-owner -C "$build" -cf "$tarball.part" .
        mv "$tarball.part" "$tarball"
        remove_tree "$build"
    fi
    exec {lock}>&-
}

open_debian_root() {
    local tool tarball dir
    ((EUID == 0)) || debian_root_fail "must run as root: it debootstraps a Debian root, mounts" \
        "into it and chroots into it"
    for tool in debootstrap chroot mount umount flock tar; do
        command -v "$tool" >/dev/null || debian_root_fail "$tool is missing"
    done
    tarball=$(debian_root_tarball)
    mkdir -p "$debian_root_cache"
    if [[ ! -f $tarball ]]; then
        make_root_tarball "$tarball"
    fi

    work=$(mktemp -d "${TMPDIR:-/tmp}/zarnell-debian-root.XXXXXX")
    debian_root=$work/root
    mkdir "$debian_root"
    say "unpacking $(basename "$tarball") into $debian_root"
    tar --numeric-owner -C "$debian_root" -xf "$tarball"

    cat >"$debian_root/etc/apt/sources.list" <<SOURCES
deb $debian_root_mirror $debian_root_suite main
deb $debian_root_mirror $debian_root_suite-updates main
deb $debian_root_security_mirror $debian_root_suite-security main
SOURCES
    rm -f "$debian_root/etc/resolv.conf"
    cp -L /etc/resolv.conf "$debian_root/etc/resolv.conf"
    # No service of an installed package may start inside the root.
    printf '#!/bin/sh\nexit 101\n' >"$debian_root/usr/sbin/policy-rc.d"
    chmod 0755 "$debian_root/usr/sbin/policy-rc.d"

    for dir in /proc /sys /dev /dev/pts; do
        bind_into_root "$dir"
    done
}
