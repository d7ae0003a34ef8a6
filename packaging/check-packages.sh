#!/usr/bin/env bash
# Builds the Debian package, the Windows ZIP and the Windows installer with "build.sh packages",
# checks what they hold (lintian, the hardening of the programs, the manual pages, the Windows
# version resources), tries the installer under Wine (install, first start, upgrade, uninstall,
# no start at sign-in), installs the Debian package on this machine, checks that the program
# starts, the udev rule and the systemd user unit are in place (systemd-analyze verify) and the
# manual pages are found, and removes the package again.
# Needs root (or sudo) for the installation, and lintian, mandoc, groff, systemd-analyze and
# Wine for the checks.
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

# A UDP port free on this machine at the moment.
free_udp_port() {
    python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Waits until the program started as process PID has written "Ready for OutGauge data" to
# FILE, has ended, or SECONDS have passed; fails in the two latter cases.
wait_ready() {
    local file=$1 pid=$2 seconds=$3 tenth
    for ((tenth = 0; tenth < seconds * 10; tenth++)); do
        grep -q 'Ready for OutGauge data' "$file" && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
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

# ---- Windows installer ----
setup=$here/build/packages/lumivane-$version-windows-x64-setup.exe
[[ -f $setup ]] || fail "build.sh packages made no lumivane-$version-windows-x64-setup.exe"
grep -qa 'level="asInvoker"' "$setup" || fail "the installer asks for administrator rights"
rc=$(x86_64-w64-mingw32-windres -i "$setup" -O rc 2>&1) || fail "no resources in the installer"
grep -qF "\"ProductVersion\", \"$version\"" <<<"$rc" ||
    fail "the installer's version is not $version"
say "${setup##*/}: $(stat -c %s "$setup") bytes, version $version, no administrator rights asked"

# The installer under Wine, in a prefix of its own; the shortcuts it makes add no menu entries
# to this machine. The upgrade takes a second installer, built from the same sources as the
# next minor version while Wine makes the prefix.
wine_dir=$(mktemp -d)
wine_cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$wine_dir"
}
trap wine_cleanup EXIT
export WINEPREFIX=$wine_dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
wine wineboot --init >/dev/null 2>&1 &
boot=$!
newer=$major.$((minor + 1))
cmake -S "$here" -B "$wine_dir/newer" -DCMAKE_BUILD_TYPE=Release -DLUMIVANE_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DLUMIVANE_VERSION_OVERRIDE="$newer" >/dev/null
cmake --build "$wine_dir/newer" -j "$(nproc)" >/dev/null
(cd "$wine_dir/newer" && cpack -G NSIS -B "$wine_dir" >/dev/null)
newer_setup=$wine_dir/lumivane-$newer-windows-x64-setup.exe
wait "$boot" || fail "wineboot could not make a Wine prefix"

user=$(id -un)
programs=$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/Lumivane
config=$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Lumivane
menu=$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs
win_programs="C:\\users\\$user\\AppData\\Local\\Programs\\Lumivane"
win_config="C:\\users\\$user\\AppData\\Roaming\\Lumivane"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumivane'
settings_key='HKCU\Software\Lumivane'

# Prints a shortcut's target, working folder, arguments and window as
# "TARGET|FOLDER|ARGUMENTS|normal" (or "minimised").
link_of() {
    python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
flags, = struct.unpack_from("<I", data, 0x14)
show, = struct.unpack_from("<I", data, 0x3C)
pos = 0x4C
if flags & 0x1:  # the target as a shell item list, skipped
    pos += 2 + struct.unpack_from("<H", data, pos)[0]
target = ""
if flags & 0x2:  # the link info, with the target's local path
    size, _, info_flags, _, base = struct.unpack_from("<5I", data, pos)
    if info_flags & 0x1:
        target = data[pos + base:data.index(b"\0", pos + base)].decode("latin-1")
    pos += size
# The strings the flags announce, in this order: name, relative path, working folder,
# arguments, icon.
strings = {}
for bit in (0x4, 0x8, 0x10, 0x20, 0x40):
    if flags & bit:
        count, = struct.unpack_from("<H", data, pos)
        width = 2 if flags & 0x80 else 1
        text = data[pos + 2:pos + 2 + count * width]
        strings[bit] = text.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
        pos += 2 + count * width
window = "minimised" if show in (2, 7) else "normal"
print("|".join((target, strings.get(0x10, ""), strings.get(0x20, ""), window)))
EOF
}

expect_link() {
    local file=$menu/$1 want=$2 got
    [[ -f $file ]] || fail "no shortcut $1"
    got=$(link_of "$file")
    [[ $got == "$want" ]] || fail "shortcut $1: $got, not $want"
}

# Fails unless registry key KEY holds each "NAME|TYPE|DATA" given, as reg shows values (with
# CRLF line ends).
expect_values() {
    local key=$1 values item name type data
    shift
    values=$(wine reg query "$key" 2>/dev/null | tr -d '\r') || fail "no registry key $key"
    for item in "$@"; do
        IFS='|' read -r name type data <<<"$item"
        grep -qxF "    $name    $type    $data" <<<"$values" || fail "$key lacks $name=$data"
    done
}

# The IDs of the lumivane.exe processes that run in the configuration folder.
running_in_config() {
    local pid
    for pid in $(pgrep -f 'lumivane\.exe'); do
        [[ $(readlink "/proc/$pid/cwd") == "$config" ]] && echo "$pid"
    done
    return 0
}

# Install: the ZIP's files less the Markdown README and the example configuration, plus the
# README as a web page and the uninstaller; the example configuration in the configuration
# folder; the Start menu entries; the start at sign-in, which is on by default; the entry in
# the list of installed apps.
wine "$setup" /S || fail "the silent installation failed"
want=$( (awk 'NR > 1 && $1 !~ /\/$/ {sub(/^[^\/]*\//, "", $1); print $1}' <<<"$listing" |
    grep -vx -e README.md -e lumivane.cfg; printf '%s\n' README.html Uninstall.exe) | sort)
got=$(cd "$programs" 2>/dev/null && find . -type f | sed 's|^\./||' | sort)
[[ $got == "$want" ]] || fail "the programs folder holds: ${got//$'\n'/ }; not: ${want//$'\n'/ }"
cmp -s "$config/lumivane.cfg" packaging/lumivane.cfg || fail "no example configuration in $config"
expect_link Lumivane/Lumivane.lnk "$win_programs\\lumivane.exe|$win_config||normal"
expect_link "Lumivane/Edit configuration.lnk" \
    "C:\\windows\\system32\\notepad.exe|$win_config|\"$win_config\\lumivane.cfg\"|normal"
expect_link "Lumivane/Check configuration.lnk" \
    "C:\\windows\\system32\\cmd.exe|$win_config|/k \"\"$win_programs\\lumivane-check.exe\"\"|normal"
expect_link Lumivane/Manual.lnk "$win_programs\\README.html|$win_config||normal"
expect_link "Lumivane/Manual pages.lnk" "$win_programs\\manual|$win_config||normal"
expect_link StartUp/Lumivane.lnk "$win_programs\\lumivane.exe|$win_config||minimised"
size=$(find "$programs" -type f -printf '%s\n' | awk '{sum += $1} END {print int(sum / 1024)}')
expect_values "$uninstall_key" "DisplayName|REG_SZ|Lumivane" "DisplayVersion|REG_SZ|$version" \
    "Publisher|REG_SZ|Quillox" "EstimatedSize|REG_DWORD|$(printf '0x%x' "$size")" \
    "UninstallString|REG_SZ|\"$win_programs\\Uninstall.exe\"" \
    "QuietUninstallString|REG_SZ|\"$win_programs\\Uninstall.exe\" /S"
expect_values "$settings_key" "StartAtSignIn|REG_DWORD|0x1"
say "installed: programs, Start menu entries, start at sign-in, example configuration," \
    "$uninstall_key"

# First start, as the Start menu entry starts it; it keeps running for the upgrade. The
# user's configuration sets a free port.
port=$(free_udp_port)
sed -i "s/^outGaugePort=.*/outGaugePort=$port/" "$config/lumivane.cfg"
printf '; the user was here\r\n' >>"$config/lumivane.cfg"
cp "$config/lumivane.cfg" "$wine_dir/edited.cfg"
IFS='|' read -r target folder _ <<<"$(link_of "$menu/Lumivane/Lumivane.lnk")"
(cd "$(winepath -u "$folder")" && exec wine "$target") >"$wine_dir/out.txt" 2>&1 </dev/null &
first=$!
wait_ready "$wine_dir/out.txt" "$first" 60 || true
out=$(tr -d '\r' <"$wine_dir/out.txt")
sed 's/^/  | /' <<<"$out"
grep -qxF "Loading config $folder\\lumivane.cfg..." <<<"$out" ||
    fail "the installed lumivane.exe did not read $folder\\lumivane.cfg"
grep -qxF 'Ready for OutGauge data' <<<"$out" || fail "the installed lumivane.exe did not get ready"
old=$(running_in_config)
[[ -n $old ]] || fail "no lumivane.exe runs in $config"
say "the Start menu's Lumivane started in $folder and got ready"

# Upgrade over the running Lumivane: it is stopped, the programs are replaced, the user's
# configuration and the start at sign-in stay, and Lumivane runs again.
wine "$newer_setup" /S || fail "the silent upgrade to $newer failed"
for _ in $(seq 100); do
    kill -0 "$first" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$first" 2>/dev/null && fail "the upgrade did not stop the running Lumivane"
wait "$first" || true
rc=$(x86_64-w64-mingw32-windres -i "$programs/lumivane.exe" -O rc 2>&1)
grep -qF "\"FileVersion\", \"$newer\"" <<<"$rc" || fail "the upgrade did not replace lumivane.exe"
cmp -s "$config/lumivane.cfg" "$wine_dir/edited.cfg" || fail "the upgrade changed the configuration"
expect_link StartUp/Lumivane.lnk "$win_programs\\lumivane.exe|$win_config||minimised"
expect_values "$uninstall_key" "DisplayVersion|REG_SZ|$newer" \
    "VersionMinor|REG_DWORD|$(printf '0x%x' $((minor + 1)))"
for _ in $(seq 100); do
    again=$(running_in_config)
    [[ -n $again && $again != "$old" ]] && break
    sleep 0.1
done
[[ -n $again && $again != "$old" ]] || fail "Lumivane did not run again after the upgrade"
say "upgraded to $newer: Lumivane stopped, programs replaced, configuration and sign-in kept," \
    "Lumivane running again"

# Uninstall: the uninstaller runs from a copy in %TEMP% and returns at once; Wine's server
# ends when every program in the prefix has ended, the running Lumivane included.
wine "$programs/Uninstall.exe" /S || fail "the silent uninstallation failed"
timeout 120 wineserver -w || fail "something still runs in Wine 120 s after the uninstallation"
[[ ! -e $programs ]] || fail "the programs folder is left: $(cd "$programs" && echo *)"
[[ ! -e $menu/Lumivane && ! -e $menu/StartUp/Lumivane.lnk ]] || fail "shortcuts are left"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "$uninstall_key is left"
wine reg query "$settings_key" >/dev/null 2>&1 && fail "$settings_key is left"
cmp -s "$config/lumivane.cfg" "$wine_dir/edited.cfg" ||
    fail "the uninstallation changed the configuration"
say "uninstalled: Lumivane stopped; programs, shortcuts and registry entries gone;" \
    "configuration kept"

# Without the start at sign-in, and a reinstallation keeps that choice.
for options in "/S /NOSIGNIN" /S; do
    wine "$setup" $options || fail "the installation with $options failed"
    [[ -f $menu/Lumivane/Lumivane.lnk ]] || fail "$options: no Start menu entry"
    [[ ! -e $menu/StartUp/Lumivane.lnk ]] || fail "$options: a Startup shortcut after /NOSIGNIN"
    expect_values "$settings_key" "StartAtSignIn|REG_DWORD|0x0"
done
say "with /NOSIGNIN: no Startup shortcut, and none after a reinstallation"
wine_cleanup
trap - EXIT

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
port=$(free_udp_port)
printf '[config]\noutGaugePort=%s\n' "$port" >"$tmp/lumivane.cfg"
(cd "$tmp" && exec /usr/bin/lumivane) >"$tmp/out.txt" 2>&1 &
pid=$!
wait_ready "$tmp/out.txt" "$pid" 10 || true
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
