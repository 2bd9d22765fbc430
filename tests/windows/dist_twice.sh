#!/usr/bin/env bash
# make dist in two clean clones of SOURCE's HEAD, in folders of different
# names and depths, the second under another umask and time zone (UTC+13:45,
# as a zip holds local times): each archive and SHA256SUMS must come out the
# same, byte for byte.
#   make      clones into WORK and runs make dist in each clone
#   contents  check_dist.py (run by PYTHON) on the first clone's dist/
#   compare   the two clones' dist/ folders, file by file
#   clean     removes WORK
# Exit 77, with the reason, where make dist cannot run here.
# usage: dist_twice.sh MODE WORK SOURCE [PYTHON VERSION]
set -euo pipefail
mode=$1 work=$2 source=$3
first=$work/first second=$work/elsewhere/the-second-clone

skip() {
  echo "skipped: $*"
  exit 77
}
ready() {
  local tool
  for tool in git zip; do
    command -v "$tool" >/dev/null || skip "make dist needs $tool (Debian: $tool)"
  done
  git -C "$source" rev-parse --verify --quiet HEAD >/dev/null ||
    skip "make dist archives the source with git, and $source is no git clone"
}

case $mode in
  make)
    ready
    rm -rf "$work"
    mkdir -p "$work/elsewhere"
    git clone -q "$source" "$first"
    git clone -q "$source" "$second"
    # A make of its own in each clone, not a job of the one running ctest.
    unset MAKEFLAGS MFLAGS MAKELEVEL
    make -C "$first" dist
    (umask 027 && TZ=XYZ-13:45 make -C "$second" dist)
    ;;
  contents)
    ready
    "${4:?PYTHON}" "$(dirname "$0")/check_dist.py" "$first/dist" "$first/build" "$first" \
      "${5:?VERSION}"
    ;;
  compare)
    ready
    status=0
    diff -q <(cd "$first/dist" && ls) <(cd "$second/dist" && ls) || status=1
    for file in "$first"/dist/*; do
      name=$(basename "$file")
      if [[ -f $second/dist/$name ]] && cmp "$file" "$second/dist/$name"; then
        echo "same bytes: $name"
      else
        status=1
      fi
    done
    if ((status)); then
      echo "FAIL: make dist in $first and in $second gave different archives"
    fi
    exit "$status"
    ;;
  clean) rm -rf "$work" ;;
  *)
    echo "usage: dist_twice.sh make|contents|compare|clean WORK SOURCE [PYTHON VERSION]" >&2
    exit 2
    ;;
esac
