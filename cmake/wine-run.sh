#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine in the project's prefix,
# quietly: 64-bit programs with wine64, 32-bit ones with the 32-bit loader.
export WINEPREFIX="${LORVANTA_WINEPREFIX:-${HOME:-/root}/.lorvanta-wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
program="$1"
case "$program" in *.exe) ;; *) [ -f "$program.exe" ] && program="$program.exe" ;; esac
# The PE header's machine field: 0x8664 is x86-64.
machine=$(od -An -tx2 -j $(( $(od -An -tu4 -j 60 -N 4 "$program" 2>/dev/null) + 4 )) -N 2 "$program" 2>/dev/null | tr -d ' ')
if [ "$machine" = "8664" ] && [ -x /usr/lib/wine/wine64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
