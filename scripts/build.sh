#!/usr/bin/env bash
# Configures and builds MakeDDL into build/ (or $MAKEDDL_BUILD_DIR). Arguments go to the
# configure step, except "--target NAME..." at the start, which builds only those targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MAKEDDL_BUILD_DIR:-$root/build}
targets=()
if [ "${1:-}" = "--target" ]; then
  shift
  while [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; do targets+=(--target "$1"); shift; done
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAKEDDL_WERROR=ON "$@"
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
