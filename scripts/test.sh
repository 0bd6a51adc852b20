#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test (window tests offscreen).
# With clang present, the conversion fuzz target also runs for a bounded number of inputs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MAKEDDL_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
(cd "$build" && ctest --output-on-failure --timeout 300 -j "$(nproc)")

if command -v clang++ >/dev/null 2>&1; then
  echo "== fuzz targets (clang build) =="
  MAKEDDL_BUILD_DIR="$build-fuzz" "$root/scripts/build.sh" -DCMAKE_CXX_COMPILER=clang++ \
    -DMAKEDDL_WERROR=OFF -DMAKEDDL_BENCH=OFF -DMAKEDDL_FUZZ_ONLY=ON >/dev/null
  (cd "$build-fuzz" && ctest --output-on-failure)
fi
