#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a desktop needs to
# list the program in its application menu: the program, a valid desktop
# entry that starts it by name with its icon, and the icon in the hicolor
# theme at every size, with the artwork of the Windows program's icon file.
#
# usage: install_test.sh BUILD_DIR
set -uo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
passed=0
failed=0
expect() {
  local what=$1; shift
  if "$@"; then echo "ok  : $what"; passed=$((passed + 1)); else echo "FAIL: $what"; failed=$((failed + 1)); fi
}

if ! cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1; then
  cat "$prefix/install.log"; echo "FAIL: cmake --install"; exit 1
fi
desktop=$prefix/share/applications/lorvanta.desktop

expect "bin/lorvanta is an executable" test -x "$prefix/bin/lorvanta"
expect "share/applications/lorvanta.desktop exists" test -f "$desktop"
if command -v desktop-file-validate >/dev/null; then
  expect "desktop-file-validate accepts it" desktop-file-validate "$desktop"
else
  echo "FAIL: desktop-file-validate is missing (scripts/setup.sh installs desktop-file-utils)"; failed=$((failed + 1))
fi
entry() { sed -n "/^\[Desktop Entry\]/,/^\[/ s/^$1=//p" "$desktop"; }
expect "an application entry named Lorvanta" test "$(entry Type)/$(entry Name)" = "Application/Lorvanta"
expect "it starts the installed program by name, without a terminal" \
  test "$(entry Exec)/$(entry Terminal)" = "lorvanta/false" -a -x "$prefix/bin/$(entry Exec)"
expect "its window class is the one the program sets" test "$(entry StartupWMClass)" = "Lorvanta"
expect "its icon is the theme icon lorvanta" test "$(entry Icon)" = "lorvanta"

ico=$build/app/gtk/icon/lorvanta.ico
index=0
for size in 16 24 32 48; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/lorvanta.png
  expect "hicolor ${size}x${size}/apps/lorvanta.png: a PNG of ${size}x${size}" \
    test "$(identify -format '%m %wx%h' "$png" 2>/dev/null)" = "PNG ${size}x${size}"
  # The icon file holds each size as an 8-bit and then a 32-bit image; the
  # PNG must have the 32-bit image's pixels, transparency included.
  frame=$((index * 2 + 1))
  differing=$(compare -metric AE "$png" "${ico}[$frame]" null: 2>&1)
  expect "and the pixels of the icon file's ${size}-pixel 32-bit image ($differing differ)" test "$differing" = 0
  index=$((index + 1))
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
