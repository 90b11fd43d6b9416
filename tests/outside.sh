#!/bin/sh
# What the suite could leave outside its build tree, listed before its first test and again
# after its last: the same both times, or the difference is shown.
#
#   outside.sh before|after FILE BUILD-TREE
#
# It lists what is this user's in HOME, three levels down (Wine's prefix, fontconfig's cache,
# desktop entries), and in TMPDIR, /tmp, tmux's folder and the system's font cache, but for the
# build tree, and the machine's binfmt_misc, mounted or not (Wine's handler
# for 32-bit programs lives in namespaces of its own).
set -u
build=$3
list() {
  for folder in "$HOME" "${TMPDIR:-/tmp}" /tmp "/tmp/tmux-$(id -u)" /var/cache/fontconfig; do
    depth=1
    [ "$folder" != "$HOME" ] || depth=3
    [ ! -d "$folder" ] || find "$folder" -maxdepth $depth -user "$(id -u)" 2>/dev/null
  done | HELLO_BUILD=$build awk 'index($0, ENVIRON["HELLO_BUILD"]) != 1' | LC_ALL=C sort -u
  awk '$3 == "binfmt_misc"' /proc/self/mounts
  ls -A /proc/sys/fs/binfmt_misc 2>&1
}
case $1 in
before) list >"$2" ;;
after)
  list | diff "$2" - >"$2.diff" && { echo "PASS nothing left outside the build tree"; exit 0; }
  echo "FAIL the suite left this outside its build tree (> new, < gone):"
  cat "$2.diff"
  exit 1
  ;;
esac
