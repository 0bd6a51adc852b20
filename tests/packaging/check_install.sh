#!/usr/bin/env bash
# `cmake --install` of the build into a folder of its own: every file in its place, the desktop
# entry valid and naming the installed program and icon, the manual pages free of formatting
# warnings, and the installed `makeddl` answering --version and starting the window program
# from where it is installed.
# Usage: check_install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

for file in bin/makeddl bin/makeddl-sandbox libexec/makeddl/makeddl-window share/makeddl/sample.sql \
  share/applications/makeddl.desktop share/icons/hicolor/scalable/apps/makeddl.svg \
  share/man/man1/makeddl.1.gz share/man/man1/makeddl-sandbox.1.gz; do
  [ -s "$prefix/$file" ] || fail "$file is not installed"
done

desktop=$prefix/share/applications/makeddl.desktop
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "makeddl.desktop is not valid"
fi
grep -qx 'Exec=makeddl' "$desktop" || fail "the desktop entry does not start makeddl"
grep -qx 'Icon=makeddl' "$desktop" || fail "the desktop entry does not name the icon makeddl"

for page in makeddl makeddl-sandbox; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done

"$prefix/bin/makeddl" --version | grep -q '^makeddl [0-9]' || fail "the installed makeddl has no version"
"$prefix/bin/makeddl-sandbox" --version | grep -q '^makeddl-sandbox [0-9]' || fail "the installed sandbox has no version"

# Without words makeddl becomes the window program; offscreen, with settings in a folder of its own.
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$prefix/config MAKEDDL_DISCOVERY_TARGETS=127.0.0.1:9
"$prefix/bin/makeddl" &
pid=$!
started=
for _ in $(seq 100); do
  if [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$prefix/libexec/makeddl/makeddl-window" ]; then started=yes; break; fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
[ -n "$started" ] || fail "the installed makeddl did not start $prefix/libexec/makeddl/makeddl-window"

[ "$failures" -eq 0 ] && echo "installation checked"
exit "$failures"
