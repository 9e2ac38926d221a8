#!/usr/bin/env bash
# The headless tool as a user runs it: bad input is refused before anything is
# measured or overwritten; a real sweep writes its CSV and figures.
set -u
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

"$tool" --test-area 3 >out.txt 2>err.txt; code=$?
check "unsupported test area exits 2" '[ $code -eq 2 ]'
check "one error line then the usage" 'head -n1 err.txt | grep -q "^lorvanta-sweep: --test-area takes 1, 2, 4 or 8" && grep -q "^usage:" err.txt'
check "nothing on stdout" '[ ! -s out.txt ]'

echo keep >existing.csv
"$tool" --csv existing.csv --fast >out.txt 2>err.txt; code=$?
check "existing CSV refused with exit 2" '[ $code -eq 2 ] && grep -q "exists already" err.txt'
check "existing CSV untouched" '[ "$(cat existing.csv)" = keep ]'

"$tool" --csv no-such-dir/x.csv >out.txt 2>err.txt; code=$?
check "unwritable CSV path refused with exit 2" '[ $code -eq 2 ] && grep -q "cannot create" err.txt'

"$tool" --bogus >/dev/null 2>err.txt; code=$?
check "unknown option exits 2" '[ $code -eq 2 ] && grep -q "unknown option" err.txt'

"$tool" --help >out.txt; code=$?
check "help exits 0 with the usage" '[ $code -eq 0 ] && grep -q -- "--block-step" out.txt'

"$tool" --test-area 1 --block-step 16 --fast --csv curves.csv >out.txt 2>err.txt; code=$?
check "quick sweep exits 0" '[ $code -eq 0 ]'
check "CSV has a header and 63 rows of nonzero rates" '[ "$(wc -l <curves.csv)" -eq 64 ] && ! tail -n +2 curves.csv | grep -q ",0\(,\|$\)"'
check "summary shows the clock line and nine figures" 'grep -q "^Taktfrequenz: [0-9]*\.[0-9][0-9][0-9] MHz$" out.txt && [ "$(grep -c ": [0-9]*\.[0-9][0-9][0-9] GiB/s$\|: none" out.txt)" -eq 9 ]'
check "no progress when stderr is not a terminal" '[ ! -s err.txt ]'

"$tool" --test-area 1 --block-step 16 --fast --json >out.json 2>/dev/null; code=$?
check "JSON run exits 0 and names the clock" '[ $code -eq 0 ] && grep -q "\"clockHz\": [1-9]" out.json'

exit $fail
