#!/usr/bin/env bash
# What each make target needs, each tool found by itself (on PATH, in its
# file, or by building a probe with it), and the Debian package that brings it.
#
#   requirements.sh install TARGET... [--hard]
#                                      install what those targets lack, as root
#                                      with apt-get; elsewhere name it; with
#                                      --hard only what they cannot run without
#   requirements.sh need TARGET        exit 0 when TARGET can run here; else
#                                      say what it lacks and exit 1
#   requirements.sh have TARGET        the same, worded as a skipped leg
#
# Targets: run, native, clang, sanitize, m32, windows, fuzz, lint, bench,
# bench-compilers, plot, dist, format, and check (all of the check legs).
# Some tools only let single tests run (valgrind, wine, qemu-i386, the Python
# modules the machine-code checks read binaries with): they are installed with
# their target, but where they are missing the target still runs and those
# tests report themselves skipped, with the reason.
set -euo pipefail
cd "$(dirname "$0")/.."

can_install() {
  [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null
}

# The compiler `make run` and the native tree use: CMake's own choice, $CXX
# or else c++ (g++ or clang++ as the system set it).
compiler() { echo "${CXX:-c++}"; }
compiler_package() {
  case $(basename "$1") in
    clang++*) echo "clang${1##*clang++}" ;;
    g++-*) echo "g++-${1##*g++-}" ;;
    *) echo build-essential ;;
  esac
}
# libFuzzer's runtime comes in a package named after clang's major version.
clang_major() {
  clang++ --version 2>/dev/null | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1
}

# builds PROGRAM (stdin) with COMPILER FLAGS...: whether the tool chain can.
builds() {
  local compiler=$1 dir status=0
  shift
  dir=$(mktemp -d)
  "$compiler" -x c++ - -o "$dir/probe" "$@" >/dev/null 2>&1 || status=$?
  rm -rf "$dir"
  return "$status"
}

valgrind_starts_i386() {
  local dir status=0
  dir=$(mktemp -d)
  echo 'int main() {}' | c++ -m32 -x c++ - -o "$dir/probe" 2>/dev/null &&
    valgrind --tool=none -q "$dir/probe" >/dev/null 2>&1 || status=$?
  rm -rf "$dir"
  return "$status"
}

python_has_modules() {
  local python
  for python in python3 /usr/bin/python3; do
    command -v "$python" >/dev/null &&
      "$python" -c 'import capstone, elftools, pefile' 2>/dev/null && return 0
  done
  return 1
}

# probe NAME: 0 when the tool is here.
probe() {
  case $1 in
    cmake | make | valgrind | setpriv | qemu-i386 | clang++ | clang-tidy | clang-format | \
      cppcheck | gnuplot | i686-w64-mingw32-g++ | x86_64-w64-mingw32-g++ | \
      i686-w64-mingw32-windres | x86_64-w64-mingw32-windres | zip | git)
      command -v "$1" >/dev/null ;;
    python3) command -v python3 >/dev/null || [[ -x /usr/bin/python3 ]] ;;
    compiler) command -v "$(compiler)" >/dev/null ;;
    gtest) echo '#include <gtest/gtest.h>
      int main() {}' | builds c++ -fsyntax-only ;;
    googletest-sources) [[ -f /usr/src/googletest/CMakeLists.txt ]] ;;
    benchmark) echo '#include <benchmark/benchmark.h>
      int main() {}' | builds c++ -fsyntax-only ;;
    m32) echo 'int main() {}' | builds c++ -m32 ;;
    libfuzzer) echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) {
      return 0; }' | builds clang++ -fsanitize=fuzzer ;;
    python-modules) python_has_modules ;;
    wine64) command -v wine64 >/dev/null || [[ -x /usr/lib/wine/wine64 ]] ;;
    # Wanted only where the kernel runs 32-bit programs, and then from
    # Debian's i386 architecture: the 32-bit Windows loader beside wine64, and
    # the 32-bit C library's symbols, without which valgrind cannot start a
    # 32-bit program at all.
    wine32) ! tools/runs-i386.sh >/dev/null || [[ -x /usr/lib/wine/wine ]] ;;
    valgrind-i386) ! tools/runs-i386.sh >/dev/null || ! command -v valgrind >/dev/null ||
      valgrind_starts_i386 ;;
    *) echo "requirements.sh: no probe for $1" >&2; return 2 ;;
  esac
}

# package NAME: the Debian package that brings it.
package() {
  case $1 in
    compiler) compiler_package "$(compiler)" ;;
    make | cmake | valgrind | cppcheck | clang-tidy | clang-format | python3 | wine64 | zip | git)
      echo "$1" ;;
    setpriv) echo util-linux ;;
    qemu-i386) echo qemu-user ;;
    clang++) echo clang ;;
    gnuplot) echo gnuplot-nox ;;
    i686-w64-mingw32-g++) echo g++-mingw-w64-i686 ;;
    x86_64-w64-mingw32-g++) echo g++-mingw-w64-x86-64 ;;
    i686-w64-mingw32-windres) echo binutils-mingw-w64-i686 ;;
    x86_64-w64-mingw32-windres) echo binutils-mingw-w64-x86-64 ;;
    gtest) echo libgtest-dev ;;
    googletest-sources) echo googletest ;;
    benchmark) echo libbenchmark-dev ;;
    m32) echo g++-multilib ;;
    libfuzzer)
      local major
      major=$(clang_major)
      echo "libclang-rt-${major:-N}-dev"
      ;;
    python-modules) echo python3-capstone python3-pyelftools python3-pefile ;;
    wine32) echo wine32:i386 ;;
    valgrind-i386) echo libc6-dbg:i386 ;;
  esac
}

# needs TARGET: the tools without which it cannot run, then "|" and the ones
# that only let some of its tests run.
needs() {
  local windows=(cmake make i686-w64-mingw32-g++ x86_64-w64-mingw32-g++ i686-w64-mingw32-windres
    x86_64-w64-mingw32-windres python3)
  case $1 in
    run) echo cmake make compiler ;;
    native) echo cmake make compiler gtest python3 "|" python-modules valgrind setpriv benchmark ;;
    clang) echo cmake make clang++ gtest python3 "|" python-modules valgrind setpriv benchmark ;;
    sanitize) echo cmake make compiler gtest python3 "|" setpriv ;;
    m32) echo cmake make compiler m32 googletest-sources python3 \
      "|" python-modules qemu-i386 valgrind valgrind-i386 setpriv ;;
    windows) echo "${windows[@]}" "|" python-modules wine64 wine32 zip git ;;
    fuzz) echo cmake make clang++ libfuzzer ;;
    lint) echo cmake make compiler clang++ libfuzzer clang-tidy clang-format cppcheck ;;
    bench) echo cmake make compiler benchmark ;;
    bench-compilers) echo cmake make compiler python3 ;;
    plot) echo gnuplot python3 ;;
    dist) echo "${windows[@]}" zip git ;;
    format) echo clang-format ;;
    *) echo "requirements.sh: no target $1" >&2; exit 2 ;;
  esac
}

# The legs of make check.
expand() {
  local target
  for target in "$@"; do
    if [[ $target == check ]]; then
      echo native clang sanitize m32 windows fuzz lint
    else
      echo "$target"
    fi
  done
}

# missing TARGET... [--hard]: "tool package..." lines for what is not here.
missing() {
  local hard=0 target tool soft seen=" "
  if [[ ${!#} == --hard ]]; then
    hard=1
    set -- "${@:1:$#-1}"
  fi
  for target in $(expand "$@"); do
    soft=0
    for tool in $(needs "$target"); do
      if [[ $tool == "|" ]]; then
        soft=1
        continue
      fi
      ((hard && soft)) && continue
      [[ $seen == *" $tool "* ]] && continue
      seen+="$tool "
      probe "$tool" || echo "$tool $(package "$tool")"
    done
  done
}

install() {
  local lines packages updated=0 round
  # In rounds: some needs show only once a tool is there, as a package named
  # after its version (libclang-rt-N-dev), or a probe built with the compiler
  # (the 32-bit loader's symbols, wanted only where 32-bit programs run).
  for round in 1 2 3; do
    lines=$(missing "$@")
    [[ -z $lines ]] && break
    # A package named after a version not known yet waits for the next round.
    packages=$(cut -d' ' -f2- <<<"$lines" | tr ' ' '\n' | { grep -v -- '-N-' || true; } |
      sort -u | tr '\n' ' ')
    if ! can_install; then
      echo "missing here (not root, or no apt-get), so the tests that need them are skipped:"
      sed 's/^\([^ ]*\) \(.*\)/  \1 (Debian: \2)/' <<<"$lines"
      return 0
    fi
    echo "installing: $packages"
    if [[ $packages == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
      updated=0
    fi
    if ((!updated)); then
      apt-get update
      updated=1
    fi
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $packages
  done
  lines=$(missing "$@")
  if [[ -n $lines ]]; then
    echo "still missing after the install: $(tr '\n' ';' <<<"$lines")" >&2
    return 1
  fi
}

# need TARGET [LEG]: whether it can run here, and if not, why: as a target of
# its own, or as a leg of make check that is skipped.
need() {
  local lines why
  lines=$(missing "$1" --hard)
  [[ -z $lines ]] && return 0
  why=$(sed 's/^\([^ ]*\) \(.*\)/\1 (Debian: \2)/' <<<"$lines" | paste -sd ';' | sed 's/;/; /g')
  if can_install; then
    # The install step could have brought them: that it did not is a fault.
    echo "make $1 needs $why, which this machine could have installed" >&2
    exit 2
  fi
  if [[ -n ${2:-} ]]; then
    echo "skipped: make check-$1 needs $why"
  else
    echo "make $1 needs $why"
  fi
  return 1
}

case ${1:-} in
  install)
    shift
    install "${@:-check}"
    ;;
  need) need "${2:?usage: requirements.sh need TARGET}" ;;
  have) need "${2:?usage: requirements.sh have TARGET}" leg ;;
  *)
    echo "usage: requirements.sh install TARGET... | need TARGET | have TARGET" >&2
    exit 2
    ;;
esac
