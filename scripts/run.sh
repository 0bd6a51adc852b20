#!/usr/bin/env bash
# Installs what is needed, builds, starts a sandbox server with the sample database on a free
# loopback port, and opens the MakeDDL window with that connection ready to pick in the
# connection list. The demo keeps its settings in a folder of its own (never the user's), and
# the "..." button finds the sandbox through its discovery responder on loopback. Without a
# display the window runs on a virtual X display (Xvfb). The server stops when the window
# closes. Only the programs are built (not the tests), and the build shows its progress.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MAKEDDL_BUILD_DIR:-$root/build}
echo "== Checking the Debian packages the build needs =="
"$root/scripts/install-deps.sh"
echo "== Building the window and the sandbox server into $build (the first build takes some minutes) =="
"$root/scripts/build.sh" --target makeddl makeddl-window makeddl-sandbox

demo="$build/demo"
password="Demo#2003"
database="sample_shop"
rm -rf "$demo"
mkdir -p "$demo/config" "$demo/backups"
chmod 700 "$demo/config"

# The sandbox writes "port N" and then "browser-port M" on its first two lines.
# MAKEDDL_SANDBOX_VERSION=2019 makes the sandbox imitate SQL Server 2019 instead of 2000.
"$build/sandbox/makeddl-sandbox" --port 0 --browser-port 0 --sa-password "$password" \
  --version "${MAKEDDL_SANDBOX_VERSION:-2000}" \
  --init "$root/sandbox/sample.sql" >"$demo/sandbox.out" 2>"$demo/sandbox.err" &
sandbox_pid=$!
trap 'kill "$sandbox_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ "$(wc -l <"$demo/sandbox.out")" -ge 2 ] && break
  kill -0 "$sandbox_pid" 2>/dev/null || { cat "$demo/sandbox.err" >&2; exit 1; }
  sleep 0.1
done
port=$(sed -n 's/^port //p' "$demo/sandbox.out")
browser_port=$(sed -n 's/^browser-port //p' "$demo/sandbox.out")
[ -n "$port" ] && [ -n "$browser_port" ] || { echo "The sandbox server did not start." >&2; exit 1; }

# One remembered connection, as the window itself stores it.
server="127.0.0.1,$port"
cat >"$demo/config/MakeDDL.conf" <<CONF
[General]
ParamCount=1
ShowParam1="Server=$server ; DB_Name=$database ; Lonin=SQL ; User_Name=sa"
HideParam1="$database;$server;SQL;sa;$password;"
BackupPath=$demo/backups
CONF
chmod 600 "$demo/config/MakeDDL.conf"

echo "Sandbox server with the sample database on $server (sa / $password)."
echo "Pick the connection in the list at the top of the window."
export XDG_CONFIG_HOME="$demo/config"
export MAKEDDL_DISCOVERY_TARGETS="127.0.0.1:$browser_port"
program="$build/src/app/makeddl"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$program" "$@"
else
  echo "No display found: running the window on a virtual X display (Xvfb); stop it with Ctrl+C."
  xvfb-run -a -s "-screen 0 1280x800x24" "$program" "$@"
fi
