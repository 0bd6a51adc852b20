#!/usr/bin/env bash
# Installs what is needed, builds, and opens the MakeDDL window. Without a display it runs
# the window on a virtual X display (Xvfb) and says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MAKEDDL_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" >/dev/null
program="$build/src/app/makeddl"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "$@"
fi
echo "No display found: running the window on a virtual X display (Xvfb); close it with Ctrl+C."
exec xvfb-run -a -s "-screen 0 1280x800x24" "$program" "$@"
