#!/usr/bin/env bash
# make dist in two clean clones of SOURCE's HEAD, each given SOURCE's
# uncommitted changes, so that the working tree is tested as it is (its
# tools/dist.sh, its program), in folders of different names and depths, the
# second under another umask and time zone (UTC+13:45, as a zip holds local
# times): each archive and SHA256SUMS must come out the same, byte for byte.
#   make      clones into WORK and runs make dist in each clone
#   contents  check_dist.py (run by PYTHON) on the first clone's dist/
#   compare   the two clones' dist/ folders, file by file
#   clean     removes WORK
# Exit 77, with the reason, where make dist cannot run here.
# usage: dist_twice.sh MODE WORK SOURCE [PYTHON VERSION]
set -euo pipefail
mode=$1 work=$(realpath -m -- "$2") source=$3
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

# SOURCE's working tree in clone $1: the changes to tracked files since HEAD
# (staged or not), and the files git neither tracks nor ignores.
carry_over() {
  if [[ -s $work/changes.diff ]]; then
    git -C "$1" apply --whitespace=nowarn "$work/changes.diff"
  fi
  (cd "$source" && xargs -0r cp --parents -t "$1" -- <"$work/untracked")
}

case $mode in
  make)
    ready
    rm -rf "$work"
    mkdir -p "$work/elsewhere"
    git -C "$source" diff --binary HEAD >"$work/changes.diff"
    git -C "$source" ls-files -z --others --exclude-standard >"$work/untracked"
    changed=$(git -C "$source" diff --name-only HEAD | wc -l)
    untracked=$(tr -cd '\0' <"$work/untracked" | wc -c)
    echo "make dist from $source: commit $(git -C "$source" rev-parse --short HEAD) and its" \
      "working tree, $changed changed and $untracked untracked files (the source archive is" \
      "the commit's, as make dist makes it)"
    for clone in "$first" "$second"; do
      git clone -q "$source" "$clone"
      carry_over "$clone"
    done
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
