#!/usr/bin/env bash
# Sets up a fresh machine and runs every test: the native build, the sanitizer
# builds, and the Windows builds under Wine. Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --tests || { echo "setup failed"; exit 1; }
export LORVANTA_WINEPREFIX="${LORVANTA_WINEPREFIX:-${HOME:-/root}/.lorvanta-wine}"

passed=0
failed=0
failures=()
step() {  # step NAME COMMAND...: runs one stage and counts it
  local name=$1; shift
  echo "=== $name"
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); failures+=("$name"); fi
}

jobs=$(nproc 2>/dev/null || echo 2)
build() {  # build PRESET [extra configure args]
  local preset=$1; shift
  mkdir -p build
  cmake --preset "$preset" "$@" >"build/$preset.log" 2>&1 || { cat "build/$preset.log"; return 1; }
  cmake --build --preset "$preset" -j "$jobs" >>"build/$preset.log" 2>&1 || { tail -n 60 "build/$preset.log"; return 1; }
}

step "linux build" build linux
step "linux tests" ctest --preset linux
step "gtk end-to-end (Xvfb)" bash tests/e2e/run_e2e.sh build/linux/app/lorvanta build/linux/tests/gtk/lorvanta_gtk_e2e_tool
step "asan build" build asan
step "asan tests" ctest --preset asan -L unit
step "tsan build" build tsan
step "tsan tests" ctest --preset tsan -L threads

# 32-bit Windows: always built; its tests run only where this kernel can
# execute 32-bit code (some virtual machines cannot, and then 32-bit Wine
# cannot start at all). The same tests run as 64-bit programs under wine64.
step "mingw i686 build" build mingw
runs32=0
/lib/ld-linux.so.2 --version >/dev/null 2>&1 && runs32=1
if [ "$runs32" -eq 1 ]; then
  step "mingw i686 tests (Wine)" ctest --preset mingw
else
  echo "=== mingw i686 tests: not run, this kernel executes no 32-bit code (IA-32 emulation off)"
fi
step "mingw x86-64 build" build mingw64
step "mingw x86-64 tests (wine64)" ctest --preset mingw64

# Lorvanta.exe: the resources of both builds, read from the files; then the
# program driven through its menu under Wine on Xvfb: the 32-bit build users
# run, or the 64-bit build where this kernel executes no 32-bit code.
step "Lorvanta.exe resources" build/linux/tests/app/win32_resources_test \
  build/mingw/app/Lorvanta.exe build/mingw64/app/Lorvanta.exe
if [ "$runs32" -eq 1 ]; then
  step "Lorvanta.exe end-to-end (i686, Wine, Xvfb)" bash tests/e2e/run_e2e.sh \
    build/mingw/app/Lorvanta.exe build/mingw/tests/e2e/lorvanta_e2e_driver.exe
else
  step "Lorvanta.exe end-to-end (wine64, Xvfb)" bash tests/e2e/run_e2e.sh \
    build/mingw64/app/Lorvanta.exe build/mingw64/tests/e2e/lorvanta_e2e_driver.exe
fi

echo
if [ "$failed" -gt 0 ]; then echo "failed stages: ${failures[*]}"; fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
