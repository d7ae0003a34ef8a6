#!/usr/bin/env bash
# Builds the Debian package and the Windows ZIP with "build.sh packages", checks what they hold
# (lintian, the hardening of the programs, the manual pages, the Windows version resources),
# installs the Debian package on this machine, checks that the program starts, the udev rule
# and the systemd user unit are in place (systemd-analyze verify) and the manual pages are
# found, and removes the package again.
# Needs root (or sudo) for the installation, and lintian, mandoc, groff and systemd-analyze for
# the checks.
#   packaging/check-packages.sh
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
sudo=""
[[ $(id -u) -ne 0 ]] && sudo=sudo

say() { echo "check-packages: $*"; }
fail() {
    echo "check-packages: FAIL: $*" >&2
    exit 1
}

# Lists a package's contents and fails when one of the wanted paths is missing.
expect_entries() {
    local what=$1 listing=$2
    shift 2
    local path
    for path in "$@"; do
        grep -qE "(^|[ /])${path//./\\.}\$" <<<"$listing" || fail "$what lacks $path"
    done
}

# The programs must carry the flags of Debian's own packages: PIE, RELRO with immediate
# binding, the stack protector and fortified libc calls (read from the ELF headers, the
# dynamic section and the imported symbols).
check_hardening() {
    local program=$1 dynamic symbols
    dynamic=$(readelf -W -h -l -d "$program")
    symbols=$(readelf -W --dyn-syms "$program")
    grep -q 'Type: *DYN' <<<"$dynamic" || fail "$program is not position-independent"
    grep -q 'GNU_RELRO' <<<"$dynamic" || fail "$program has no RELRO segment"
    grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dynamic" ||
        fail "$program is not linked with -z now"
    grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program has no stack protector"
    grep -qE ' __[a-z_]+_chk(@|$)' <<<"$symbols" || fail "$program calls no fortified function"
}

# ---- Manual pages ----
pages=(packaging/man/*.[1-9])
for page in "${pages[@]}"; do
    lint=$(mandoc -T lint "$page" 2>&1) || true
    [[ -z $lint ]] || fail "mandoc -T lint $page: $lint"
    lint=$(groff -ww -z -man "$page" 2>&1) || true
    [[ -z $lint ]] || fail "groff -ww -z -man $page: $lint"
done
say "manual pages clean (mandoc -T lint, groff -ww): ${pages[*]##*/}"

# ---- Both packages, as a user makes them ----
./build.sh packages
# The packages' names and details, the version resources and the banner show one version, as
# project() gives it.
version=$(sed -n 's/^project(lumivane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
debs=(build/packages/lumivane_"$version"_amd64.deb)
[[ -f ${debs[0]} ]] || fail "build.sh packages made no lumivane_${version}_amd64.deb"
zips=(build/packages/lumivane-"$version"-windows-x64.zip)
[[ -f ${zips[0]} ]] || fail "build.sh packages made no lumivane-$version-windows-x64.zip"

# ---- Debian package ----
deb=$here/${debs[0]}
dpkg-deb -f "$deb" Package Version Architecture Depends
listing=$(dpkg-deb -c "$deb")
echo "$listing" | awk '{print "  " $1, $3, $6}'
man_entries=()
for page in "${pages[@]}"; do
    man_entries+=("usr/share/man/man${page##*.}/${page##*/}.gz")
done
expect_entries "the .deb" "$listing" usr/bin/lumivane usr/bin/ogsend usr/bin/lumivane-check \
    usr/lib/udev/rules.d/70-lumivane.rules usr/lib/systemd/user/lumivane.service \
    usr/lib/systemd/user/lumivane-login.service usr/share/doc/lumivane/lumivane.cfg \
    usr/share/doc/lumivane/README.md usr/share/doc/lumivane/copyright \
    usr/share/doc/lumivane/changelog.gz "${man_entries[@]}"
[[ $(dpkg-deb -f "$deb" Package) == lumivane ]] || fail "package name"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "the .deb's version is not $version"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "no dependency on libc6"

# Debian's package checker: errors and warnings fail; information tags are shown.
# (Its standard error holds only the notice that it runs as root, unless it fails.)
status=0
lintian_err=$(mktemp)
lintian --display-info --fail-on error,warning "$deb" 2>"$lintian_err" || status=$?
[[ $status -eq 0 ]] || {
    cat "$lintian_err" >&2
    fail "lintian found errors or warnings in ${debs[0]}"
}
rm -f "$lintian_err"
say "lintian: no errors, no warnings"

# With udev running, the maintainer scripts reload the rules and re-apply them to hidraw
# devices: run in a private mount namespace whose /run holds a stand-in udev control socket,
# with a stand-in udevadm that records its calls.
udev=$(mktemp -d)
dpkg-deb -e "$deb" "$udev/control"
mkdir "$udev/bin"
printf '#!/bin/sh\necho "$*" >>%s/calls\n' "$udev" >"$udev/bin/udevadm"
chmod +x "$udev/bin/udevadm"
$sudo unshare -m sh -c 'mount -t tmpfs none /run && mkdir /run/udev &&
    python3 -c "import socket; socket.socket(socket.AF_UNIX).bind(\"/run/udev/control\")" &&
    PATH="$1/bin:$PATH" && export PATH &&
    "$1/control/postinst" configure && "$1/control/postrm" remove' sh "$udev" ||
    fail "the maintainer scripts failed with udev running"
printf -v want '%s\n' 'control --reload-rules' 'trigger --subsystem-match=hidraw' \
    'control --reload-rules'
[[ $(cat "$udev/calls" 2>/dev/null)$'\n' == "$want" ]] ||
    fail "with udev running, postinst and postrm called udevadm as: $(cat "$udev/calls")"
rm -rf "$udev"
say "with udev running, postinst reloads and triggers and postrm reloads"

stage=$(mktemp -d)
dpkg-deb -x "$deb" "$stage"
for program in "$stage"/usr/bin/*; do
    check_hardening "$program"
done
say "hardened: $(cd "$stage/usr/bin" && echo *)"
rm -rf "$stage"

# ---- Windows ZIP ----
listing=$(python3 -m zipfile -l "${zips[0]}")
echo "$listing" | sed 's/^/  /'
html_entries=()
for page in "${pages[@]}"; do
    html_entries+=("manual/${page##*/}.html")
done
expect_entries "the .zip" "$(awk '{print $1}' <<<"$listing")" lumivane.exe ogsend.exe \
    lumivane-check.exe lumivane.cfg README.md LICENSE.txt "${html_entries[@]}"

# Every program in the ZIP carries the version resource: the project's version (as numbers,
# a missing patch number as 0), the product name and the licence's copyright line.
IFS=. read -r major minor patch <<<"$version"
numbers="$major, $minor, ${patch:-0}, 0"
copyright=$(grep -m1 '^Copyright' LICENSE)
unzipped=$(mktemp -d)
python3 -m zipfile -e "${zips[0]}" "$unzipped"
exes=("$unzipped"/*/*.exe)
for exe in "${exes[@]}"; do
    name=${exe##*/}
    [[ $(head -c 2 "$exe") == MZ ]] || fail "$name in the zip is not a Windows program"
    rc=$(x86_64-w64-mingw32-windres -i "$exe" -O rc 2>&1) || fail "no resources in $name"
    for want in "FILEVERSION $numbers" "PRODUCTVERSION $numbers" \
        "\"FileVersion\", \"$version\"" "\"ProductVersion\", \"$version\"" \
        '"ProductName", "Lumivane"' "\"LegalCopyright\", \"$copyright\"" \
        "\"OriginalFilename\", \"$name\""; do
        grep -qF "$want" <<<"$rc" || fail "the version resource of $name lacks: $want"
    done
    what=$(grep -oE '"FileDescription", "[^"]+"' <<<"$rc") ||
        fail "the version resource of $name has no description"
    say "$name: version $version, $what"
done
rm -rf "$unzipped"

# ---- Installing the Debian package here ----
if dpkg-query -W -f='${Status}' lumivane 2>/dev/null | grep -q 'install ok installed'; then
    fail "lumivane is already installed on this machine; remove it first (apt-get remove lumivane)"
fi
tmp=$(mktemp -d)
pid=""
cleanup() {
    [[ -n $pid ]] && kill -KILL "$pid" 2>/dev/null || true
    rm -rf "$tmp"
    if dpkg-query -W -f='${Status}' lumivane 2>/dev/null | grep -q 'installed'; then
        $sudo dpkg --purge lumivane >/dev/null && say "removed the package"
    fi
}
trap cleanup EXIT

# Where udev is not running (a container), installing and removing say nothing about it.
log=$($sudo dpkg -i "$deb" 2>&1) || {
    echo "$log" >&2
    fail "dpkg -i failed"
}
echo "$log"
grep -q 'reload request' <<<"$log" && fail "postinst complains about udev"
[[ -x /usr/bin/lumivane ]] || fail "/usr/bin/lumivane is missing after installation"
[[ -x /usr/bin/ogsend ]] || fail "/usr/bin/ogsend is missing after installation"
/usr/bin/lumivane-check /usr/share/doc/lumivane/lumivane.cfg >/dev/null ||
    fail "lumivane-check finds mistakes in the example configuration"
say "lumivane-check: no findings in the installed example configuration"
rule=/usr/lib/udev/rules.d/70-lumivane.rules
grep -q 'ATTRS{idVendor}=="046d"' "$rule" || fail "$rule is missing or wrong"
say "udev rule in place: $rule"
# The user units, found by their names where systemd looks for user units, are valid with the
# installed program and manual page, and the device they wait for is the one the rule names.
unit=/usr/lib/systemd/user/lumivane.service
runtime=$(mktemp -d)
log=$(XDG_RUNTIME_DIR=$runtime systemd-analyze verify --user lumivane.service \
    lumivane-login.service 2>&1) || {
    echo "$log" >&2
    fail "systemd-analyze verify --user failed on the user units"
}
rm -rf "$runtime"
[[ -z $log ]] || fail "systemd-analyze verify --user: $log"
link=$(grep -o 'SYMLINK+="[^"]*"' "$rule" | cut -d'"' -f2)
grep -qx "WantedBy=dev-$link.device" "$unit" && grep -qx "ConditionPathExists=/dev/$link" "$unit" ||
    fail "$unit does not go with /dev/$link, the device the udev rule names"
say "user units in place and valid: $unit, lumivane-login.service; wanted by dev-$link.device"
[[ -f /usr/share/doc/lumivane/lumivane.cfg ]] || fail "the example configuration is missing"
for page in "${pages[@]}"; do
    name=${page##*/}
    found=$(man -w "${name##*.}" "${name%.*}" 2>/dev/null) || fail "man ${name%.*} finds no page"
    say "man ${name##*.} ${name%.*}: $found"
done

# The program, started as a user starts it: in a folder with a configuration on a free port.
port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[config]\noutGaugePort=%s\n' "$port" >"$tmp/lumivane.cfg"
(cd "$tmp" && exec /usr/bin/lumivane) >"$tmp/out.txt" 2>&1 &
pid=$!
for _ in $(seq 100); do
    grep -q 'Ready for OutGauge data' "$tmp/out.txt" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
grep -q 'Ready for OutGauge data' "$tmp/out.txt" || {
    cat "$tmp/out.txt"
    fail "/usr/bin/lumivane did not get ready"
}
/usr/bin/ogsend --port "$port" --car XRT --count 3 >/dev/null
kill -INT "$pid"
status=0
wait "$pid" || status=$?
pid=""
sed 's/^/  | /' "$tmp/out.txt"
grep -qxF "Loading config $tmp/lumivane.cfg..." "$tmp/out.txt" || fail "wrong configuration path"
grep -qxF "ogInit: Initializing OutGauge, port $port..." "$tmp/out.txt" || fail "wrong port"
grep -qxF 'Shutdown...' "$tmp/out.txt" || fail "no shutdown after Ctrl+C"
[[ $status -eq 130 ]] || fail "ended with status $status after Ctrl+C, not 130"
say "/usr/bin/lumivane started, read its configuration and stopped on Ctrl+C"

log=$($sudo dpkg --purge lumivane 2>&1) || {
    echo "$log" >&2
    fail "dpkg --purge failed"
}
grep -q 'reload request' <<<"$log" && fail "postrm complains about udev"
[[ ! -e /usr/bin/lumivane && ! -e $rule && ! -e $unit ]] || fail "files left after removal"
say "removed the package; nothing left behind"
say "all checks passed"
