#!/usr/bin/env bash
# The headless tool as a user runs it, exact sweep, survey, core-to-core and
# loaded latency: bad input is refused before anything is measured or
# created; small real runs write their CSV, JSON and picture; a stop signal
# or a thread that cannot start leaves no partial file.
set -u
tool=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

# Each refusal: exit 2, the problem on the first line of stderr (then at most
# the usage or a pointer to it), nothing on stdout, no file created, an existing one untouched.
echo keep >taken.csv
echo keep >taken.bmp
while IFS='|' read -r args pattern; do
  # shellcheck disable=SC2086
  "$tool" $args >out.txt 2>err.txt; code=$?
  check "refused: $args" '[ $code -eq 2 ] && head -n1 err.txt | grep -q -- "$pattern" && ! sed 1d err.txt | grep -qv "^usage:\|^  \|^(see " && [ ! -s out.txt ] && [ ! -e new.csv ] && [ "$(cat taken.csv taken.bmp)" = "keep
keep" ]'
done <<'TABLE'
--test-area 3 --csv new.csv|--test-area takes 1, 2, 4 or 8
--csv taken.csv --fast|exists already
--csv no-such-dir/x.csv|cannot create
--picture taken.bmp --fast --csv new.csv|exists already
--bogus|unknown option
--survey --max-size 0 --csv new.csv|at least 2 KiB
--survey --max-size 64TB|unknown unit
--survey --max-size 4096G|does not fit
--survey --points-per-doubling 0|1 to 64
--survey --points-per-doubling 65|1 to 64
--survey --repeats 0|1 to 1000
--survey --min-time 5parsecs|--min-time takes
--survey --isa sse9|--isa takes
--survey --test-area 2|--test-area belongs to the exact sweep
--survey --block-step 4|--block-step belongs to the exact sweep
--survey --fast|--fast belongs to the exact sweep
--survey --bogus --csv new.csv|bogus
--survey --threads 0|--threads 0
--survey --threads 999|offers 1 to
--survey --threads 1,many|not 'many'
--survey --max-size 16K --csv taken.csv|exists already
--survey --picture shot.gif --csv new.csv|--picture names its format by the extension
--core-to-core --round-trips 9999 --csv new.csv|--round-trips takes 10000 to
--core-to-core --samples 4 --csv new.csv|--samples takes 5 to
--core-to-core --samples five|--samples
--core-to-core --csv taken.csv|exists already
--core-to-core --picture taken.bmp --csv new.csv|exists already
--core-to-core --picture matrix.gif --csv new.csv|--picture names its format by the extension
--core-to-core --survey --csv new.csv|--survey belongs to another mode
--compare a.json --core-to-core|--compare belongs to another mode
--core-to-core --threads 2|--threads belongs to another mode
--loaded-latency --delays 0,16,abc --csv new.csv|--delays takes core cycles from 0 to
--loaded-latency --delays 0,-16|not '-16'
--loaded-latency --traffic read,fetch --csv new.csv|--traffic takes read, write, copy, mix or all, separated by commas, not 'fetch'
--loaded-latency --min-time 10ms|--min-time takes 100ms or more
--loaded-latency --buffer-size 4K|--buffer-size takes 2 MiB or more
--loaded-latency --threads 1 --csv new.csv|--threads takes 2 to
--loaded-latency --buffer-size 4096G --csv new.csv|three quarters of the
--loaded-latency --csv taken.csv|exists already
--loaded-latency --picture taken.bmp --csv new.csv|exists already
--loaded-latency --core-to-core|--core-to-core belongs to another mode
--core-to-core --delays 0|--delays belongs to another mode
TABLE
taskset -c 0 "$tool" --core-to-core --all-logical --csv new.csv >out.txt 2>err.txt; code=$?
check "core-to-core on one processor: exit 2, one line, nothing written" \
  '[ $code -eq 2 ] && [ "$(cat err.txt)" = "lorvanta-sweep: core-to-core latency needs at least two processors; this process may run on 1" ] && [ ! -s out.txt ] && [ ! -e new.csv ]'
taskset -c 0 "$tool" --loaded-latency --csv new.csv >out.txt 2>err.txt; code=$?
check "loaded latency on one processor: exit 2, one line, nothing written" \
  '[ $code -eq 2 ] && [ "$(cat err.txt)" = "lorvanta-sweep: loaded latency needs at least two processors, one to chase and one to load; this process may run on 1" ] && [ ! -s out.txt ] && [ ! -e new.csv ]'
check "a bad value's refusal ends with the usage; --help exits 0 with it" \
  '"$tool" --test-area 3 2>&1 >/dev/null | grep -q "^usage:" && "$tool" --help | grep -q -- "--block-step"'
check "--version names the tool and a version in both modes, and nothing else" \
  '[ "$("$tool" --version | grep -cE "^lorvanta-sweep [0-9a-z][^ ]*$")" = 1 ] && [ "$("$tool" --survey --version)" = "$("$tool" --version)" ]'

# --compare: each bad input is refused with exit 2, the file and its problem
# on the first line of stderr, nothing on stdout and no picture left.
cp "$(realpath "$2")" good.json
echo hello >notjson.json
head -c 300 good.json >truncated.json
echo '{"testAreaSize": 2097152, "bytesPerSecond": []}' >exact.json
sed '/"schema_version"/d' good.json >old.json
sed 's/"schema_version": 1/"schema_version": 2/' good.json >v2.json
echo keep >taken.png
mkdir a-directory
while IFS='|' read -r args pattern; do
  # shellcheck disable=SC2086
  "$tool" --compare $args >out.txt 2>err.txt; code=$?
  check "compare refused: $args" '[ $code -eq 2 ] && head -n1 err.txt | grep -q -- "$pattern" && ! sed 1d err.txt | grep -qv "^(see " && [ ! -s out.txt ] && [ -z "$(ls compare-*.png new.png 2>/dev/null)" ] && [ "$(cat taken.png)" = keep ]'
done <<'TABLE'
good.json missing.json --picture|missing.json: cannot be read
good.json notjson.json|notjson.json: is not JSON
good.json a-directory|a-directory: cannot be read
good.json truncated.json --picture new.png|truncated.json: the JSON ends early
exact.json good.json|exact.json: is the exact sweep's JSON
good.json old.json --json|old.json: was written before results carried a schema version
v2.json good.json|v2.json: has schema version 2
good.json|two or more saved surveys
good.json good.json --picture taken.png|exists already
good.json good.json --picture new.gif|by the extension .png, .svg, .pdf or .bmp
TABLE
"$tool" --compare good.json good.json --picture --size 600x500 >out.txt 2>err.txt; code=$?
check "a file against itself: nine ratios of 1.00x, none real, the picture in compare-0.png at the asked size" \
  '[ $code -eq 0 ] && [ "$(grep -c " 1.00x$" out.txt)" -eq 9 ] && ! grep -q " \*$" out.txt && grep -q "written to compare-0.png (600x500)" err.txt && python3 -c "d=open(\"compare-0.png\",\"rb\").read(24); assert d[:4]==b\"\\x89PNG\" and int.from_bytes(d[16:20],\"big\")==600"'

exact=(--test-area 1 --block-step 16 --fast)
"$tool" "${exact[@]}" --csv curves.csv >out.txt 2>err.txt; code=$?
check "a quick sweep exits 0, silent on a stderr that is no terminal" '[ $code -eq 0 ] && [ ! -s err.txt ]'
check "CSV has a header and 63 rows of nonzero rates" '[ "$(wc -l <curves.csv)" -eq 64 ] && ! tail -n +2 curves.csv | grep -q ",0\(,\|$\)"'
check "summary shows the clock line and nine figures" 'grep -q "^Taktfrequenz: [0-9]*\.[0-9][0-9][0-9] MHz$" out.txt && [ "$(grep -c ": [0-9]*\.[0-9][0-9][0-9] GiB/s$\|: none" out.txt)" -eq 9 ]'
"$tool" "${exact[@]}" --json >out.json 2>/dev/null; code=$?
check "JSON run exits 0 and names the clock" '[ $code -eq 0 ] && grep -q "\"clockHz\": [1-9]" out.json'

# Without FILE the picture goes to the first free screenshot-N.bmp.
echo keep >screenshot-0.bmp
"$tool" "${exact[@]}" --picture --size 700x450 >/dev/null 2>err.txt; code=$?
check "the picture fills screenshot-1.bmp at the asked size" '[ $code -eq 0 ] && grep -q "picture written to screenshot-1.bmp (700x450)" err.txt && [ "$(stat -c %s screenshot-1.bmp)" -eq $((54 + 2100 * 450)) ] && [ "$(cat screenshot-0.bmp)" = keep ]'
# Blue green red bytes of pixel (x, y) of the bottom-up BMP.
pixel() { od -An -tu1 -j $((54 + (449 - $2) * 2100 + $1 * 3)) -N 3 screenshot-1.bmp | tr -s ' ' | sed 's/^ //'; }
check "picture shows the button face around the black panel" '[ "$(pixel 0 0)/$(pixel 10 52)/$(pixel 300 57)" = "240 240 240/0 0 0/240 240 240" ]'

quick=(--survey --max-size 64K --points-per-doubling 2 --min-time 2us --repeats 1)
label=$'bench "A" \\ 1\nsecond line\t\xc3\xa9'
"$tool" "${quick[@]}" --label "$label" --csv survey.csv >out.txt 2>err.txt; code=$?
check "a small survey exits 0, silent on a stderr that is no terminal" '[ $code -eq 0 ] && [ ! -s err.txt ]'
check "a CSV row per length, 2 KiB to 64 KiB, no rate 0, under a line on how copies count" '[ "$(wc -l <survey.csv)" -eq 13 ] && head -n1 survey.csv | grep -q "^# copy rates count each byte copied once" && sed -n 3p survey.csv | grep -q "^1,2048,L1," && tail -n1 survey.csv | grep -q "^1,65536," && ! tail -n +3 survey.csv | tr , "\n" | grep -qx 0'
check "the table names the L1 read kernel, and how to get a memory figure" 'grep -qE "^L1 .* GB/s .*Read[A-Za-z0-9]+" out.txt && grep -q "no figure: raise --max-size to" out.txt'
check "the table's head shows the label on one line, its control characters escaped, and the context" \
  'grep -qxF "label: bench \"A\" \\ 1\\nsecond line\\té" out.txt && grep -q "^tool: lorvanta-sweep ." out.txt && grep -q "^microcode: ." out.txt && grep -q "^memory: [0-9]" out.txt'
script -qec "$(printf '%q ' "$tool" "${quick[@]::7}" --repeats 2) >/dev/null" progress.txt >/dev/null
check "on a terminal, progress ends in the last pass at 100%, never above" \
  'grep -q "pass 2 of 2, 64 KiB reached, 100% of the estimated work" progress.txt && grep -o "[0-9]*% of" progress.txt | awk "\$1 + 0 > 100 {exit 1}"'
"$tool" "${quick[@]}" --threads 1,all --latency --json --label "$label" --picture >out.json 2>/dev/null
check "the picture without FILE is the PNG survey-0.png" '[ "$(head -c 8 survey-0.png | od -An -tx1 | tr -d " ")" = 89504e470d0a1a0a ]'
check "JSON: the L1 read kernel, 11 lengths, one run per thread count on distinct processors, each named with its core and caches; latency once, on one thread" \
  'python3 -c "import json; d=json.load(open(\"out.json\")); r=d[\"runs\"]; assert r[0][\"levels\"][0][\"read\"][\"kernel\"].startswith(\"Read\"); assert len(r[0][\"curves\"][\"lengths_bytes\"]) == 11; assert r[0][\"threads\"] == 1; p=r[-1][\"processors\"]; assert len(p) == len(set(p)) == r[-1][\"threads\"]; t=r[-1][\"placement\"][\"threads\"]; assert [x[\"processor\"] for x in t] == p and all(\"core\" in x and \"L1\" in x[\"cache_instances\"] for x in t); l=d[\"latency\"]; assert l[\"threads\"] == 1 and l[\"levels\"][0][\"picoseconds\"] > 0 and len(l[\"picoseconds\"]) == 11 and \"latency\" not in r[0][\"levels\"][0]"'
check "JSON: the context first, the label as given, every null fact of the machine with its reason and no other" \
  'LABEL="$label" python3 -c "import json, os; d=json.load(open(\"out.json\")); assert list(d)[:7] == [\"schema_version\", \"mode\", \"label\", \"tool\", \"date_utc\", \"machine\", \"processor\"] and d[\"schema_version\"] == 1; assert d[\"label\"] == os.environ[\"LABEL\"]; assert d[\"tool\"][\"name\"] == \"lorvanta-sweep\" and d[\"tool\"][\"version\"]; m=d[\"machine\"]; p=m[\"processor\"]; assert p[\"family\"] > 0 and m[\"logical_processors\"] >= m[\"cores\"] > 0 and m[\"smt\"] == (m[\"logical_processors\"] > m[\"cores\"]); nulls={k for k, v in list(m.items()) + list(p.items()) if v is None}; r=m[\"null_reasons\"]; assert set(r) == nulls and all(r.values()), (nulls, r)"'

# The core-to-core matrix under the least rule, every logical processor: each
# ordered pair's line first written by its row's processor.
if [ "$(nproc)" -lt 2 ]; then
  echo "skipped: a core-to-core matrix needs two processors"
else
  echo keep >core-to-core-0.png
  "$tool" --core-to-core --all-logical --json --csv c2c.csv --picture --size 500x400 >c2c.json 2>err.txt; code=$?
  check "core-to-core JSON: every pair above 0 ns, its line first written by the row's processor, the diagonal null" \
    '[ $code -eq 0 ] && python3 -c "import json; d=json.load(open(\"c2c.json\")); p=[x[\"processor\"] for x in d[\"processors\"]]; n=len(p); m=d[\"one_way_ns\"]; w=d[\"line_first_written_on\"]; assert d[\"mode\"] == \"core_to_core\" and d[\"rule\"] == {\"round_trips\": 10000, \"samples\": 5} and n >= 2 and len(m) == len(w) == n; assert all((m[i][j] is None and w[i][j] is None) if i == j else (m[i][j] > 0 and w[i][j] == p[i]) for i in range(n) for j in range(n)), (m, w)"'
  rows=$(python3 -c "import json; n=len(json.load(open('c2c.json'))['processors']); print(n * (n - 1))")
  check "core-to-core CSV: a line saying what the figures are, the header, a row per ordered pair" \
    'head -n1 c2c.csv | grep -q "^# one-way latency in ns: the median of 5 samples of 10000 round trips each" && sed -n 2p c2c.csv | grep -qx "from,to,one_way_ns,siblings,same_last_level_cache" && [ "$(tail -n +3 c2c.csv | grep -c "^[0-9]*,[0-9]*,[0-9.]*,[01],[01]$")" -eq "$rows" ]'
  check "the core-to-core picture without FILE is the next free core-to-core-N.png" \
    'grep -q "written to core-to-core-1.png (500x400)" err.txt && [ "$(head -c 8 core-to-core-1.png | od -An -tx1 | tr -d " ")" = 89504e470d0a1a0a ] && [ "$(cat core-to-core-0.png)" = keep ]'
  "$tool" --core-to-core --all-logical --label c2c-run >out.txt 2>/dev/null
  check "core-to-core table: the context, a row per processor, the summary of the pairs" \
    'grep -qx "label: c2c-run" out.txt && [ "$(sed -n "/^ *from.to/,/^$/p" out.txt | grep -c "^ *[0-9]\+ ")" -eq "$(nproc)" ] && grep -qE "^(same|other) .*: lowest [0-9.]+, median [0-9.]+, highest [0-9.]+ ns" out.txt'
fi

# Two curves at three delays each over small buffers: the chaser's idle
# latency, every point's figures, the CSV's rows and the picture.
if [ "$(nproc)" -lt 2 ]; then
  echo "skipped: loaded latency needs two processors"
else
  "$tool" --loaded-latency --traffic mix,read --delays 1024,0,65536 --buffer-size 8M --json --csv ll.csv --picture \
    --size 600x400 >ll.json 2>err.txt; code=$?
  check "loaded-latency JSON: the kinds in the order asked, the delays ascending, every figure above 0, the traffic falling with the delay" \
    '[ $code -eq 0 ] && python3 -c "import json; d=json.load(open(\"ll.json\")); c=d[\"curves\"]; assert d[\"mode\"] == \"loaded_latency\" and [x[\"traffic\"] for x in c] == [\"mix\", \"read\"]; assert d[\"chaser_processor\"] not in d[\"loader_processors\"] and d[\"buffers\"][\"bytes_each\"] == 8 << 20; p=[x[\"points\"] for x in c]; assert all([q[\"delay_cycles\"] for q in s] == [0, 1024, 65536] and all(q[\"latency_ns\"] > 0 and q[\"bytes_per_second\"] > 0 for q in s) and s[0][\"bytes_per_second\"] > s[2][\"bytes_per_second\"] and abs(s[2][\"achieved_delay_cycles\"] / 65536 - 1) < 0.2 for s in p), p; assert all(x[\"idle_latency_ns\"] > 0 for x in c)"'
  check "loaded-latency CSV: a line saying what the figures are, the header, an idle row and three points per kind" \
    'head -n1 ll.csv | grep -q "^# bandwidth: the loaders" && sed -n 2p ll.csv | grep -qx "traffic,kernels,point,delay_cycles,achieved_delay_cycles,bytes_per_second,latency_ns,latency_cycles" && [ "$(grep -c "^mix,Read.*,idle,,,0,[0-9.]*,[0-9.]*$" ll.csv)" -eq 1 ] && [ "$(grep -c "^\(mix\|read\),Read[^,]*,loaded,[0-9]*,[0-9.]*,[0-9]*,[0-9.]*,[0-9.]*$" ll.csv)" -eq 6 ]'
  check "the loaded-latency picture without FILE is loaded-latency-0.png" \
    'grep -q "written to loaded-latency-0.png (600x400)" err.txt && [ "$(head -c 8 loaded-latency-0.png | od -An -tx1 | tr -d " ")" = 89504e470d0a1a0a ]'
  "$tool" --loaded-latency --traffic write --delays 0 --buffer-size 8M --label ll-run >out.txt 2>/dev/null
  check "loaded-latency table: the context, the chaser and loaders, the buffers' note, the kind's head and its row" \
    'grep -qx "label: ll-run" out.txt && grep -q "^chaser: processor [0-9]*, a random cycle through 8 MiB" out.txt && grep -q "^note: the buffers are smaller than 8 x" out.txt && grep -q "^write traffic (Write[A-Za-z0-9]*NonTemporal); core clock" out.txt && grep -qE "^ +0 +0.0 +[0-9]+\.[0-9]{2} +[0-9]+\.[0-9] +[0-9]+\.[0-9]$" out.txt'
fi

# A stop signal during the run removes the CSV it had claimed and exits with
# 128 + the signal's number.
while read -r name code args; do
  # shellcheck disable=SC2086
  "$tool" $args --csv partial.csv >/dev/null 2>err.txt &
  pid=$!
  for _ in $(seq 50); do [ -e partial.csv ] && break; sleep 0.1; done
  sleep 0.5
  kill -"$name" "$pid"
  wait "$pid"; got=$?
  check "$args: SIG$name exits $code, names the signal on one line and removes the partial CSV" \
    '[ $got -eq $code ] && [ "$(wc -l <err.txt)" -eq 1 ] && grep -q "stopped by SIG$name" err.txt && [ ! -e partial.csv ]'
done <<'TABLE'
INT 130 --survey --repeats 50 --max-size 4M
TERM 143 --survey --repeats 50 --max-size 4M
HUP 129 --survey --repeats 50 --max-size 4M
INT 130 --core-to-core --all-logical --round-trips 1000000 --samples 1000
TERM 143 --loaded-latency --traffic read --buffer-size 8M --min-time 10s
TABLE

# A thread that cannot start (every thread stack is larger than the address
# space allowed): one line naming the thread, exit 1, no CSV left.
if [ "$(nproc)" -lt 2 ]; then
  echo "skipped: a thread that cannot start needs two processors"
else
  (ulimit -s 4194304 && ulimit -v 3145728 && exec timeout 60 "$tool" --survey --threads 2 --max-size 64K --csv nothread.csv) >out.txt 2>err.txt; code=$?
  check "a thread that cannot start: exit 1, one line naming it, no --no-bind advice, no CSV" \
    '[ $code -eq 1 ] && [ "$(wc -l <err.txt)" -eq 1 ] && grep -q "cannot start thread 2 of 2: " err.txt && ! grep -q -- --no-bind err.txt && [ ! -e nothread.csv ] && [ ! -s out.txt ]'
fi
exit $fail
