#!/usr/bin/env bash
# Installs what is needed, builds, builds the Debian package, installs it and runs both
# programs from their installed places, and runs every test (window tests offscreen).
# With clang present, the fuzz targets first run for a bounded number of inputs in a
# separate clang build; the whole suite's summary comes last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MAKEDDL_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
echo "== Debian package =="
rm -f "$build"/makeddl_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/makeddl_*.deb)
dpkg-deb --field "$package" Package Version Depends
as_root dpkg -i "$package"
/usr/bin/makeddl --version
/usr/bin/makeddl-sandbox --help >/dev/null
echo "installed and started: /usr/bin/makeddl, /usr/bin/makeddl-sandbox"

if command -v clang++ >/dev/null 2>&1; then
  echo "== fuzz targets (clang build) =="
  MAKEDDL_BUILD_DIR="$build-fuzz" "$root/scripts/build.sh" -DCMAKE_CXX_COMPILER=clang++ \
    -DMAKEDDL_WERROR=OFF -DMAKEDDL_FUZZ_ONLY=ON >/dev/null
  (cd "$build-fuzz" && ctest --output-on-failure)
fi

echo "== tests =="
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure --timeout 300 -j "$(nproc)"
