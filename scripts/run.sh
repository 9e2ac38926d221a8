#!/usr/bin/env bash
# Sets up what the Linux programs need, builds them and runs the benchmark:
#   run.sh          with a display: the window (lorvanta); without one: the
#                   headless survey of every memory level (lorvanta-sweep
#                   --survey --picture), its table on stdout and its picture
#                   in the directory this was started from
#   run.sh ARGS...  lorvanta-sweep ARGS..., display or not (see --help)
# Relative paths in ARGS mean the directory this was started from. The build's
# output goes to logs under build/; a failed build shows the log's tail.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
repo=$PWD
bash scripts/setup.sh >&2

if [ $# -gt 0 ]; then
  target=lorvanta-sweep
  arguments=("$@")
elif [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  target=lorvanta
  arguments=()
else
  target=lorvanta-sweep
  arguments=(--survey --picture)
fi

# The programs alone: the tests and benchmarks are built by scripts/test.sh.
mkdir -p build
cmake --preset linux -DLORVANTA_TESTS=OFF -DLORVANTA_BENCH=OFF >build/run-configure.log 2>&1 ||
  { tail -n 40 build/run-configure.log >&2; exit 1; }
cmake --build --preset linux --target "$target" -j "$(nproc 2>/dev/null || echo 2)" >build/run-build.log 2>&1 ||
  { tail -n 40 build/run-build.log >&2; exit 1; }
cd "$caller"
exec "$repo/build/linux/app/$target" ${arguments[@]+"${arguments[@]}"}
