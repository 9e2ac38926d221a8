#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine in the project's prefix, quietly.
export WINEPREFIX="${LORVANTA_WINEPREFIX:-$HOME/.lorvanta-wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
