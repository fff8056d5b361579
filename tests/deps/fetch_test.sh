#!/usr/bin/env bash
# The set-up's dealings with apt, against fake apt-get and apt-cache programs on PATH: the source
# fetch falls back over versions a mirror no longer serves, refuses a tarball whose SHA-256 is not
# its pin (and keeps nothing of it), and takes a pinned tarball it already has without asking apt;
# apt-get waits while another package manager holds its lock, and gives up on any other failure
# at once.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

mkdir -p "$work/bin"
# apt-cache showsrc: the versions in $FAKE_VERSIONS.
cat >"$work/bin/apt-cache" <<'FAKE'
#!/usr/bin/env bash
[ "$1" = showsrc ] || exit 100
for v in $FAKE_VERSIONS; do printf 'Package: %s\nVersion: %s\n\n' "$2" "$v"; done
FAKE
# apt-get: "source ... PKG=VERSION" writes the tarball whose content $FAKE_SERVE names for that
# version ("good", "evil" or "404"); any other call fails as long as $FAKE_LOCKED_CALLS says the
# lock is held, else succeeds. Every call is counted in $FAKE_CALLS.
cat >"$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_CALLS"
if [ "$1" = source ]; then
    for a in "$@"; do case $a in *=*) version=${a#*=} ;; esac; done
    for pair in $FAKE_SERVE; do
        [ "${pair%%:*}" = "$version" ] || continue
        case ${pair#*:} in
        404) echo "E: Failed to fetch .../fake.orig.tar.gz  404  Not Found" >&2; exit 100 ;;
        *) echo "${pair#*:}" >fake_1.0.orig.tar.gz; exit 0 ;;
        esac
    done
    exit 100
fi
calls=$(wc -l <"$FAKE_CALLS")
if [ "$calls" -le "${FAKE_LOCKED_CALLS:-0}" ]; then
    echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)" >&2
    exit 100
fi
[ -z "${FAKE_OTHER_ERROR:-}" ] || { echo "E: Unable to locate package $FAKE_OTHER_ERROR" >&2; exit 100; }
exit 0
FAKE
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin"/*
export PATH=$work/bin:$PATH FAKE_CALLS=$work/calls
good_sum=$(echo good | sha256sum | cut -d' ' -f1)
printf '# pins\nfakepkg  fake_1.0.orig.tar.gz  %s\n' "$good_sum" >"$work/sources.lock"
export STREAM8_SOURCES_LOCK=$work/sources.lock

# fetch CASE VERSIONS SERVE: runs the fetch into a new folder; its output in $work/CASE.out.
fetch() {
    local name=$1
    rm -f "$FAKE_CALLS"
    touch "$FAKE_CALLS"
    mkdir -p "$work/$name"
    FAKE_VERSIONS=$2 FAKE_SERVE=$3 "$root/tools/deps/fetch-source" fakepkg "$work/$name" \
        >"$work/$name.out" 2>&1
}

# The newest version is gone from the mirror: the next one serves the same tarball.
if fetch fallback "2.0-1+u1 2.0-1" "2.0-1+u1:404 2.0-1:good"; then
    [ "$(cat "$work/fallback/fake_1.0.orig.tar.gz")" = good ] || fail "fallback: wrong tarball kept"
    grep -q "fakepkg=2.0-1+u1" "$FAKE_CALLS" || fail "fallback: the newest version was not tried"
else
    fail "fallback: $(cat "$work/fallback.out")"
fi
# A tarball that hashes otherwise is refused by name and not kept, even when no version serves a
# good one; a later version with the pinned tarball is taken.
if fetch tampered "2.0-1 1.0-1" "2.0-1:evil 1.0-1:404"; then
    fail "tampered: a tarball with the wrong SHA-256 was accepted"
else
    grep -q "refused fake_1.0.orig.tar.gz from fakepkg=2.0-1" "$work/tampered.out" ||
        fail "tampered: no refusal naming the tarball: $(cat "$work/tampered.out")"
    [ -z "$(ls -A "$work/tampered")" ] || fail "tampered: left $(ls -A "$work/tampered")"
fi
if fetch mixed "2.0-1 1.0-1" "2.0-1:evil 1.0-1:good"; then
    [ "$(cat "$work/mixed/fake_1.0.orig.tar.gz")" = good ] || fail "mixed: wrong tarball kept"
    grep -q "refused" "$work/mixed.out" || fail "mixed: the bad tarball was not named"
else
    fail "mixed: $(cat "$work/mixed.out")"
fi
# A pinned tarball already there is taken without asking apt; a damaged one is fetched again.
fetch mixed "1.0-1" "1.0-1:404" || fail "cached: $(cat "$work/mixed.out")"
[ ! -s "$FAKE_CALLS" ] || fail "cached: apt was asked: $(cat "$FAKE_CALLS")"
echo evil >"$work/mixed/fake_1.0.orig.tar.gz"
fetch mixed "1.0-1" "1.0-1:good" && [ "$(cat "$work/mixed/fake_1.0.orig.tar.gz")" = good ] ||
    fail "damaged cache: not fetched again"

# apt_get CASE: runs apt-get through the set-up's wrapper; its output in $work/CASE.out.
apt_case() {
    local name=$1
    shift
    rm -f "$FAKE_CALLS"
    touch "$FAKE_CALLS"
    (source "$root/tools/deps/common.sh" && apt_get "$@") >"$work/$name.out" 2>&1
}
export STREAM8_APT_LOCK_POLL=1
if FAKE_LOCKED_CALLS=2 apt_case locked install -y foo; then
    [ "$(wc -l <"$FAKE_CALLS")" -eq 3 ] || fail "lock: $(wc -l <"$FAKE_CALLS") calls, not 3"
    [ "$(grep -c "waiting" "$work/locked.out")" -eq 1 ] || fail "lock: not said once: $(cat "$work/locked.out")"
else
    fail "lock: gave up: $(cat "$work/locked.out")"
fi
if STREAM8_APT_LOCK_WAIT=2 FAKE_LOCKED_CALLS=99 apt_case held install -y foo; then
    fail "held lock: succeeded"
else
    grep -q "giving up" "$work/held.out" || fail "held lock: $(cat "$work/held.out")"
fi
if FAKE_OTHER_ERROR=foo apt_case other install -y foo; then
    fail "other error: succeeded"
else
    [ "$(wc -l <"$FAKE_CALLS")" -eq 1 ] || fail "other error: tried $(wc -l <"$FAKE_CALLS") times"
    grep -q "Unable to locate package foo" "$work/other.out" || fail "other error: message lost"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures failed" >&2
    exit 1
fi
echo "fetch and apt cases passed"
