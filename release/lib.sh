#!/usr/bin/env bash
# What release/build, sign and verify share. Run on its own, 'release/lib.sh repack DIR EXE'
# writes DIR's Windows zip again with EXE as its hello.exe, as the zip was first written, and
# DIR's SHA256SUMS again: sign does so with the signed program, and verify in the rebuilt
# system with the rebuilt program, the published signature attached. 'release/lib.sh sums DIR'
# writes SHA256SUMS alone.
set -euo pipefail
# Tools' messages and sorting the same for everyone.
export LC_ALL=C
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
die() { echo "release/${0##*/}: $*" >&2; exit 1; }
# field DIR NAME: a field of DIR's BUILDINFO.
field() { sed -n "s/^$2: //p" "$1/BUILDINFO"; }
# sums DIR: SHA256SUMS of every other file of DIR but its signature, as sha256sum -c reads it.
sums() {
  (cd "$1" && find . -maxdepth 1 -type f ! -name SHA256SUMS ! -name SHA256SUMS.asc -printf '%P\n' |
    LC_ALL=C sort | xargs -r -d '\n' sha256sum -- >SHA256SUMS)
}
# zip_of DIR: the Windows package of the release.
zip_of() {
  local zips=("$1"/hello-*-win32.zip)
  [ -f "${zips[0]}" ] && [ ${#zips[@]} = 1 ] || die "$1 holds no single Windows package"
  echo "${zips[0]}"
}
repack() {
  local dir=$1 exe=$2 zip work name
  zip=$(zip_of "$dir")
  name=$(basename "$zip" .zip)
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  (cd "$work" && cmake -E tar xf "$zip")
  cp "$exe" "$work/$name/bin/hello.exe"
  SOURCE_DATE_EPOCH=$(field "$dir" Commit-Time) cmake "-DFOLDER=$work/$name" "-DARCHIVE=$zip" \
    -P "$top/cmake/archive.cmake"
  sums "$dir"
}
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case ${1-}:$# in
  repack:3) repack "$2" "$3" ;;
  sums:2) sums "$2" ;;
  *) die "usage: release/lib.sh repack DIR EXE, or release/lib.sh sums DIR" ;;
  esac
fi
