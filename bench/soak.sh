#!/usr/bin/env bash
# Soak run: the real lumivane fed at 1 kHz by ogsend for a while, its memory read at start and end.
#
#   bench/soak.sh [SECONDS]       (default 60)
#
# Builds lumivane, ogsend and lumivane_standin in the benchmarks' Release tree (build/bench).
# As root the program runs beside the benchmarks' stand-in LED device (lumivane_standin: the
# test support's hidraw entry under a private /sys and a FIFO as /dev/hidraw0, in a private
# mount namespace), whose reports are counted. Otherwise it runs without a device: datagrams
# and car changes are soaked, the reports are not (and the device is looked for once a second).
#
# Environment: LUMIVANE_SOAK_PORT (UDP port, default 47551).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
port=${LUMIVANE_SOAK_PORT:-47551}
if ! [[ $seconds =~ ^[0-9]+$ && $seconds -ge 1 ]]; then
    echo "soak: SECONDS must be a whole number >= 1" >&2
    exit 2
fi

build=$here/build/bench
lumivane=$build/lumivane
ogsend=$build/tools/ogsend

# As root, go once beside the stand-in device; it lives only in that mount namespace.
if [[ ${LUMIVANE_SOAK_INSIDE:-} != 1 ]]; then
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLUMIVANE_BENCH=ON >/dev/null
    cmake --build "$build" -j 2 --target lumivane ogsend lumivane_standin >/dev/null
    if [[ $(id -u) -eq 0 ]]; then
        export LUMIVANE_SOAK_INSIDE=1
        exec "$build/bench/lumivane_standin" "$0" "$@"
    fi
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
if [[ -p /dev/hidraw0 ]]; then
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
