#!/usr/bin/env bash
# End-to-end test of a desktop program, Lorvanta.exe under Wine or the Linux
# program `lorvanta`: on a private Xvfb display, once per scenario, in an
# empty directory and with arguments it must ignore, the driver works the
# program's menu and checks its screenshots; the program must then end by
# itself with exit code 0. Everything started here is ended on exit.
#
# usage: run_e2e.sh PROGRAM DRIVER [scenario...]   (scenarios: main stress)
set -uo pipefail

program=$(readlink -f "$1")
driver=$(readlink -f "$2")
shift 2
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(main stress)
work=$(mktemp -d /tmp/lorvanta-e2e.XXXXXX)
xvfb_pid=""
wine=()  # how program and driver start: directly, or by Wine's loader

cleanup() {
  [ ${#wine[@]} -gt 0 ] && wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [[ $program == *.exe ]]; then
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$work/prefix"
  # A copy of the project's prefix, so that ending this test's wineserver
  # touches nothing else.
  cp -a --reflink=auto "${LORVANTA_WINEPREFIX:-${HOME:-/root}/.lorvanta-wine}" "$WINEPREFIX" || exit 1
  # wine64 for an x86-64 program (machine 0x8664 in the PE header).
  machine=$(od -An -tx2 -j $(( $(od -An -tu4 -j 60 -N 4 "$program") + 4 )) -N 2 "$program" | tr -d ' ')
  wine=(wine)
  [ "$machine" = 8664 ] && [ -x /usr/lib/wine/wine64 ] && wine=(/usr/lib/wine/wine64) && export WINELOADER=${wine[0]}
fi

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY
[ ${#wine[@]} -gt 0 ] && wineserver -p >/dev/null 2>&1

failed=0
for scenario in "${scenarios[@]}"; do
  echo "=== e2e: $scenario"
  mkdir "$work/$scenario" && cd "$work/$scenario" || exit 1
  "${wine[@]}" "$program" --no-such-option extra-argument >program.log 2>&1 &
  program_pid=$!
  timeout 600 "${wine[@]}" "$driver" "$scenario" "$program_pid" || { echo "FAIL: $scenario: driver status $?"; failed=1; }
  status=""
  for _ in $(seq 300); do
    kill -0 "$program_pid" 2>/dev/null || { wait "$program_pid"; status=$?; break; }
    sleep 0.1
  done
  [ -n "$status" ] || { kill "$program_pid"; status="none, still running 30 s after the close request"; }
  [ "$status" = 0 ] && echo "ok  : the program ended with exit code 0" || { echo "FAIL: exit code $status"; failed=1; }
  if [ "$failed" -ne 0 ] && [ -n "${LORVANTA_E2E_KEEP:-}" ]; then
    mkdir -p "$LORVANTA_E2E_KEEP" && cp -a "$work/$scenario" "$LORVANTA_E2E_KEEP/"
  fi
done
exit $failed
