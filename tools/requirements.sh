#!/usr/bin/env bash
# What each make target needs, as tools/requirements.table says: found here,
# installed with apt-get as root, or else named.
#
#   requirements.sh install TARGET... [--hard]
#                                      install what those targets lack, as root
#                                      with apt-get; elsewhere name it; with
#                                      --hard only what they cannot run without
#   requirements.sh need TARGET        exit 0 when TARGET can run here; else
#                                      say what it lacks and exit 1
#   requirements.sh have TARGET        the same, worded as a skipped leg
#   requirements.sh update             apt-get update, tried three times; a
#                                      list that still fails is a warning
#
# The install goes in groups that fail alone: what the targets cannot run
# without (a failure stops it, exit 1), what only some tests need, and the
# i386 packages; a group that cannot be installed is named with apt's reason,
# and the tests that need it report themselves skipped. What could not be
# installed is also written to $STRCYCLES_CHECK_RECORD, where set, for make
# check's summary. STRCYCLES_REQUIREMENTS names another table.
set -euo pipefail
cd "$(dirname "$0")/.."
table=${STRCYCLES_REQUIREMENTS:-tools/requirements.table}
UPDATE_TRIES=3
UPDATE_PAUSE=10

can_install() {
  [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null
}

compiler_package() {
  case $(basename "$1") in
    clang++*) echo "clang${1##*clang++}" ;;
    g++-*) echo "g++-${1##*g++-}" ;;
    *) echo build-essential ;;
  esac
}

# The table's rows, {cxx}, {cxx-package} and {clang} filled in. libFuzzer's
# runtime is named after clang's version: "N" until clang is here.
rows() {
  local cxx=${CXX:-c++} clang
  clang=$(clang++ --version 2>/dev/null | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
  sed -e '/^#/d' -e '/^[[:space:]]*$/d' -e "s|{cxx-package}|$(compiler_package "$cxx")|g" \
    -e "s|{cxx}|$cxx|g" -e "s|{clang}|${clang:-N}|g" "$table"
}

# builds COMPILER FLAGS... < PROGRAM: whether the tool chain can.
builds() {
  local compiler=$1 dir status=0
  shift
  dir=$(mktemp -d)
  "$compiler" -x c++ - -o "$dir/probe" "$@" >/dev/null 2>&1 || status=$?
  rm -rf "$dir"
  return "$status"
}

valgrind_starts_m32() {
  local dir status=0
  dir=$(mktemp -d)
  echo 'int main() {}' | c++ -m32 -x c++ - -o "$dir/probe" 2>/dev/null &&
    valgrind --tool=none -q "$dir/probe" </dev/null >/dev/null 2>&1 || status=$?
  rm -rf "$dir"
  return "$status"
}

# probe PROBE: 0 when what the table's probe cell looks for is here.
probe() {
  local kind=${1%%:*} arg=${1#*:} items item python
  IFS=, read -ra items <<<"$arg"
  case $kind in
    command)
      for item in "${items[@]}"; do command -v "$item" >/dev/null && return 0; done
      return 1 ;;
    file) [[ -f $arg ]] ;;
    header) printf '#include <%s>\nint main() {}\n' "$arg" | builds c++ -fsyntax-only ;;
    builds) echo 'int main() {}' | builds c++ "${items[@]}" ;;
    fuzzer) echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) {
      return 0; }' | builds clang++ -fsanitize=fuzzer ;;
    python)
      for python in python3 /usr/bin/python3; do
        command -v "$python" >/dev/null && "$python" -c "import $arg" 2>/dev/null && return 0
      done
      return 1 ;;
    valgrind-m32) ! command -v valgrind >/dev/null || valgrind_starts_m32 ;;
    i386) ! tools/runs-i386.sh >/dev/null || probe "$arg" ;;
    *) echo "requirements.sh: no probe $1" >&2; exit 2 ;;
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

# missing TARGET... [--hard]: "tool required|some package..." for each tool
# those targets need that is not here; "some" where only some tests need it.
missing() {
  local hard=0 wanted tool check packages targets target need
  if [[ ${!#} == --hard ]]; then
    hard=1
    set -- "${@:1:$#-1}"
  fi
  wanted=" $(expand "$@" | tr '\n' ' ') "
  while read -r tool check packages targets <&3 || [[ -n ${tool:-} ]]; do
    need=
    # shellcheck disable=SC2086
    for target in $(expand ${targets//,/ }); do
      [[ $wanted == *" ${target%\?} "* ]] || continue
      if [[ $target == *\? ]]; then need=${need:-some}; else need=required; fi
    done
    [[ -z $need || ($hard == 1 && $need == some) ]] && continue
    probe "$check" || echo "$tool $need ${packages//,/ }"
  done 3< <(rows)
}

# "tool (Debian: package...)" for each of missing's lines; --joined: on one line.
named() {
  local lines
  lines=$(sed 's/^\([^ ]*\) [^ ]* \(.*\)/\1 (Debian: \2)/')
  if [[ ${1:-} == --joined ]]; then paste -sd ';' <<<"$lines" | sed 's/;/; /g'; else echo "$lines"; fi
}

record() {
  if [[ -n ${STRCYCLES_CHECK_RECORD:-} ]]; then echo "$*" >>"$STRCYCLES_CHECK_RECORD"; fi
}

# apt's own error lines: each Err: with the lines that explain it, W: and E:.
apt_errors() {
  awk '/^(Err|W|E):/ { print; more = /^Err:/; next } more && /^ / { print; next } { more = 0 }'
}

update() {
  local try out
  for ((try = 1; ; try++)); do
    out=$(apt-get update 2>&1) && return 0
    ((try < UPDATE_TRIES)) || break
    sleep "$UPDATE_PAUSE"
  done
  echo "apt-get update failed $try times; apt said:"
  apt_errors <<<"$out" | sed 's/^/  /'
  echo "the install goes on with the package lists apt has"
}

# apt_install PACKAGE...: apt-get install, its output kept in $apt_log.
apt_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$@" >"$apt_log" 2>&1
}

# Why apt refused, in its own words: its last error lines.
apt_reason() {
  { grep '^E:' "$apt_log" || tail -n 2 "$apt_log"; } | tail -n 2
}

# Multi-Arch: same packages must be at one version in both architectures;
# with one architecture's index behind the other's, apt cannot pair them.
# at_native_versions PACKAGE...: those and the i386 packages apt named, each
# at the version installed for this machine's own architecture, where it is.
at_native_versions() {
  local arch name state
  arch=$(dpkg --print-architecture)
  for name in $({ printf '%s\n' "$@"; grep -o '[a-z0-9][a-z0-9.+-]*:i386' "$apt_log"; } | sort -u); do
    state=$(dpkg-query -W -f='${db:Status-Status} ${Version}' "${name%:i386}:$arch" 2>/dev/null) ||
      state=
    if [[ $state == "installed "* ]]; then echo "$name=${state#* }"; else echo "$name"; fi
  done
}

# group NAME PACKAGE...: installs them, or says why apt would not and returns 1.
group() {
  local name=$1 pinned
  shift
  (($#)) || return 0
  echo "installing ($name): $*"
  apt_install "$@" && return 0
  if [[ $name == i386 ]]; then
    pinned=$(at_native_versions "$@" | tr '\n' ' ')
    if [[ $pinned == *=* ]]; then
      echo "  refused; again at the installed $(dpkg --print-architecture) versions: ${pinned% }"
      # shellcheck disable=SC2086
      apt_install $pinned && return 0
    fi
  fi
  echo "  cannot install $*; apt said:"
  apt_reason | sed 's/^/    /'
  record "not-installed $*: $(apt_reason | tail -n 1)"
  return 1
}

install() {
  local lines targets=("$@") packages tried=" " updated=0 name
  if [[ ${!#} == --hard ]]; then unset 'targets[-1]'; fi
  lines=$(missing "$@")
  [[ -z $lines ]] && return 0
  if ! can_install; then
    echo "missing here (not root, or no apt-get), so the tests that need them are skipped:"
    named <<<"$lines" | sed 's/^/  /'
    record "not-installed $(cut -d' ' -f3- <<<"$lines" | paste -sd ' '): not root, or no apt-get"
    return 0
  fi
  apt_log=$(mktemp)
  trap 'rm -f "$apt_log"' EXIT
  # In rounds: some needs show only once a tool is there, as a package named
  # after its version (libclang-rt-N-dev), or a probe built with the compiler.
  # A package is asked for once; one named after a version not known yet
  # waits for the next round. "group package" lines, i386 a group of its own.
  for _ in 1 2 3; do
    packages=$(missing "$@" | awk -v tried="$tried" '{
      for (i = 3; i <= NF; i++)
        if (index(tried, " " $i " ") == 0 && $i !~ /-N-/) print ($i ~ /:i386$/ ? "i386" : $2), $i }' |
      sort -u)
    [[ -z $packages ]] && break
    tried+="$(cut -d' ' -f2 <<<"$packages" | paste -sd ' ') "
    if grep -q '^i386' <<<"$packages" && ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
      updated=0
    fi
    if ((!updated)); then
      update
      updated=1
    fi
    # shellcheck disable=SC2046
    if ! group required $(sed -n 's/^required //p' <<<"$packages"); then
      echo "make ${targets[*]} stops: it cannot run without them" >&2
      return 1
    fi
    for name in some i386; do
      # shellcheck disable=SC2046
      group "$name" $(sed -n "s/^$name //p" <<<"$packages") ||
        echo "  the tests that need them report themselves skipped"
    done
  done
  lines=$(missing "$@" --hard)
  if [[ -n $lines ]]; then
    echo "still missing after the install: $(named --joined <<<"$lines")" >&2
    return 1
  fi
  lines=$(missing "$@")
  if [[ -n $lines ]]; then
    echo "not here, so the tests that need them report themselves skipped: $(named --joined <<<"$lines")"
  fi
}

# need TARGET [LEG]: whether it can run here, and if not, why: as a target of
# its own, or as a leg of make check that is skipped.
need() {
  local lines why
  lines=$(missing "$1" --hard)
  [[ -z $lines ]] && return 0
  why=$(named --joined <<<"$lines")
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
  update) update ;;
  *)
    echo "usage: requirements.sh install TARGET... | need TARGET | have TARGET | update" >&2
    exit 2
    ;;
esac
