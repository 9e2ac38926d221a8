#!/usr/bin/env bash
# lorvanta-survey as a user works it, on a private Xvfb display: a survey to
# 64 MiB started from the keyboard whose picture changes while it runs and
# that Escape stops within a second, then a short one to 256 KiB run to the
# end, its picture and JSON saved through the save dialog, Ctrl+Q ending the
# program with 0. The JSON has the keys and levels of lorvanta-sweep --survey
# --json with the same settings.
#
# usage: survey_e2e.sh LORVANTA-SURVEY LORVANTA-SWEEP
set -uo pipefail
[ -n "${LORVANTA_E2E_DISPLAY:-}" ] ||
  LORVANTA_E2E_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" "$@"
program=$(readlink -f "$1")
cli=$(readlink -f "$2")
work=$(mktemp -d /tmp/lorvanta-survey-e2e.XXXXXX)
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cd "$work" || exit 1
export HOME=$work  # the file dialog's recent files stay here
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }
title() { xdotool getwindowname "$wid" 2>/dev/null; }
# Waits up to $2 seconds for the title to be (or, with !, not to be) $1.
wait_title() {
  local want=$1 seconds=$2 i
  for ((i = 0; i < seconds * 10; ++i)); do
    if [[ $want == !* ]]; then [ "$(title)" != "${want#!}" ] && return 0; else [ "$(title)" = "$want" ] && return 0; fi
    sleep 0.1
  done
  return 1
}
keys() { xdotool key --delay 150 "$@"; sleep 0.4; }
# Settings > Largest size > the choice $1 places down the list (0: the default).
largest_size() { keys alt+t l; for ((i = 0; i < $1; ++i)); do keys Down; done; keys Return; }
# Saves through the file dialog the menu keys $@ open, as $work/$name.
save_as() {
  local name=$1; shift
  keys "$@"
  timeout 10 xdotool search --sync --name "^Save the " >/dev/null
  sleep 0.5
  keys ctrl+a; xdotool type --delay 20 "$work/$name"; keys Return
  for ((i = 0; i < 50; ++i)); do [ -s "$work/$name" ] && break; sleep 0.1; done
}

"$program" unused-argument >app.log 2>&1 &
pid=$!
wid=$(xdotool search --sync --name "^Lorvanta Survey$" | head -1)
xdotool windowfocus --sync "$wid" 2>/dev/null
sleep 0.5

largest_size 3  # 64 MiB
keys ctrl+r
check "Ctrl+R starts the survey" 'wait_title "Lorvanta Survey (measuring)" 10'
sleep 1.5
import -window "$wid" during1.png; sleep 0.8; import -window "$wid" during2.png
check "the picture changes while the survey runs" \
  '[ "$(compare -metric AE during1.png during2.png null: 2>&1)" != 0 ]'
keys Escape
check "Escape stops the survey within a second" 'wait_title "Lorvanta Survey" 1'

largest_size 1  # 256 KiB
keys F5
check "F5 starts it again and it runs to the end" \
  'wait_title "Lorvanta Survey (measuring)" 10 && wait_title "Lorvanta Survey" 120'
save_as picture.png ctrl+s
check "Ctrl+S saves the picture as a PNG" '[ "$(head -c 8 picture.png | od -An -tx1 | tr -d " ")" = 89504e470d0a1a0a ]'
save_as survey.json alt+f j
"$cli" --survey --max-size 256K --json >cli.json 2>/dev/null
check "the saved JSON has the headless tool's keys, settings and levels" 'python3 - survey.json cli.json <<"PY"
import json, sys
saved, cli = (json.load(open(p)) for p in sys.argv[1:3])
def shape(v):
    if isinstance(v, dict): return {k: shape(x) for k, x in v.items()}
    if isinstance(v, list): return [shape(v[0])] if v else []
    return v is None
assert list(saved) == list(cli), (list(saved), list(cli))
assert shape(saved["runs"]) == shape(cli["runs"])
assert saved["settings"] == cli["settings"], (saved["settings"], cli["settings"])
names = lambda d: [[l["name"] for l in r["levels"]] for r in d["runs"]]
assert names(saved) == names(cli) and names(saved)[0], (names(saved), names(cli))
PY'
check "no temporary file is left" '[ -z "$(ls -A | grep partial)" ]'
keys ctrl+q
wait "$pid"; code=$?
pid=
check "Ctrl+Q ends the program with exit code 0" '[ $code -eq 0 ]'
exit $fail
