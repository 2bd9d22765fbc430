#!/usr/bin/env bash
# Builds the Windows program again from scratch in a folder of its own and
# compares it with the given build's executable byte for byte: a user who
# builds the same sources must be able to check a copy against its hash.
# usage: check_reproducible.sh SOURCE_DIR TOOLCHAIN_FILE PROGRAM
set -euo pipefail
source_dir=$1 toolchain=$2 program=$3

again=$(mktemp -d "${TMPDIR:-/tmp}/strcycles-again.XXXXXX")
trap 'rm -rf "$again"' EXIT
cmake -S "$source_dir" -B "$again" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DSTRCYCLES_TESTS=OFF >/dev/null
cmake --build "$again" --target strcycles >/dev/null

if cmp "$program" "$again/strcycles.exe"; then
  echo "reproducible: $(sha256sum "$program" | cut -d' ' -f1)  $(basename "$(dirname "$program")")/strcycles.exe"
else
  echo "FAIL: a second build in $again differs from $program" >&2
  cmp -l "$program" "$again/strcycles.exe" | head -20 >&2 || true
  exit 1
fi
