#!/usr/bin/env bash
# Sets up a fresh machine, builds the Linux programs and runs the benchmark
# with its default settings: the headless sweep tool, which shows progress on
# a terminal and prints the figures. Arguments go to the tool (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2
mkdir -p build
cmake --preset linux >build/run-configure.log 2>&1 || { cat build/run-configure.log >&2; exit 1; }
cmake --build --preset linux --target lorvanta-sweep -j "$(nproc 2>/dev/null || echo 2)" >build/run-build.log 2>&1 ||
  { tail -n 40 build/run-build.log >&2; exit 1; }
exec build/linux/app/lorvanta-sweep "$@"
