#!/usr/bin/env bash
# End-to-end test of a desktop program, Lorvanta.exe under Wine or the Linux
# program `lorvanta`: on a private Xvfb display, once per scenario, in an
# empty directory and with arguments it must ignore, the driver works the
# program's menu and checks its screenshots; the program must then end by
# itself with exit code 0. Everything started here is ended on exit.
#
# usage: run_e2e.sh PROGRAM DRIVER [scenario...]   (scenarios: main stress)
set -uo pipefail
# A private display for the whole run.
[ -n "${LORVANTA_E2E_DISPLAY:-}" ] ||
  LORVANTA_E2E_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" "$@"

program=$(readlink -f "$1")
driver=$(readlink -f "$2")
shift 2
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(main stress)
work=$(mktemp -d /tmp/lorvanta-e2e.XXXXXX)
wine=()  # how program and driver start: directly, or by Wine's loader

cleanup() {
  [ ${#wine[@]} -gt 0 ] && wineserver -k >/dev/null 2>&1
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
  wineserver -p >/dev/null 2>&1
fi

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
done
exit $failed
