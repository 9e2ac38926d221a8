#!/usr/bin/env bash
# LorvantaSurvey.exe as a user works it, under 64-bit Wine on a private Xvfb
# display: a survey to 64 MiB started with Ctrl+R whose picture changes while
# it runs and that Escape stops, then a short one to 256 KiB started with F5
# and run to the end; its picture and its JSON saved by typing a path into the
# save dialog, the JSON saved once more over the first (the dialog asks first);
# Ctrl+Q ending the program with exit code 0. The JSON has the keys, settings,
# levels and kernels of lorvanta-sweep.exe --survey --json with the same
# settings. Everything started here is ended on exit.
#
# usage: survey_win32_e2e.sh LorvantaSurvey.exe lorvanta-sweep.exe
set -uo pipefail
[ -n "${LORVANTA_E2E_DISPLAY:-}" ] ||
  LORVANTA_E2E_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" "$@"
program=$(readlink -f "$1")
cli=$(readlink -f "$2")
work=$(mktemp -d /tmp/lorvanta-survey-win32-e2e.XXXXXX)
wine=/usr/lib/wine/wine64
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$work/prefix" WINELOADER=$wine
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# A copy of the project's prefix, so that ending this test's wineserver
# touches nothing else.
cp -a --reflink=auto "${LORVANTA_WINEPREFIX:-${HOME:-/root}/.lorvanta-wine}" "$WINEPREFIX" || exit 1
cd "$work" || exit 1
# The work folder as the program sees it: Wine's drive Z: is the root.
winwork="Z:${work//\//\\}"

fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }
title() { xdotool getwindowname "$wid" 2>/dev/null; }
# Waits up to $2 seconds for the title to be $1.
wait_title() {
  local i
  for ((i = 0; i < $2 * 10; ++i)); do [ "$(title)" = "$1" ] && return 0; sleep 0.1; done
  return 1
}
# Waits up to $2 seconds for $1 windows named $3 (a pattern).
wait_windows() {
  local i
  for ((i = 0; i < $2 * 10; ++i)); do [ "$(xdotool search --name "$3" 2>/dev/null | wc -l)" -ge "$1" ] && return 0; sleep 0.1; done
  return 1
}
wait_file() { local i; for ((i = 0; i < 100; ++i)); do [ -s "$1" ] && return 0; sleep 0.1; done; return 1; }
keys() { xdotool key --delay 150 "$@"; sleep 0.4; }
# Settings > Largest size > the choice $1 places down the list (0: the default).
largest_size() { keys alt+t l; for ((i = 0; i < $1; ++i)); do keys Down; done; keys Return; }
# Types the path of $work/$1 into the save dialog titled $2 and presses Enter.
type_path() {
  wait_windows 1 20 "^$2\$" || return 1
  sleep 0.5
  keys ctrl+a; xdotool type --delay 20 "$winwork\\$1"; keys Return
}

"$wine" "$program" >app.log 2>&1 &
pid=$!
wait_windows 1 60 "^Lorvanta Survey$" || { echo "FAILED: no window \"Lorvanta Survey\" within 60 s"; exit 1; }
wid=$(xdotool search --name "^Lorvanta Survey$" | head -1)
xdotool windowfocus "$wid" 2>/dev/null
sleep 1

largest_size 3  # 64 MiB
keys ctrl+r
check "Ctrl+R starts the survey" 'wait_title "Lorvanta Survey (measuring)" 10'
sleep 1.5
import -window "$wid" during1.png; sleep 1; import -window "$wid" during2.png
check "the picture changes while the survey runs" \
  '[ "$(compare -metric AE during1.png during2.png null: 2>&1)" != 0 ]'
keys Escape
check "Escape stops the survey" 'wait_title "Lorvanta Survey" 5'

largest_size 1  # 256 KiB
keys F5
check "F5 starts it again and it runs to the end" \
  'wait_title "Lorvanta Survey (measuring)" 10 && wait_title "Lorvanta Survey" 120'

keys ctrl+s
type_path picture.png "Save the picture"
check "Ctrl+S saves the picture as a PNG" \
  'wait_file picture.png && [ "$(head -c 8 picture.png | od -An -tx1 | tr -d " ")" = 89504e470d0a1a0a ]'
keys alt+f j
type_path survey.json "Save the JSON"
check "File > Save JSON writes the JSON" 'wait_file survey.json && python3 -m json.tool survey.json >/dev/null'
# Saved over a file of other content: the dialog asks, Enter answers Yes.
cp survey.json first.json && echo replaced-by-the-save >survey.json
keys alt+f j
type_path survey.json "Save the JSON"
check "the save dialog asks before replacing a file" 'wait_windows 2 20 "^Save the JSON$"'
keys Return
check "saving over an existing file replaces it" \
  'for ((i = 0; i < 100; ++i)); do cmp -s survey.json first.json && break; sleep 0.1; done; cmp -s survey.json first.json'

"$wine" "$cli" --survey --max-size 256K --json >cli.json 2>cli.log
check "the saved JSON has the headless tool's keys, settings, levels and kernels" 'python3 - survey.json cli.json <<"PY"
import json, sys
saved, cli = (json.load(open(p)) for p in sys.argv[1:3])
def shape(v):
    if isinstance(v, dict): return {k: shape(x) for k, x in v.items() if k != "kernels"}
    if isinstance(v, list): return [shape(v[0])] if v else []
    return v is None
assert list(saved) == list(cli), (list(saved), list(cli))
assert shape(saved["runs"]) == shape(cli["runs"])
assert saved["settings"] == cli["settings"], (saved["settings"], cli["settings"])
names = lambda d: [[l["name"] for l in r["levels"]] for r in d["runs"]]
assert names(saved) == names(cli) and names(saved)[0], (names(saved), names(cli))
kernels = lambda d: [sorted((k, v["group"], v["isa"]) for k, v in r["curves"]["kernels"].items()) for r in d["runs"]]
assert kernels(saved) == kernels(cli) and kernels(saved)[0], (kernels(saved), kernels(cli))
lengths = lambda d: [r["curves"]["lengths_bytes"] for r in d["runs"]]
assert lengths(saved) == lengths(cli), (lengths(saved), lengths(cli))
PY'
check "no temporary file is left" '[ -z "$(ls -A | grep partial)" ]'

keys ctrl+q
for ((i = 0; i < 300; ++i)); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  echo "FAILED: Ctrl+Q ends the program (still running 30 s later)"; fail=1
else
  wait "$pid"; code=$?
  pid=
  check "Ctrl+Q ends the program with exit code 0" '[ $code -eq 0 ]'
fi
exit $fail
