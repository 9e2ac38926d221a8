#!/usr/bin/env bash
# End-to-end test of Lorvanta.exe under Wine on a virtual X display: starts
# its own Xvfb on a free display number and its own wineserver in a copy of
# the project's Wine prefix, runs the program with the driver once per
# scenario, and checks the driver's verdict and the program's exit code.
# Everything it started is ended on exit, also on failure.
#
# usage: run_e2e.sh Lorvanta.exe lorvanta_e2e_driver.exe [scenario...]
#   scenarios: main stress (default: both)
set -uo pipefail

program=$(readlink -f "$1")
driver=$(readlink -f "$2")
shift 2
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(main stress)

source_prefix="${LORVANTA_WINEPREFIX:-${HOME:-/root}/.lorvanta-wine}"
work=$(mktemp -d /tmp/lorvanta-e2e.XXXXXX)
xvfb_pid=""
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$work/prefix"
# The loader for the program's machine (the PE header's machine field, 0x8664
# for x86-64): wine64 for the 64-bit build, the 32-bit loader for Lorvanta.exe
# as users run it.
machine=$(od -An -tx2 -j $(( $(od -An -tu4 -j 60 -N 4 "$program" 2>/dev/null) + 4 )) -N 2 "$program" 2>/dev/null | tr -d ' ')
if [ "$machine" = "8664" ] && [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine
else
  wine=wine
fi

cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A copy of the prefix, so that this test's wineserver is its own and ending
# it touches nothing else that runs in the project's prefix.
cp -a --reflink=auto "$source_prefix" "$WINEPREFIX" || { echo "e2e: cannot copy the Wine prefix $source_prefix"; exit 1; }

display=""
for n in $(seq 90 190); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "e2e: no free X display"; exit 1; }
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "e2e: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$display"
wineserver -p >/dev/null 2>&1

failed=0
for scenario in "${scenarios[@]}"; do
  echo "=== e2e: $scenario"
  dir="$work/$scenario"
  mkdir -p "$dir"
  cd "$dir" || exit 1
  "$wine" "$program" >"$dir/program.log" 2>&1 &
  program_pid=$!
  timeout 600 "$wine" "$driver" "$scenario"
  driver_status=$?
  # The driver ends with WM_CLOSE; the program must then end by itself.
  program_status=""
  for _ in $(seq 300); do
    if ! kill -0 "$program_pid" 2>/dev/null; then wait "$program_pid"; program_status=$?; break; fi
    sleep 0.1
  done
  if [ -z "$program_status" ]; then
    echo "FAIL: Lorvanta.exe still runs 30 s after the driver ended"
    kill "$program_pid" 2>/dev/null
    failed=1
  elif [ "$program_status" -ne 0 ]; then
    echo "FAIL: Lorvanta.exe exit code $program_status (0 expected)"
    failed=1
  else
    echo "ok  : Lorvanta.exe ended with exit code 0"
  fi
  if [ "$driver_status" -ne 0 ]; then
    echo "FAIL: $scenario: driver status $driver_status"
    failed=1
    # Keep the evidence of a failed run.
    keep="${LORVANTA_E2E_KEEP:-/tmp/lorvanta-e2e-failed}"
    mkdir -p "$keep" && cp -a "$dir" "$keep/" && echo "e2e: screenshots kept in $keep/$scenario"
  fi
  cd "$work" || exit 1
done
exit $failed
