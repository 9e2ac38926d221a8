#!/usr/bin/env bash
# The Windows tool's latency modes as a user runs them under Wine: every
# ordered pair of the processors Windows reports has a core-to-core figure
# above 0 and the diagonal none; the loaded latency's curve has its idle
# latency and a point per delay asked, with traffic that falls as the delay
# grows.
# usage: latency_modes_wine_test.sh RUNNER TOOL.exe
set -u
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$1" "$2" --core-to-core --all-logical --json >"$out" || { echo "FAILED: core-to-core exit $?"; exit 1; }
python3 -c "
import json, sys
d = json.load(open(sys.argv[1]))
m = d['one_way_ns']
n = len(d['processors'])
assert n >= 2 and len(m) == n, d['processors']
assert all((m[i][j] is None) if i == j else (m[i][j] > 0) for i in range(n) for j in range(n)), m
print('ok: core-to-core, %d processors, every pair measured' % n)" "$out" || exit 1
"$1" "$2" --loaded-latency --traffic copy --delays 0,65536 --buffer-size 8M --json >"$out" ||
  { echo "FAILED: loaded latency exit $?"; exit 1; }
python3 -c "
import json, sys
d = json.load(open(sys.argv[1]))
c = d['curves']
assert len(c) == 1 and c[0]['traffic'] == 'copy' and c[0]['idle_latency_ns'] > 0, c
p = c[0]['points']
assert [x['delay_cycles'] for x in p] == [0, 65536] and all(x['latency_ns'] > 0 for x in p), p
assert p[0]['bytes_per_second'] > p[1]['bytes_per_second'] > 0, p
print('ok: loaded latency, copy traffic %.2f GB/s at delay 0, %.2f GB/s at 65536' % (p[0]['gb_per_second'], p[1]['gb_per_second']))" "$out"
