# shellcheck shell=bash
# Shared by ./demo and the scripts of tools/deps/ (sourced, never run): messages, root, and apt-get
# that waits for another package manager instead of failing.

# One line on standard error, prefixed with the command's name.
say() {
    echo "demo: $*" >&2
}

# Runs "$@" as root: directly when we are root, else through sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# How long apt-get waits for a lock held by another package manager, and how often it looks again.
APT_LOCK_WAIT=${STREAM8_APT_LOCK_WAIT:-600}
APT_LOCK_POLL=${STREAM8_APT_LOCK_POLL:-5}

# apt-get "$@" as root. While another apt or dpkg holds its lock, waits (saying so once) and tries
# again, for up to APT_LOCK_WAIT seconds; any other failure is returned at once, its message shown.
apt_get() {
    local err said= waited=0 status
    err=$(mktemp)
    while :; do
        status=0
        DEBIAN_FRONTEND=noninteractive as_root apt-get "$@" 2>"$err" || status=$?
        if [ "$status" -eq 0 ]; then
            grep -v '^W: ' "$err" >&2 || true
            rm -f "$err"
            return 0
        fi
        if ! grep -qE 'Could not get lock|Unable to (acquire|lock)|is another process using it' "$err"; then
            cat "$err" >&2
            rm -f "$err"
            return "$status"
        fi
        if [ "$waited" -ge "$APT_LOCK_WAIT" ]; then
            say "another package manager still holds apt's lock after ${waited} s; giving up"
            cat "$err" >&2
            rm -f "$err"
            return "$status"
        fi
        if [ -z "$said" ]; then
            say "another package manager holds apt's lock; waiting for it (up to $((APT_LOCK_WAIT / 60)) minutes)"
            said=1
        fi
        sleep "$APT_LOCK_POLL"
        waited=$((waited + APT_LOCK_POLL))
    done
}

# True when every Debian package among "$@" is installed.
packages_installed() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "install ok installed" >/dev/null || return 1
    done
}

# Installs the Debian packages among "$@" that are not installed yet.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        packages_installed "$p" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing ${missing[*]}"
    apt_get update -qq
    apt_get install -y -qq "${missing[@]}" >/dev/null
}

# Options that keep apt-get download and source quiet when run as root (no "unsandboxed" warnings).
apt_download_options() {
    [ "$(id -u)" -eq 0 ] && echo "-o APT::Sandbox::User=root"
    return 0
}

# A deb-src entry beside each of the machine's Debian deb entries, unless source packages are
# already reachable.
ensure_deb_src() {
    apt-cache showsrc libdumb 2>/dev/null | grep '^Version:' >/dev/null && return 0
    local list=/etc/apt/sources.list.d/stream8-deb-src.sources f
    say "adding a deb-src entry ($list) to fetch Debian's library sources"
    {
        # deb822 files: each Debian stanza again with Types: deb-src.
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] && [ "$f" != "$list" ] || continue
            awk 'BEGIN { RS = ""; ORS = "\n\n" }
                 /Types:[^\n]*deb/ && /URIs:[^\n]*debian/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
        done
        # One-line sources.
        if [ -f /etc/apt/sources.list ]; then
            awk '$1 == "deb" && /debian/ {
                     uri = ""; i = 2
                     if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                     uri = $i; suite = $(i + 1); comps = ""
                     for (j = i + 2; j <= NF; j++) comps = comps " " $j
                     printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n\n", uri, suite, comps
                 }' /etc/apt/sources.list
        fi
    } | as_root tee "$list" >/dev/null
    apt_get update -qq
}
