#!/usr/bin/env bash
# make dist: the release, from the Windows trees BUILD/win32 and BUILD/win64
# and the commit checked out, in OUT:
#   strcycles-VERSION-win32.zip, -win64.zip  strcycles.exe as built, README.txt
#                                            (docs/README-windows.txt) and
#                                            LICENSE.txt, both with CR LF ends
#   strcycles-VERSION.tar.gz                 the source at HEAD (git archive)
#   SHA256SUMS                               for sha256sum -c
# VERSION is project()'s, as the trees were configured with it. The same
# commit gives the same bytes anywhere: every file in an archive has the
# commit's time (in UTC: a zip holds local times), a fixed order and fixed
# permissions, and nothing of the machine (owner, folder) goes in.
# usage: dist.sh BUILD OUT
set -euo pipefail
build=${1:?usage: dist.sh BUILD OUT}
out=${2:?usage: dist.sh BUILD OUT}
cd "$(dirname "$0")/.."

version() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/$1/CMakeCache.txt"; }
version=$(version win32)
if [[ -z $version || $(version win64) != "$version" ]]; then
  echo "dist.sh: $build/win32 and $build/win64 name no version, or not the same one" >&2
  exit 1
fi
if ! git rev-parse --verify --quiet HEAD >/dev/null; then
  echo "dist.sh: the source archive is made by git archive, and $PWD is no git clone" >&2
  exit 1
fi
if [[ -n $(git status --porcelain --untracked-files=no) ]]; then
  echo "dist.sh: warning: uncommitted changes: the zips hold them, the source archive does not" >&2
fi
epoch=$(git log -1 --format=%ct HEAD)

stage=$(mktemp -d "${TMPDIR:-/tmp}/strcycles-dist.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir -p "$out"
rm -f "$out"/strcycles-*.zip "$out"/strcycles-*.tar.gz "$out/SHA256SUMS"

crlf() { sed 's/\r*$/\r/' "$@"; }

# zip TREE WINDOWS_NEEDED PROCESSOR_NEEDED TITLE
zip_tree() {
  local tree=$1 name="strcycles-$version-$1.zip" files=(strcycles.exe README.txt LICENSE.txt)
  local dir=$stage/$tree exe
  mkdir "$dir"
  cp "$build/$tree/strcycles.exe" "$dir/"
  exe=$(sha256sum "$dir/strcycles.exe" | cut -d' ' -f1)
  sed -e "s/@VERSION@/$version/g" -e "s/@ZIP@/$name/g" -e "s/@EXE_SHA256@/$exe/g" \
    -e "s/@WINDOWS_NEEDED@/$2/g" -e "s/@PROCESSOR_NEEDED@/$3/g" -e "s/@WINDOWS@/$4/g" \
    docs/README-windows.txt | crlf >"$dir/README.txt"
  crlf LICENSE >"$dir/LICENSE.txt"
  chmod 0755 "$dir/strcycles.exe"
  chmod 0644 "$dir/README.txt" "$dir/LICENSE.txt"
  touch -d "@$epoch" "${files[@]/#/$dir/}"
  # -X: no owner or extended times, only the zip's own (local) time.
  (cd "$dir" && TZ=UTC0 zip -q -X "$stage/$name" "${files[@]}")
  mv "$stage/$name" "$out/"
}
zip_tree win32 "Windows, 32-bit or 64-bit" \
  "An x86 processor from the Pentium Pro on" "32-bit Windows (x86)"
zip_tree win64 "64-bit Windows" "An x86-64 processor" "64-bit Windows (x86-64)"

# A user's git settings must not change the bytes: permissions in the tar
# from a fixed umask, line ends as committed; gzip without name or time.
source="strcycles-$version.tar.gz"
git -c tar.umask=0022 -c core.autocrlf=false archive --format=tar \
  --prefix="strcycles-$version/" HEAD | gzip -9n >"$stage/$source"
mv "$stage/$source" "$out/"

(cd "$out" && sha256sum "strcycles-$version-win32.zip" "strcycles-$version-win64.zip" \
  "$source" >SHA256SUMS)
echo "$out, version $version, commit $(git rev-parse --short HEAD):"
sed 's/^/  /' "$out/SHA256SUMS"
