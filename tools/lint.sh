#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) and cppcheck over the program's own code
# and the fuzz targets, and clang-format over every C++ file; any finding fails. Needs the compile databases of the
# native build and the fuzz build: BUILD/native and BUILD/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

program=(driver/*.cpp console/*.cpp platform/posix.cpp search/*.cpp)
fuzz=(fuzz/*.cpp)

# clang-tidy counts what it hides from system headers on every file; only
# the findings are worth printing.
tidy() {
  local out status=0
  out=$(clang-tidy --quiet "$@" 2>&1) || status=$?
  grep -v 'warnings\? generated\.$' <<<"$out" || true
  return "$status"
}
# Both tools run whatever the first finds, so one run shows every finding.
failed=0
tidy -p "$build/native" "${program[@]}" || failed=1
tidy -p "$build/fuzz" "${fuzz[@]}" || failed=1
cppcheck --quiet --std=c++17 --language=c++ --enable=warning,style,performance,portability \
  --inline-suppr --error-exitcode=1 -I . "${program[@]}" "${fuzz[@]}" || failed=1
# Every C++ file as .clang-format has it.
clang-format --dry-run -Werror $(git ls-files '*.h' '*.cpp') || failed=1
if ((failed)); then
  echo "lint: findings above" >&2
  exit 1
fi
echo "lint: formatted; clang-tidy and cppcheck clean (${#program[@]} program and ${#fuzz[@]} fuzz sources)"
