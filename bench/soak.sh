#!/usr/bin/env bash
# Soak run: the real lumivane fed at 1 kHz by ogsend for a while, its memory read at start and end.
#
#   bench/soak.sh [SECONDS]       (default 60)
#
# As root (with unshare from util-linux) the program runs in a private mount namespace with a
# stand-in LED device: a hidraw entry laid out under a private /sys and a FIFO as /dev/hidraw0,
# whose reports are counted. Otherwise it runs without a device, which closes the receiver at
# start-up (the program's rule), so only the idle loop is soaked.
#
# Environment: LUMIVANE_BUILD (folder holding lumivane and tools/ogsend; default: the first of
# build/linux and build that has them), LUMIVANE_SOAK_PORT (UDP port, default 47551).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
port=${LUMIVANE_SOAK_PORT:-47551}
if ! [[ $seconds =~ ^[0-9]+$ && $seconds -ge 1 ]]; then
    echo "soak: SECONDS must be a whole number >= 1" >&2
    exit 2
fi

find_build() {
    local d
    for d in ${LUMIVANE_BUILD:-} "$here/build/linux" "$here/build"; do
        if [[ -x $d/lumivane && -x $d/tools/ogsend ]]; then
            echo "$d"
            return
        fi
    done
    echo "soak: no lumivane and tools/ogsend found; build first" \
        "(cmake -S . -B build && cmake --build build)" >&2
    exit 2
}
build=$(find_build)
lumivane=$build/lumivane
ogsend=$build/tools/ogsend

# As root, go once into a private mount namespace; the stand-in device lives only there.
if [[ ${LUMIVANE_SOAK_INSIDE:-} != 1 && $(id -u) -eq 0 ]] && command -v unshare >/dev/null; then
    export LUMIVANE_SOAK_INSIDE=1 LUMIVANE_BUILD=$build
    if unshare -m --propagation private true 2>/dev/null; then
        exec unshare -m --propagation private "$0" "$@"
    fi
    echo "soak: cannot make a mount namespace; running without a device"
fi

# Job control: the program runs in a process group of its own with the usual signal handling
# (a script's background jobs would otherwise ignore SIGINT).
set -m
work=$(mktemp -d /tmp/lumivane-soak-XXXXXX)
device=no
reader=
pid=
cleanup() {
    [[ -n $pid ]] && kill -KILL "$pid" 2>/dev/null
    [[ -n $reader ]] && kill "$reader" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
if [[ ${LUMIVANE_SOAK_INSIDE:-} == 1 ]]; then
    # A private /sys and /dev holding one hidraw device with vendor 046D, product CA03.
    mount -t tmpfs lvsys /sys -o mode=0755
    mount -t tmpfs lvdev /dev -o mode=0755
    mknod -m 0666 /dev/null c 1 3
    hid=/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/0003:046D:CA03.0001
    mkdir -p "$hid/hidraw/hidraw0" /sys/class/hidraw
    printf 'DRIVER=hid-generic\nHID_ID=0003:0000046D:0000CA03\nHID_NAME=Soak LED device\n' \
        >"$hid/uevent"
    printf 'MAJOR=241\nMINOR=0\nDEVNAME=hidraw0\n' >"$hid/hidraw/hidraw0/uevent"
    ln -s ../../../0003:046D:CA03.0001 "$hid/hidraw/hidraw0/device"
    ln -s "../../${hid#/sys/}/hidraw/hidraw0" /sys/class/hidraw/hidraw0
    mkfifo -m 0660 /dev/hidraw0
    device=yes
    # The reader counts the report bytes until the program closes the device.
    (wc -c </dev/hidraw0 >"$work/report-bytes") &
    reader=$!
fi

cat >"$work/lumivane.cfg" <<EOF
[config]
outGaugePort=$port
[SOAK]
LED1=12
LED1b=-3
LED2=6500
[SOK2]
LED1=-13
LED2=4
lowFuel=0.5
EOF

rss() { awk '/^VmRSS:/ {print $2 " " $3}' "/proc/$1/status" 2>/dev/null || echo "n/a"; }

(cd "$work" && exec "$lumivane") >"$work/out.log" &
pid=$!
set +m
for _ in $(seq 100); do
    grep -q '^Ready for OutGauge data' "$work/out.log" 2>/dev/null && break
    sleep 0.1
done
if ! grep -q '^Ready for OutGauge data' "$work/out.log"; then
    cat "$work/out.log"
    exit 1
fi
sleep 1
rss_start=$(rss "$pid")
echo "soak: lumivane pid $pid, port $port, device: $device, ${seconds} s at 1 kHz"

# One second of 1000 datagrams at a time, alternating two cars and their states, so that
# the car changes (and configuration reads) go on too.
sent=0
start=$(date +%s)
for ((i = 0; i < seconds; i++)); do
    if ((i % 2 == 0)); then
        args=(--car SOAK --flags shift,pitspeed --rpm 7000 --fuel 0.8)
    else
        args=(--car SOK2 --flags 0 --rpm 900 --fuel 0.1)
    fi
    "$ogsend" --port "$port" --count 1000 --rate 1000 "${args[@]}" >/dev/null
    sent=$((sent + 1000))
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "soak: lumivane ended early" >&2
        cat "$work/out.log"
        exit 1
    fi
done
elapsed=$(($(date +%s) - start))
rss_end=$(rss "$pid")

kill -INT "$pid"
status=0
wait "$pid" || status=$?
pid=
reports=n/a
if [[ $device == yes ]]; then
    wait "$reader" || true
    reader=
    bytes=$(cat "$work/report-bytes")
    reports=$((bytes / 8))
fi

echo "soak: sent $sent datagrams in ${elapsed} s"
echo "soak: VmRSS at start $rss_start, at end $rss_end"
echo "soak: reports written to the device: $reports"
echo "soak: car changes printed: $(grep -c '^Car: ' "$work/out.log" || true)"
echo "soak: exit status $status (130 = ended by Ctrl+C)"
pid=
[[ $status -eq 130 ]]
