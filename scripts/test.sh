#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test (window tests offscreen).
# With clang present, the fuzz targets first run for a bounded number of inputs in a
# separate clang build; the whole suite's summary comes last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MAKEDDL_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

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
