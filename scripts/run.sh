#!/usr/bin/env bash
# Sets up a fresh machine, builds the Linux programs and runs the benchmark
# with its default settings: the window (lorvanta) when a display is there,
# else the headless sweep tool, which shows progress on a terminal and prints
# the figures. Arguments go to the sweep tool (see --help); the window takes
# none.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2
mkdir -p build
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  target=lorvanta
else
  target=lorvanta-sweep
fi
cmake --preset linux >build/run-configure.log 2>&1 || { cat build/run-configure.log >&2; exit 1; }
cmake --build --preset linux --target "$target" -j "$(nproc 2>/dev/null || echo 2)" >build/run-build.log 2>&1 ||
  { tail -n 40 build/run-build.log >&2; exit 1; }
exec "build/linux/app/$target" "$@"
