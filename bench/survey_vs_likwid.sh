#!/usr/bin/env bash
# The survey's per-level figures beside likwid-bench in the same run: read
# (load), write (store) and copy (bytes copied: likwid counts read + written,
# so its copy figure is halved) at a size inside each level's window.
# usage: bench/survey_vs_likwid.sh path/to/lorvanta-sweep [extra survey options]
set -euo pipefail
tool=$1; shift
command -v likwid-bench >/dev/null || { echo "likwid-bench is not installed (Debian: likwid)"; exit 1; }
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$tool" --survey --json "$@" >"$json"
isa=avx; grep -q avx512f /proc/cpuinfo && isa=avx512
lk() {  # lk TEST SIZE -> MByte/s (10^6 bytes/s)
  likwid-bench -t "$1" -w "S0:$2:1" 2>/dev/null | awk '/^MByte\/s:/ {print $2}'
}
printf '%-8s %-6s %12s %-22s %12s %8s\n' level group survey kernel likwid ratio
while read -r level size; do
  for group in read write copy; do
    case $group in
      read) test=load_$isa ;;
      write) test=store_mem_$isa; [ "$level" = memory ] || test=store_$isa ;;
      copy) test=copy_mem_$isa; [ "$level" = memory ] || test=copy_$isa ;;
    esac
    ref=$(lk "$test" "$size")
    [ "$group" = copy ] && ref=$(awk -v r="$ref" 'BEGIN {print r / 2}')
    python3 - "$json" "$level" "$group" "$ref" <<'PY'
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
done <<'LEVELS'
L1 16kB
L2 192kB
L3 8MB
memory 512MB
LEVELS
