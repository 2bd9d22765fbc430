#!/usr/bin/env bash
# Installs the Debian packages in tools/packages.txt that are missing. Without
# root or apt-get it names them and fails, so nothing is silently skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
while read -r package; do
  package=${package%%#*}
  package=${package//[[:space:]]/}
  [[ -z $package ]] && continue
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done < tools/packages.txt

((${#missing[@]} == 0)) && exit 0

if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
  echo "installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
else
  echo "missing packages: ${missing[*]}" >&2
  echo "install them with: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
