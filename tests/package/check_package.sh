#!/usr/bin/env bash
# Builds the Debian package, installs it, runs the installed station and removes it again.
# Prints one line, "package check: ok" or what failed; exit status 0 or 1. Needs root (or sudo).
#   tests/package/check_package.sh [BUILD_DIR]   (see scripts/package)
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
work="$(mktemp -d "${TMPDIR:-/tmp}/kestro-package.XXXXXX")" || exit 1
log="$work/log"
station=""
installed=""
# A failed check leaves neither a running station nor the package behind.
cleanup() {
    [ -n "$station" ] && kill "$station" 2>/dev/null
    [ -n "$installed" ] && "${sudo[@]}" dpkg --remove kestro > /dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    cat "$log" >&2
    echo "package check: FAILED: $*"
    exit 1
}

export DEBIAN_FRONTEND=noninteractive

deb="$("$root/scripts/package" "$@" 2> "$log")" || fail "scripts/package"
version="$(dpkg-deb -f "$deb" Version)"
[ "$(basename "$deb")" = "kestro_${version}_amd64.deb" ] || fail "package named $(basename "$deb")"
# Plain files and links of the package, as absolute paths.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' > "$work/files"
grep -qx /usr/bin/kestro "$work/files" || fail "no /usr/bin/kestro in the package"

# Debian's own checks: no error, no warning, and none of its hardening notes.
lintian --display-info "$deb" > "$work/lintian" 2>> "$log"
findings="$(grep -E '^[EW]: |hardening-' "$work/lintian")"
[ -z "$findings" ] || fail "lintian: $(tr '\n' ';' <<< "$findings")"

"${sudo[@]}" apt-get install -y -q --no-install-recommends "$deb" >> "$log" 2>&1 \
    || fail "apt-get install"
installed=1

# Relocations bound at start and read-only after it, checked string and memory calls.
readelf -d /usr/bin/kestro | grep -q BIND_NOW || fail "/usr/bin/kestro is not bound now"
readelf -l /usr/bin/kestro | grep -q GNU_RELRO || fail "/usr/bin/kestro has no GNU_RELRO"
nm -D /usr/bin/kestro | grep '_chk@' | grep -vq __stack_chk_fail || fail "/usr/bin/kestro calls no fortified function"

desktop-file-validate /usr/share/applications/kestro.desktop >> "$log" 2>&1 \
    || fail "desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/*.metainfo.xml >> "$log" 2>&1 \
    || fail "appstreamcli validate"

# The station's per-user settings and data go to the scratch folder, never the caller's.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
export XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

out="$(/usr/bin/kestro --version 2>> "$log")" || fail "kestro --version exited $?"
[ "$out" = "kestro $version" ] || fail "kestro --version printed \"$out\""
out="$(/usr/bin/kestro --help 2>> "$log")" || fail "kestro --help exited $?"
for option in --help --version --data-dir --port --full-screen; do
    grep -q -- "$option" <<< "$out" || fail "kestro --help does not list $option"
done

data="$work/data"
/usr/bin/kestro --data-dir "$data" >> "$log" 2>&1 &
station=$!
for _ in $(seq 50); do
    [ -f "$data/kestro.lock" ] && [ -f "$data/kestro.db" ] && break
    kill -0 "$station" 2>/dev/null || break
    sleep 0.1
done
[ -f "$data/kestro.lock" ] && [ -f "$data/kestro.db" ] \
    || fail "the installed station made no kestro.lock and kestro.db in 5 s"
kill -0 "$station" 2>/dev/null || fail "the installed station stopped by itself"
kill "$station"
wait "$station" 2>/dev/null
station=""

"${sudo[@]}" dpkg --remove kestro >> "$log" 2>&1 || fail "dpkg --remove kestro"
installed=""
left="$(while read -r file; do [ -e "$file" ] || [ -L "$file" ] && echo -n " $file"; done < "$work/files")"
[ -z "$left" ] || fail "left after removal:$left"

echo "package check: ok"
