#!/usr/bin/env bash
# The Windows tool's core-to-core matrix as a user runs it under Wine: every
# ordered pair of the processors Windows reports has a figure above 0, and
# the diagonal none.
# usage: core_to_core_wine_test.sh RUNNER TOOL.exe
set -u
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$1" "$2" --core-to-core --all-logical --json >"$out" || { echo "FAILED: exit $?"; exit 1; }
python3 -c "
import json, sys
d = json.load(open(sys.argv[1]))
m = d['one_way_ns']
n = len(d['processors'])
assert n >= 2 and len(m) == n, d['processors']
assert all((m[i][j] is None) if i == j else (m[i][j] > 0) for i in range(n) for j in range(n)), m
print('ok: %d processors, every pair measured' % n)" "$out"
