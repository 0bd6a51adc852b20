#!/usr/bin/env bash
# Installs every Debian package that building, testing and running MakeDDL needs, and
# registers the FreeTDS ODBC driver with unixODBC. Safe to run again: it skips apt when
# everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  unixodbc unixodbc-dev tdsodbc freetds-bin zlib1g-dev libgmp-dev
  libxkbcommon-dev libbsd-dev file desktop-file-utils
  qt6-translations-l10n
  libgtest-dev googletest libgmock-dev libbenchmark-dev clang libclang-rt-dev
  fonts-wqy-microhei xvfb xauth
  python3 python3-tds
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The FreeTDS package normally registers its driver; make sure it is there under "FreeTDS".
if ! odbcinst -q -d -n FreeTDS >/dev/null 2>&1; then
  driver=$(dpkg -L tdsodbc | grep -m1 '/libtdsodbc\.so$')
  template=$(mktemp)
  printf '[FreeTDS]\nDescription=FreeTDS ODBC driver\nDriver=%s\n' "$driver" >"$template"
  as_root odbcinst -i -d -f "$template"
  rm -f "$template"
fi
# The Node.js driver tedious, a client no one here wrote, checks the sandbox server's protocol.
tedious_dir=${MAKEDDL_TEDIOUS_DIR:-/tmp/makeddl-tedious}
if command -v npm >/dev/null 2>&1 && [ ! -d "$tedious_dir/node_modules/tedious" ]; then
  npm install --prefix "$tedious_dir" --no-audit --no-fund --loglevel=error tedious@19 >/dev/null 2>&1 ||
    echo "Could not install tedious; its conformance test will be skipped."
fi
echo "Dependencies are in place."
