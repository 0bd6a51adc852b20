#!/bin/sh
# Rebuilds src/codeconv/code_tables.cpp from glibc iconv's charts and OpenCC's dictionaries.
# Needs: a C++20 compiler, CMake, and Debian's opencc package (opencc_dict) with the
# dictionaries of libopencc1.1 in /usr/share/opencc (OPENCC_DIR overrides the folder).
set -eu

repo=$(cd "$(dirname "$0")/../.." && pwd)
opencc_dir=${OPENCC_DIR:-/usr/share/opencc}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for dictionary in STCharacters TWVariants TSCharacters; do
  opencc_dict -i "$opencc_dir/$dictionary.ocd2" -o "$work/$dictionary.txt" -f ocd2 -t text
done

cmake -S "$repo/tools/codetables" -B "$work/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" -j2 >/dev/null
"$work/build/makeddl-gen-codetables" "$work" "$repo/src/codeconv/code_tables.cpp"
