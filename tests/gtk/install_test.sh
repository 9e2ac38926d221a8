#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a desktop needs to
# list the program: the program, a valid desktop entry that starts it by name
# with its icon, and the icon in the hicolor theme at every size, with the
# pixels of the Windows program's icon file (each size's 32-bit image); and
# the headless tool's manual page where man looks for it; the survey window's
# entry and icons likewise.
# usage: install_test.sh BUILD_DIR
set -uo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failed=0
expect() { if eval "$2"; then echo "ok  : $1"; else echo "FAIL: $1"; failed=1; fi; }

cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1 || { cat "$prefix/install.log"; exit 1; }
desktop=$prefix/share/applications/lorvanta.desktop
entry() { sed -n "/^\[Desktop Entry\]/,/^\[/ s/^$1=//p" "$desktop"; }
expect "desktop-file-validate accepts the desktop entry" 'desktop-file-validate "$desktop"'
expect "an application Lorvanta that starts bin/lorvanta without a terminal, with its class and icon" \
  '[ "$(entry Type)/$(entry Name)/$(entry Exec)/$(entry Terminal)/$(entry StartupWMClass)/$(entry Icon)" = "Application/Lorvanta/lorvanta/false/Lorvanta/lorvanta" ] && [ -x "$prefix/bin/$(entry Exec)" ]'
frame=1
for size in 16 24 32 48; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/lorvanta.png
  expect "a ${size}x${size} PNG with the icon file's pixels" \
    '[ "$(identify -format "%m %wx%h" "$png")" = "PNG ${size}x${size}" ] && [ "$(compare -metric AE "$png" "$build/app/gtk/icon/lorvanta.ico[$frame]" null: 2>&1)" = 0 ]'
  frame=$((frame + 2))
done
# The survey window: its own entry, started by name, and its icon at every size.
desktop=$prefix/share/applications/lorvanta-survey.desktop
expect "a valid entry Lorvanta Survey that starts bin/lorvanta-survey with its class and icon" \
  'desktop-file-validate "$desktop" && [ "$(entry Name)/$(entry Exec)/$(entry StartupWMClass)/$(entry Icon)" = "Lorvanta Survey/lorvanta-survey/Lorvanta-survey/lorvanta-survey" ] && [ -x "$prefix/bin/$(entry Exec)" ]'
for size in 16 24 32 48 64 128 256; do
  expect "the survey's ${size}x${size} icon" \
    '[ "$(identify -format "%m %wx%h" "$prefix/share/icons/hicolor/${size}x${size}/apps/lorvanta-survey.png")" = "PNG ${size}x${size}" ]'
done
expect "man finds the manual page of lorvanta-sweep in the prefix" \
  '[ -x "$prefix/bin/lorvanta-sweep" ] && MANPATH="$prefix/share/man" man -w lorvanta-sweep | grep -qx "$prefix/share/man/man1/lorvanta-sweep.1"'
exit $failed
