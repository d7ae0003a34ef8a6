#!/usr/bin/env bash
# Builds the Debian package and the Windows ZIP, checks what they hold, installs the Debian
# package on this machine, checks that the program starts and the udev rule is in place,
# and removes the package again. Needs root (or sudo) for the installation.
#   packaging/check-packages.sh
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
jobs=$(nproc 2>/dev/null || echo 2)
sudo=""
[[ $(id -u) -ne 0 ]] && sudo=sudo

say() { echo "check-packages: $*"; }
fail() {
    echo "check-packages: FAIL: $*" >&2
    exit 1
}

# Runs cpack with one generator in a build folder; its chatter is shown only when it fails.
run_cpack() {
    local dir=$1 generator=$2 log
    log=$(cd "$dir" && cpack -G "$generator" 2>&1) || {
        echo "$log" >&2
        fail "cpack -G $generator in $dir failed"
    }
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

# ---- Debian package ----
if [[ ! -f build/linux/CMakeCache.txt ]]; then
    cmake -S . -B build/linux -DLUMIVANE_WERROR=ON >/dev/null
fi
cmake --build build/linux -j "$jobs" >/dev/null
rm -f build/linux/lumivane_*.deb
run_cpack build/linux DEB
debs=(build/linux/lumivane_*.deb)
[[ -f ${debs[0]} ]] || fail "cpack made no .deb"
deb=$here/${debs[0]}
say "built ${debs[0]}"
dpkg-deb -f "$deb" Package Version Architecture Depends
listing=$(dpkg-deb -c "$deb")
echo "$listing" | awk '{print "  " $1, $3, $6}'
expect_entries "the .deb" "$listing" usr/bin/lumivane usr/bin/ogsend \
    usr/lib/udev/rules.d/70-lumivane.rules usr/share/doc/lumivane/lumivane.cfg \
    usr/share/doc/lumivane/README.md
[[ $(dpkg-deb -f "$deb" Package) == lumivane ]] || fail "package name"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "no dependency on libc6"
dpkg-deb -I "$deb" postinst | grep -q 'udevadm trigger --subsystem-match=hidraw' ||
    fail "no postinst reloading udev"

# ---- Windows ZIP ----
if [[ -f cmake/mingw-w64-x86_64.cmake ]]; then
    if [[ ! -f build/windows/CMakeCache.txt ]]; then
        cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
            -DLUMIVANE_WERROR=ON >/dev/null
    fi
    cmake --build build/windows -j "$jobs" >/dev/null
    rm -f build/windows/lumivane-*.zip
    run_cpack build/windows ZIP
    zips=(build/windows/lumivane-*.zip)
    [[ -f ${zips[0]} ]] || fail "cpack made no .zip"
    say "built ${zips[0]}"
    listing=$(python3 -m zipfile -l "${zips[0]}")
    echo "$listing" | sed 's/^/  /'
    expect_entries "the .zip" "$(awk '{print $1}' <<<"$listing")" lumivane.exe ogsend.exe \
        lumivane.cfg README.md
    python3 - "${zips[0]}" <<'PY' || fail "lumivane.exe in the zip is not a Windows program"
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    exe = [n for n in z.namelist() if n.endswith("/lumivane.exe") or n == "lumivane.exe"][0]
    sys.exit(0 if z.read(exe)[:2] == b"MZ" else 1)
PY
else
    say "skipping the Windows ZIP: cmake/mingw-w64-x86_64.cmake is not in this tree"
fi

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

$sudo dpkg -i "$deb"
[[ -x /usr/bin/lumivane ]] || fail "/usr/bin/lumivane is missing after installation"
[[ -x /usr/bin/ogsend ]] || fail "/usr/bin/ogsend is missing after installation"
rule=/usr/lib/udev/rules.d/70-lumivane.rules
grep -q 'ATTRS{idVendor}=="046d"' "$rule" || fail "$rule is missing or wrong"
say "udev rule in place: $rule"
[[ -f /usr/share/doc/lumivane/lumivane.cfg ]] || fail "the example configuration is missing"

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

$sudo dpkg --purge lumivane >/dev/null
[[ ! -e /usr/bin/lumivane && ! -e $rule ]] || fail "files left after removal"
say "removed the package; nothing left behind"
say "all checks passed"
