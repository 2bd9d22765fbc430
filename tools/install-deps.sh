#!/usr/bin/env bash
# Installs the Debian packages in tools/packages.txt that are missing, then,
# where the kernel runs 32-bit programs, wine32:i386 and libc6-dbg:i386.
# Without root or apt-get it names them and fails, so nothing is silently
# skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# install_packages PACKAGE...: as root with apt-get; otherwise names them and fails.
install_packages() {
  if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
    echo "installing: $*"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$@"
  else
    echo "missing packages: $*" >&2
    echo "install them with: sudo apt-get install -y --no-install-recommends $*" >&2
    exit 1
  fi
}

missing=()
while read -r package; do
  package=${package%%#*}
  package=${package//[[:space:]]/}
  [[ -z $package ]] && continue
  installed "$package" || missing+=("$package")
done < tools/packages.txt
((${#missing[@]} == 0)) || install_packages "${missing[@]}"

# Only a kernel that runs 32-bit programs can use these; the probe needs
# binutils, installed above. wine32 runs 32-bit Windows programs beside wine64;
# libc6-dbg holds the symbols of the 32-bit loader that valgrind must have to
# start a 32-bit program at all.
if tools/runs-i386.sh >/dev/null; then
  missing=()
  for package in wine32:i386 libc6-dbg:i386; do
    installed "$package" || missing+=("$package")
  done
  if ((${#missing[@]} > 0)); then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      if [[ $(id -u) -ne 0 ]]; then
        echo "${missing[*]} need the i386 architecture: sudo dpkg --add-architecture i386" >&2
        exit 1
      fi
      dpkg --add-architecture i386
    fi
    install_packages "${missing[@]}"
  fi
fi
