#!/usr/bin/env bash
# Installs, idempotently, what a fresh Debian 12 machine lacks to build and test
# Lorvanta natively and for 32-bit Windows, and creates the headless Wine prefix
# that the Windows tests run in.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64
  xvfb xdotool x11-utils icoutils imagemagick desktop-file-utils
  googletest libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libhwloc-dev likwid
  libgtk-3-dev libcairo2-dev
  libhwloc-dev
  fonts-liberation fonts-wine fonts-dejavu-core
  poppler-utils
)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_if_needed dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_if_needed apt-get update -qq
  DEBIAN_FRONTEND=noninteractive sudo_if_needed apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
elif [ "${need_update:-0}" = 1 ]; then
  sudo_if_needed apt-get update -qq
fi

# The Wine prefix the cross-built tests run in: created once, headless.
export WINEPREFIX="${LORVANTA_WINEPREFIX:-${HOME:-/root}/.lorvanta-wine}"
if [ ! -f "$WINEPREFIX/system.reg" ] || [ "${1:-}" = "--new-prefix" ]; then
  echo "setup: creating Wine prefix $WINEPREFIX"
  # wine64 where it exists: it also works where the kernel runs no 32-bit code.
  loader=wine
  [ -x /usr/lib/wine/wine64 ] && loader=/usr/lib/wine/wine64 && export WINELOADER=$loader WINEARCH=win64
  WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= "$loader" wineboot -i >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
fi
echo "setup: done"
