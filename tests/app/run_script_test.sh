#!/usr/bin/env bash
# scripts/run.sh's choice of program, without setting up or building anything:
# a copy of the script runs in a scratch repository whose setup does nothing
# and whose cmake, instead of building, leaves a stand-in for the target it
# was asked to build. The stand-in prints its name, its working directory and
# its arguments, so each row checks what was built, what ran, from where and
# with which arguments; a failed build must show its log's tail.
# usage: run_script_test.sh SOURCE_DIR
set -u
source_dir=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
repo=$scratch/repo
caller="$scratch/caller dir"
mkdir -p "$repo/scripts" "$caller" "$scratch/bin"
cp "$source_dir/scripts/run.sh" "$repo/scripts/"
printf '#!/bin/sh\nexit 0\n' >"$repo/scripts/setup.sh"
cat >"$scratch/bin/cmake" <<'FAKE'
#!/usr/bin/env bash
[ "$1" = --build ] || exit 0
[ -z "${FAKE_BUILD_ERROR:-}" ] || { echo "$FAKE_BUILD_ERROR"; exit 1; }
while [ "$1" != --target ]; do shift; done
mkdir -p build/linux/app
cat >"build/linux/app/$2" <<'PROGRAM'
#!/usr/bin/env bash
printf '%s|%s|' "$(basename "$0")" "$PWD"; for word; do printf '[%s]' "$word"; done
PROGRAM
chmod +x "build/linux/app/$2"
FAKE
chmod +x "$scratch/bin/cmake"
fail=0

# DISPLAY|WAYLAND_DISPLAY|arguments|what must run: program|directory|[argument]...
while IFS='|' read -r display wayland arguments expected; do
  eval "words=($arguments)"
  rm -rf "$repo/build"
  got=$(cd "$caller" && DISPLAY=$display WAYLAND_DISPLAY=$wayland PATH="$scratch/bin:$PATH" \
        bash ../repo/scripts/run.sh ${words[@]+"${words[@]}"} 2>/dev/null)
  want=${expected//CALLER/$caller}
  if [ "$got" = "$want" ]; then echo "ok: '$display' '$wayland' ($arguments)"; else
    echo "FAILED: '$display' '$wayland' ($arguments): ran '$got', not '$want'"; fail=1; fi
done <<'TABLE'
|||lorvanta-sweep|CALLER|[--survey][--picture]
:7|||lorvanta|CALLER|
|wayland-0||lorvanta|CALLER|
||--test-area 8|lorvanta-sweep|CALLER|[--test-area][8]
:7||--survey --threads all --csv 'my rates.csv'|lorvanta-sweep|CALLER|[--survey][--threads][all][--csv][my rates.csv]
TABLE

# A failed build: no program runs, the exit is non-zero and the log's tail shows.
err=$(cd "$caller" && DISPLAY= WAYLAND_DISPLAY= FAKE_BUILD_ERROR="error: planted" PATH="$scratch/bin:$PATH" \
      bash ../repo/scripts/run.sh 2>&1 >/dev/null); code=$?
if [ $code -ne 0 ] && grep -q "error: planted" <<<"$err"; then echo "ok: a failed build shows its log"; else
  echo "FAILED: a failed build: exit $code, stderr '$err'"; fail=1; fi
exit $fail
