#!/usr/bin/env bash
# The survey's per-level figures beside likwid-bench in the same run: read
# (load), write (store) and copy (bytes copied: likwid counts read + written,
# so its copy figure is halved) at a size inside each level's window; likwid's
# best of LIKWID_PASSES (default 3) runs.
# THREADS=N (default 1) runs both with N threads: the survey with --threads N,
# likwid-bench with N threads on the first socket sharing the same total size
# (the private caches' sizes times N).
# usage: [THREADS=N] bench/survey_vs_likwid.sh path/to/lorvanta-sweep [extra survey options]
set -euo pipefail
tool=$1; shift
command -v likwid-bench >/dev/null || { echo "likwid-bench is not installed (Debian: likwid)"; exit 1; }
json=$(mktemp)
trap 'rm -f "$json"' EXIT
threads=${THREADS:-1}
"$tool" --survey --json --threads "$threads" "$@" >"$json"
isa=avx; grep -q avx512f /proc/cpuinfo && isa=avx512
lk() {  # lk TEST SIZE -> MByte/s (10^6 bytes/s)
  likwid-bench -t "$1" -w "S0:$2:$threads" 2>/dev/null | awk '/^MByte\/s:/ {print $2}'
}
levels=("L1 $((16 * threads))kB" "L2 $((192 * threads))kB" "L3 8MB" "memory 512MB")
test_for() {  # test_for LEVEL GROUP -> likwid-bench test
  case $2 in
    read) echo "load_$isa" ;;
    write) [ "$1" = memory ] && echo "store_mem_$isa" || echo "store_$isa" ;;
    copy) [ "$1" = memory ] && echo "copy_mem_$isa" || echo "copy_$isa" ;;
  esac
}
# likwid-bench's best of $passes runs, taken in passes through all tests so
# that each test's runs spread over time as the survey's repeats do: on a
# shared machine another tenant can halve a rate for seconds at a time.
passes=${LIKWID_PASSES:-3}
declare -A best
for ((pass = 0; pass < passes; ++pass)); do
  for entry in "${levels[@]}"; do
    read -r level size <<<"$entry"
    for group in read write copy; do
      rate=$(lk "$(test_for "$level" "$group")" "$size")
      [ "$group" = copy ] && rate=$(awk -v r="$rate" 'BEGIN {print r / 2}')
      best[$level.$group]=$(awk -v a="${best[$level.$group]:-0}" -v b="${rate:-0}" 'BEGIN {print (b > a ? b : a)}')
    done
  done
done
printf '%-8s %-6s %12s %-22s %12s %8s\n' level group survey kernel likwid ratio
for entry in "${levels[@]}"; do
  read -r level size <<<"$entry"
  for group in read write copy; do
    python3 - "$json" "$level" "$group" "${best[$level.$group]}" <<'PY'
import json, sys
doc, level, group, ref = json.load(open(sys.argv[1])), sys.argv[2], sys.argv[3], float(sys.argv[4] or 0)
fig = next((l[group] for l in doc["runs"][0]["levels"] if l["name"] == level), None)
if fig is None:
    print(f"{level:8} {group:6} {'none':>12}")
else:
    gb = fig["bytes_per_second"] / 1e9
    print(f"{level:8} {group:6} {gb:9.2f} GB/s {fig['kernel']:22} {ref/1000:7.2f} GB/s {gb*1000/ref if ref else 0:7.2f}")
PY
  done
done
