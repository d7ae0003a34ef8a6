#!/usr/bin/env bash
# Builds the benchmarks (Release, build/bench), runs them all and prints one table.
#   bench/run.sh [--window SECONDS] [--repeats N] [--count N] [--cg SHORT,LONG]
#     --window   length of each CPU/memory window (default 60)
#     --repeats  CPU/memory runs per regime, fed and idle (default 3)
#     --count    datagrams of the latency run, sent at 100/s (default 1000)
#     --cg       lengths in seconds of the two callgrind runs per regime (default 5,15)
# The end-to-end parts need root (a private mount namespace with a stand-in device).
set -euo pipefail

window=60
repeats=3
count=1000
cg=5,15
while [[ $# -gt 0 ]]; do
    case $1 in
    --window) window=$2; shift 2 ;;
    --repeats) repeats=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --cg) cg=$2; shift 2 ;;
    -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
cg_short=${cg%,*}
cg_long=${cg#*,}

here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build/bench
out=$build/results
jobs=$(nproc 2>/dev/null || echo 2)

# The benchmarks use the tests' support library, so the tests are configured too; only the
# programs the benchmarks run are built.
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLUMIVANE_BENCH=ON >/dev/null
cmake --build "$build" -j "$jobs" --target lumivane lumivane_floor lumivane_micro e2e_latency \
    cpu_mem instructions >/dev/null
mkdir -p "$out"
bin=$build/bench

echo "== micro-benchmarks"
"$bin/lumivane_micro" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_min_time=0.2 --benchmark_out="$out/micro.json" --benchmark_out_format=json \
    2>/dev/null | grep -E '_median' || true
echo "== end-to-end latency ($count datagrams at 100/s)"
"$bin/e2e_latency" --count "$count" | tee "$out/latency.txt"
echo "== CPU and memory ($repeats x ${window} s, fed and idle, each beside the floor)"
"$bin/cpu_mem" --window "$window" --repeats "$repeats" | tee "$out/cpu_mem.txt"
echo "== instructions per loop pass (callgrind, ${cg_short} s and ${cg_long} s runs)"
"$bin/instructions" --short "$cg_short" --long "$cg_long" | tee "$out/instructions.txt"

# ---- the table ---------------------------------------------------------------------------
result() { # result NAME: the value of "RESULT NAME v" from the run's outputs, or "-"
    local v
    v=$(cat "$out/latency.txt" "$out/cpu_mem.txt" "$out/instructions.txt" 2>/dev/null |
        awk -v k="$1" '$1 == "RESULT" && $2 == k { print $3 }' | tail -1)
    echo "${v:--}"
}
micro() { # micro NAME: median real time of a Google Benchmark, in ns
    awk -v k="$1_median" '
        /"name":/ { n = $0; sub(/.*"name": *"/, "", n); sub(/".*/, "", n) }
        /"real_time":/ { t = $0; sub(/.*"real_time": */, "", t); sub(/,.*/, "", t) }
        /"time_unit":/ && n == k {
            u = $0; sub(/.*"time_unit": *"/, "", u); sub(/".*/, "", u)
            if (u == "us") t *= 1e3; else if (u == "ms") t *= 1e6; else if (u == "s") t *= 1e9
            printf "%.1f", t; exit }' "$out/micro.json"
}
verdict() { # verdict VALUE OP LIMIT
    [[ $1 == - || -z $1 ]] && { echo "n/a"; return; }
    awk -v v="$1" -v l="$3" -v op="$2" 'BEGIN {
        ok = (op == "<") ? v < l : v <= l; print ok ? "met" : "MISSED" }'
}
row() { printf '%-48s %-24s %-12s %s\n' "$1" "$2" "$3" "$4"; }

echo
echo "Lumivane benchmarks: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores," \
     "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Command: bench/run.sh --window $window --repeats $repeats --count $count --cg $cg_short,$cg_long"
echo
row "Figure" "Measured" "Target" "Verdict"
row "------" "--------" "------" "-------"
for kind in bitCodes rpmCodes lowFuel flashingCodes invertedAndSecondary flashWithSecondary; do
    v=$(micro "BM_ledEvaluate_$kind")
    row "ledEvaluate, four codes: $kind" "${v:--} ns" "< 100 ns" "$(verdict "${v:--}" "<" 100)"
done
row "  (one clock read, clockTicks)" "$(micro BM_clockTicks) ns" "" ""
for n in 0 1 10 100; do
    v=$(micro "BM_ogRead/$n/manual_time")
    row "ogRead draining $n queued datagram(s)" \
        "$(awk -v t="${v:-0}" 'BEGIN { printf "%.2f us", t / 1e3 }')" "" ""
done
for c in fullSection noSection; do
    v=$(micro "BM_configResolveProfile_$c")
    row "car change: configResolveProfile ($c)" \
        "$(awk -v t="${v:-0}" 'BEGIN { printf "%.1f us", t / 1e3 }')" "" ""
done
row "once a second, no device: one search (8 others)" \
    "$(awk -v t="$(micro BM_hidSearchAbsent)" 'BEGIN { printf "%.1f us", t / 1e3 }')" "" ""
row "once a second: one look at the file" \
    "$(awk -v t="$(micro BM_configFileStamp)" 'BEGIN { printf "%.1f us", t / 1e3 }')" "" ""
row "latency send->report, median" "$(result latency_median_ms) ms" "<= 6 ms" \
    "$(verdict "$(result latency_median_ms)" "<=" 6)"
row "latency send->report, p99" "$(result latency_p99_ms) ms" "<= 11 ms" \
    "$(verdict "$(result latency_p99_ms)" "<=" 11)"
row "latency send->report, max" "$(result latency_max_ms) ms" "" ""
row "  (datagrams with a report / superseded)" \
    "$(result latency_count) / $(result latency_superseded)" "" ""
for regime in fed idle; do
    row "CPU $regime / floor, median (min-max)" \
        "$(result cpu_${regime}_ratio) ($(result cpu_${regime}_ratio_min)-$(result cpu_${regime}_ratio_max))" \
        "<= 1.5" "$(verdict "$(result cpu_${regime}_ratio)" "<=" 1.5)"
    row "  CPU per 10 s: program / floor" \
        "$(result cpu_${regime}_program_ms_per_10s) / $(result cpu_${regime}_floor_ms_per_10s) ms" "" ""
done
rss=$(result rss_peak_kib)
row "peak RSS (VmHWM), program" "$rss KiB" "<= 4096 KiB" "$(verdict "$rss" "<=" 4096)"
row "  peak RSS of the floor" "$(result rss_floor_kib) KiB" "" ""
fed=$(result ir_fed_per_pass)
row "instructions per loop pass, fed" "$fed Ir" "" ""
f1=$(result ir_f1_per_pass)
row "instructions per loop pass, F1 at 60 frames/s" "$f1 Ir" "<= 2 x fed" \
    "$(verdict "$f1" "<=" "$(awk -v f="$fed" 'BEGIN { print (f == "-") ? "-" : 2 * f }')")"
row "instructions per loop pass, idle" "$(result ir_idle_per_pass) Ir" "" ""
row "instructions, start-up and shutdown" "$(result ir_idle_startup) Ir" "" ""
