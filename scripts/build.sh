#!/usr/bin/env bash
# Configures and builds MakeDDL into build/ (or $MAKEDDL_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MAKEDDL_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAKEDDL_WERROR=ON "$@"
cmake --build "$build" -j "$(nproc)"
