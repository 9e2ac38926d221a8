#!/usr/bin/env bash
# The headless tool's manual page: man renders it without a warning, and it
# names every long option that the tool's help texts (exact sweep, survey,
# compare, core-to-core, loaded latency) print, so that an option added to the tool but not to
# the page fails here.
# usage: man_page_test.sh TOOL PAGE
set -u
tool=$1
page=$2
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

warnings=$(man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
check "man renders the page without warnings" '[ -z "$warnings" ] || { echo "$warnings"; false; }'

# The page's text with roff's escaped hyphens as plain ones.
text=$(sed 's/\\-/-/g' "$page")
options=$({ "$tool" --help; "$tool" --survey --help; "$tool" --compare --help; "$tool" --core-to-core --help; "$tool" --loaded-latency --help; } \
  2>/dev/null | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)
check "the help texts name options" '[ "$(echo "$options" | wc -w)" -ge 10 ]'
for option in $options; do
  check "the page names $option" 'grep -qE -- "${option}([^a-z0-9-]|$)" <<<"$text"'
done
exit $fail
