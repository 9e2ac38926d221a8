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

# The window's picture: an existing file is refused before anything is measured.
echo keep >taken.bmp
"$tool" --picture taken.bmp --fast >out.txt 2>err.txt; code=$?
check "existing picture file refused with exit 2" '[ $code -eq 2 ] && head -n1 err.txt | grep -q "exists already" && grep -q "^usage:" err.txt && [ ! -s out.txt ]'
check "existing picture file untouched" '[ "$(cat taken.bmp)" = keep ]'
"$tool" --csv both.csv --picture taken.bmp >/dev/null 2>&1
check "a refused picture leaves no CSV behind" '[ ! -e both.csv ]'

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

# 32-bit and 16-bit little-endian header fields, and the blue green red bytes
# of pixel (x, y) of a bottom-up BMP: pixel FILE X Y HEIGHT ROWBYTES.
field32() { od -An -tu4 -j "$2" -N 4 "$1" | tr -d ' '; }
field16() { od -An -tu2 -j "$2" -N 2 "$1" | tr -d ' '; }
pixel() { od -An -tu1 -j $((54 + ($4 - 1 - $3) * $5 + $2 * 3)) -N 3 "$1" | tr -s ' ' | sed 's/^ //'; }

"$tool" --test-area 1 --block-step 16 --fast --picture pic.bmp --size 321x200 >out.txt 2>err.txt; code=$?
check "picture run exits 0 and names its file" '[ $code -eq 0 ] && grep -q "picture written to pic.bmp (321x200)" err.txt'
check "picture is a 24-bit bottom-up BMP of the given size, rows filled to 4 bytes" '[ "$(head -c2 pic.bmp)" = BM ] && [ "$(field32 pic.bmp 18)" = 321 ] && [ "$(field32 pic.bmp 22)" = 200 ] && [ "$(field16 pic.bmp 28)" = 24 ] && [ "$(field32 pic.bmp 34)" = $((964 * 200)) ] && [ "$(stat -c %s pic.bmp)" -eq $((54 + 964 * 200)) ]'

# Without FILE: the first free screenshot-N.bmp, at the window's default size.
mkdir shots && cd shots
echo keep >screenshot-0.bmp
echo keep >screenshot-2.bmp
"$tool" --test-area 1 --block-step 16 --fast --picture >/dev/null 2>err.txt; code=$?
check "without FILE the gap screenshot-1.bmp is filled" '[ $code -eq 0 ] && grep -q "picture written to screenshot-1.bmp (684x449)" err.txt && [ "$(stat -c %s screenshot-1.bmp)" -eq $((54 + 2052 * 449)) ]'
check "numbered files that exist are untouched" '[ "$(cat screenshot-0.bmp)" = keep ] && [ "$(cat screenshot-2.bmp)" = keep ]'
check "picture shows the button face around the black panel" '[ "$(pixel screenshot-1.bmp 0 0 449 2052)" = "240 240 240" ] && [ "$(pixel screenshot-1.bmp 10 52 449 2052)" = "0 0 0" ] && [ "$(pixel screenshot-1.bmp 300 57 449 2052)" = "240 240 240" ]'
cd ..

exit $fail
