#!/usr/bin/env bash
# The survey as a user runs it: bad input refused before anything is measured
# or created; a small real survey writes a CSV row per length and valid JSON;
# an interrupt leaves no partial file.
set -u
tool=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

# Each refusal: exit 2, one line on stderr naming the problem, nothing created.
while IFS='|' read -r args pattern; do
  # shellcheck disable=SC2086
  "$tool" --survey $args --csv refused.csv >out.txt 2>err.txt; code=$?
  check "refused: $args" '[ $code -eq 2 ] && grep -q -- "$pattern" err.txt && [ ! -s out.txt ] && [ ! -e refused.csv ]'
done <<'TABLE'
--max-size 0|at least 2 KiB
--max-size 64TB|unknown unit
--max-size 4096G|does not fit
--points-per-doubling 0|1 to 64
--points-per-doubling 65|1 to 64
--repeats 0|1 to 1000
--min-time 5parsecs|--min-time takes
--isa sse9|--isa takes
--test-area 2|--test-area belongs to the exact sweep
--block-step 4|--block-step belongs to the exact sweep
--fast|--fast belongs to the exact sweep
--bogus|bogus
--threads 0|--threads 0
--threads 999|offers 1 to
--threads 1,many|not 'many'
TABLE

echo keep >taken.csv
"$tool" --survey --max-size 16K --csv taken.csv >/dev/null 2>err.txt; code=$?
check "an existing CSV is neither overwritten nor measured for" '[ $code -eq 2 ] && [ "$(cat taken.csv)" = keep ]'

quick=(--survey --max-size 64K --points-per-doubling 2 --min-time 2us --repeats 1)
"$tool" "${quick[@]}" --csv curves.csv >out.txt 2>err.txt; code=$?
check "a small survey exits 0" '[ $code -eq 0 ]'
check "a CSV row per length, 2 KiB to 64 KiB" '[ "$(wc -l <curves.csv)" -eq 12 ] && sed -n 2p curves.csv | grep -q "^1,2048,L1," && tail -n1 curves.csv | grep -q "^1,65536,"'
check "no CSV rate is 0" '! tail -n +2 curves.csv | tr , "\n" | grep -qx 0'
check "the table names a kernel behind the L1 read figure" 'grep -qE "^L1 .* GB/s .*Read[A-Za-z0-9]+" out.txt'
check "a missing memory figure says how to get one" 'grep -q "no figure: raise --max-size to" out.txt'
check "nothing on stderr when it is no terminal" '[ ! -s err.txt ]'

"$tool" "${quick[@]}" --json >out.json 2>/dev/null
check "JSON parses and names the read kernel of L1" \
  'python3 -c "import json,sys; d=json.load(open(\"out.json\")); r=d[\"runs\"][0]; assert r[\"levels\"][0][\"read\"][\"kernel\"].startswith(\"Read\"); assert len(r[\"curves\"][\"lengths_bytes\"]) == 11"'

"$tool" "${quick[@]}" --threads 1,all --json >threads.json 2>/dev/null
check "a list of thread counts gives one run each, bound to distinct processors" \
  'python3 -c "import json; r=json.load(open(\"threads.json\"))[\"runs\"]; assert [x[\"threads\"] for x in r][0] == 1; p=r[-1][\"processors\"]; assert len(p) == len(set(p)) == r[-1][\"threads\"]"'

# An interrupt during the run removes the CSV it had claimed.
"$tool" --survey --max-size 256M --csv partial.csv >/dev/null 2>err.txt &
pid=$!
for _ in $(seq 50); do [ -e partial.csv ] && break; sleep 0.1; done
sleep 0.5
kill -INT "$pid"
wait "$pid"; code=$?
check "an interrupt exits 130 and removes the partial CSV" '[ $code -eq 130 ] && [ ! -e partial.csv ]'

exit $fail
