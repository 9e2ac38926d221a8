#!/usr/bin/env bash
# Installs, idempotently, what a fresh Debian 12 machine lacks.
#   setup.sh           what building and running the Linux programs needs
#   setup.sh --tests   that, and what the tests need besides: GoogleTest and
#                      Google Benchmark, the Windows cross compilers, Wine (with
#                      the i386 architecture) and its headless prefix, Xvfb
#                      (with xauth, which xvfb-run needs and only recommends),
#                      likwid and the checkers of pictures, files and the manual
#   setup.sh --new-prefix   as --tests, and recreates the Wine prefix
set -euo pipefail

tests=0
new_prefix=0
for arg in "$@"; do
  case $arg in
    --tests) tests=1 ;;
    --new-prefix) tests=1; new_prefix=1 ;;  # the prefix belongs to the tests
    *) echo "setup: unknown argument '$arg' (takes --tests, --new-prefix)" >&2; exit 2 ;;
  esac
done

# The Linux programs: compiler and build tools, the libraries they link, the
# header-only libraries, and the fonts the pictures draw with (Liberation Sans
# for Arial, Wine's free Tahoma from its font package; no Wine comes with it).
run_packages=(
  build-essential cmake ninja-build pkg-config
  libgtk-3-dev libcairo2-dev libhwloc-dev
  libcli11-dev nlohmann-json3-dev
  fonts-liberation fonts-wine fonts-dejavu-core
)
# The tests and benchmarks, on top of those.
test_packages=(
  googletest libbenchmark-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64
  xvfb xauth xdotool x11-utils icoutils imagemagick desktop-file-utils likwid
  man-db groff-base poppler-utils python3
)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

packages=("${run_packages[@]}")
need_update=0
if [ "$tests" -eq 1 ]; then
  packages+=("${test_packages[@]}")
  # wine32 is an i386 package.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_if_needed dpkg --add-architecture i386
    need_update=1
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_if_needed apt-get update -qq
  DEBIAN_FRONTEND=noninteractive sudo_if_needed apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
elif [ "$need_update" -eq 1 ]; then
  sudo_if_needed apt-get update -qq
fi

# The Wine prefix the cross-built tests run in: created once, headless.
if [ "$tests" -eq 1 ]; then
  export WINEPREFIX="${LORVANTA_WINEPREFIX:-${HOME:-/root}/.lorvanta-wine}"
  if [ ! -f "$WINEPREFIX/system.reg" ] || [ "$new_prefix" -eq 1 ]; then
    echo "setup: creating Wine prefix $WINEPREFIX"
    # wine64 where it exists: it also works where the kernel runs no 32-bit code.
    loader=wine
    [ -x /usr/lib/wine/wine64 ] && loader=/usr/lib/wine/wine64 && export WINELOADER=$loader WINEARCH=win64
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= "$loader" wineboot -i >/dev/null 2>&1 || true
    wineserver -w 2>/dev/null || true
  fi
fi
echo "setup: done"
