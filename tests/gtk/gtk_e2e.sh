#!/usr/bin/env bash
# End-to-end test of the Linux desktop program: runs `lorvanta` on a private
# Xvfb display in an empty working directory, works its menu with the
# keyboard only (Alt+mnemonic, arrow keys, Return) as a user would, checks the
# screenshots it writes, counts the sweeps it starts, and closes it the way a
# window manager's close button does. Two runs: the main scenario and a
# stress run of 200 block-step and test-area changes while sweeps run.
#
# usage: gtk_e2e.sh LORVANTA E2E_TOOL
# Exit code 0 when every check passed.
# The key sequences are word lists, split on purpose:
# shellcheck disable=SC2046
set -uo pipefail

program=$(realpath "$1")
tool=$(realpath "$2")
work=$(mktemp -d)
xvfb_pid=
app_pid=
failed=0
passed=0

cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

ok() { echo "ok  : $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
expect() {  # expect DESCRIPTION COMMAND...: one shell-level check
  local what=$1; shift
  if "$@"; then ok "$what"; else fail "$what"; fi
}
run_tool() {  # the checker prints its own ok/FAIL lines; its exit code counts the failures
  local out
  out=$("$tool" "$@")
  local n=$?
  echo "$out"
  passed=$((passed + $(grep -c '^ok  :' <<<"$out")))
  failed=$((failed + n))
}

# A display of our own: Xvfb picks a free number and reports it.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
if [ ! -s "$work/display" ]; then
  echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1
fi
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY
unset WAYLAND_DISPLAY
echo "display $DISPLAY"

mkdir "$work/run"
cd "$work/run" || exit 1

# Keyboard ------------------------------------------------------------------------

repeat() { local i; for ((i = 0; i < $2; ++i)); do printf '%s ' "$1"; done; }
# Each sequence opens a menu by its mnemonic and ends with the menu closed.
block_step_keys() { echo alt+e b $(repeat Down "$1") Return; }        # 0..4: 1 KB .. 16 KB
test_area_keys() { echo alt+e Down Right $(repeat Down "$1") Return; } # 0..3: 1 MB .. 8 MB
power_keys() { echo alt+e Down Down Return; }
fast_keys() { echo alt+e Down Down Down Return; }
refresh_keys() { echo alt+a a $(repeat Down "$1") Return; }            # 0..4: 1 s .. Sofort
cache_keys() { echo alt+a c; }
screenshot_keys() { echo alt+a s; }
keys() { xdotool key --delay 12 "$@"; }

# Waits until FILE exists and has stopped growing.
wait_for_file() {
  local size=-1 now
  for _ in $(seq 100); do
    if [ -f "$1" ]; then
      now=$(stat -c %s "$1")
      [ "$now" = "$size" ] && [ "$now" -gt 54 ] && return 0
      size=$now
    fi
    sleep 0.1
  done
  return 1
}

next=0
# shot [KEYS...]: types KEYS (if any) and the screenshot command in one go;
# the picture must land in the next number.
shot() {
  name="screenshot-$next.bmp"
  next=$((next + 1))
  [ -e "$name" ] && fail "$name exists before its screenshot"
    keys "$@" $(screenshot_keys)
  wait_for_file "$name" || fail "$name written by the screenshot command"
}

# Takes screenshots until one shows the three curves (or TIMEOUT seconds pass)
# and checks that one.
wait_for_curves() {
  local deadline=$((SECONDS + $1))
  while :; do
    sleep 1.5
    shot
    "$tool" has-curves "$name" && break
    [ $SECONDS -ge $deadline ] && break
  done
  run_tool curves "$name" measured
}

start_program() {
  "$program" "$@" >"$work/program.log" 2>&1 &
  app_pid=$!
  wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Lorvanta$' | head -n1)
  if [ -z "$wid" ]; then
    fail "a window titled Lorvanta appears within 30 s"; cat "$work/program.log"; exit 1
  fi
  ok "a window titled Lorvanta appears (0x$(printf %x "$wid"))"
  xdotool windowfocus --sync "$wid"
  sleep 0.5
}

# Closes the window with WM_DELETE_WINDOW; the process must end with 0.
close_program() {
  run_tool close "$wid"
  local code=
  for _ in $(seq 300); do
    if ! kill -0 "$app_pid" 2>/dev/null; then wait "$app_pid"; code=$?; break; fi
    sleep 0.1
  done
  if [ -z "$code" ]; then
    fail "the program ends within 30 s of the close request"; kill -9 "$app_pid"
  else
    expect "the program ends after the close request with exit code 0 (got $code)" [ "$code" -eq 0 ]
  fi
  app_pid=
  expect "its window is gone" bash -c "! xwininfo -id $wid >/dev/null 2>&1"
}

alive() { kill -0 "$app_pid" 2>/dev/null && xwininfo -id "$wid" >/dev/null 2>&1; }

# Main scenario ---------------------------------------------------------------------

echo "--- main scenario"
# Arguments change nothing and are not refused.
start_program --no-such-option extra-argument
props=$(xprop -id "$wid")
expect "window class lorvanta/Lorvanta, as the desktop file names it" grep -q 'WM_CLASS(STRING) = "lorvanta", "Lorvanta"' <<<"$props"
has_icons() { local s; for s in 16 24 32 48; do grep -qF "Icon ($s x $s)" <<<"$props" || return 1; done; }
expect "window icon in 16, 24, 32 and 48 pixels" has_icons
geometry=$(xwininfo -id "$wid")
window_width=$(awk '/Width:/ {print $2}' <<<"$geometry")
window_height=$(awk '/Height:/ {print $2}' <<<"$geometry")

# Enter and Escape do not close the window.
keys Return Escape
sleep 1
expect "Enter and Escape leave the window open" alive

shot
run_tool layout "$name" 684 449
menu_height=$((window_height - 449))
expect "window ${window_width}x${window_height}: the client area 684x449 below a menu bar of $menu_height pixels" \
  [ "$window_width" -eq 684 -a "$menu_height" -gt 10 -a "$menu_height" -lt 60 ]

# The smallest sweeps: 16 KB steps over 1 MB, fast mode. The screenshot right
# after the test-area change shows flat curves.
keys $(block_step_keys 4) $(fast_keys)
shot $(test_area_keys 0)
run_tool curves "$name" flat
wait_for_curves 20
measured=$name
run_tool layout "$measured"

# Cache marks on, a screenshot, marks off again.
shot $(cache_keys)
run_tool marks "$measured" "$name" 0x100000
keys $(cache_keys)

# File numbers: 0, 1 and 2 exist; a removed file's number is taken first.
expect "screenshot-0, -1 and -2 exist" [ -f screenshot-0.bmp -a -f screenshot-1.bmp -a -f screenshot-2.bmp ]
rm screenshot-1.bmp
keys $(screenshot_keys)
expect "the gap is filled: screenshot-1.bmp written again" wait_for_file screenshot-1.bmp
expect "and screenshot-$next.bmp not written" [ ! -e "screenshot-$next.bmp" ]

# A block-step choice, even of the step already chosen, starts the curves
# afresh; the next sweeps draw them again.
shot $(block_step_keys 4)
run_tool curves "$name" flat
wait_for_curves 20

# Sweeps keep coming: each must be noticed by the window before the next can
# start, so a lost notice would end them for good.
sweeps=$("$tool" sweeps "$app_pid" 15000)
expect "sweeps keep coming: $sweeps started in 15 s (at least 10 expected)" [ "$sweeps" -ge 10 ]
# The same while the window repaints as fast as it can ("Sofort").
keys $(refresh_keys 4)
sweeps=$("$tool" sweeps "$app_pid" 15000)
expect "under continuous repaints: $sweeps sweeps started in 15 s (at least 10 expected)" [ "$sweeps" -ge 10 ]
shot
run_tool layout "$name" 684 449
keys $(refresh_keys 1)

# The window can be resized; the screenshot follows the client area.
xdotool windowsize --sync "$wid" 520 400
sleep 1
shot
run_tool layout "$name" 520 $((400 - menu_height))

# Choosing 2 MB resets the curves; the next sweeps draw them again.
shot $(test_area_keys 1)
run_tool curves "$name" flat
wait_for_curves 30
# The cache marks over 2 MB, where a second-level cache of 1 MB is inside the plot.
measured=$name
shot $(cache_keys)
run_tool marks "$measured" "$name" 0x200000
keys $(cache_keys)

# The power-saving defeat off and on again; the window goes on measuring.
keys $(power_keys)
sleep 0.5
keys $(power_keys)
expect "the window still runs after switching the power-saving defeat off and on" alive

close_program
# LORVANTA_E2E_ARTIFACTS=DIR keeps the screenshots for a look.
keep() { [ -n "${LORVANTA_E2E_ARTIFACTS:-}" ] && mkdir -p "$LORVANTA_E2E_ARTIFACTS/$1" && cp screenshot-*.bmp "$LORVANTA_E2E_ARTIFACTS/$1/"; rm -f screenshot-*.bmp; }
keep main

# Stress ------------------------------------------------------------------------------

echo "--- stress: 200 block-step and test-area changes while sweeps run"
next=0
start_program
keys $(fast_keys)
"$tool" sweeps "$app_pid" 60000 >"$work/stress-sweeps" &
counter_pid=$!
random=12345
stress_start=$SECONDS
for ((change = 0; change < 200; ++change)); do
  random=$(((random * 1103515245 + 12345) & 0xffffffff))
  pick=$((random >> 16))
    if ((change % 2 == 0)); then keys $(block_step_keys $((pick % 5))); else keys $(test_area_keys $((pick % 4))); fi
  sleep "0.$(printf %03d $((pick % 120)))"
done
echo "200 changes typed in $((SECONDS - stress_start)) s"
expect "the program survived the changes" alive
# The window still works: the smallest settings, then curves again.
keys $(block_step_keys 4)
shot $(test_area_keys 0)
run_tool curves "$name" flat
wait_for_curves 20
kill "$counter_pid" 2>/dev/null
wait "$counter_pid" 2>/dev/null
sweeps=$(cat "$work/stress-sweeps")
expect "sweeps ran while the settings changed: $sweeps started (at least 5 expected)" [ "${sweeps:-0}" -ge 5 ]
close_program
keep stress

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
