#!/usr/bin/env bash
# Builds the setup file from two copies of the sources in unrelated folders and
# requires both to be byte-identical to each other and to the file under test:
# nothing in it may depend on where or when it was built.
#   check_reproducible.sh SOURCE_DIR WORK_DIR SETUP_FILE
set -euo pipefail
source_dir=$1 work_dir=$2 expected=$3
name=$(basename "$expected")

rm -rf "$work_dir"
first="$work_dir/one/src"
second="$work_dir/second-place/deeper/korvela-sources"
for copy in "$first" "$second"; do
  mkdir -p "$copy"
  tar -C "$source_dir" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$copy" -xf -
  cmake -S "$copy" -B "$copy/out" -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >"$copy.configure.log" 2>&1 \
    || { cat "$copy.configure.log"; exit 1; }
  cmake --build "$copy/out" --target korvela_setup -j2 >"$copy.build.log" 2>&1 \
    || { cat "$copy.build.log"; exit 1; }
done

status=0
for built in "$first/out/$name" "$second/out/$name"; do
  if cmp "$built" "$expected"; then
    echo "identical: $built"
  else
    echo "DIFFERS from $expected: $built" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && rm -rf "$work_dir"
exit "$status"
