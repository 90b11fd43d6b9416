#!/bin/sh
# Runs the greeter where its standard streams are something only a POSIX shell sets up, and
# checks the result. Exits 77, which CTest reports as skipped, when a tool it needs is missing.
#
#   posix.sh CASE COMMAND...
#
#   closed      standard output closed: exit status 0, standard error empty
#   full        standard output refuses every write (/dev/full): status 0, standard error empty
#   terminal    standard input and output a terminal whose input never ends: the program ends
#               at once, and exactly "Hello" reaches the terminal, with nothing after it
#   open-input  standard input a pipe that never ends: the program ends at once with exactly
#               "Hello" on standard output
#   broken-pipe standard output a pipe whose reader has gone: the program keeps the default
#               action of SIGPIPE, so it ends by that signal (status 141), standard error empty
set -u
case=$1
shift
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT

# A FIFO opened for reading and writing never reaches end of file: standard input stays open
# for as long as the program runs, and a program that waits for it times out.
open_input() { mkfifo "$dir/in" && exec 3<>"$dir/in"; }

want=0
case $case in
closed) "$@" 2>"$dir/err" </dev/null >&- ;;
full) "$@" 2>"$dir/err" </dev/null >/dev/full ;;
terminal)
  command -v script >/dev/null || { echo "skipped: 'script' (util-linux) is not installed"; exit 77; }
  cmd=
  for arg; do cmd="$cmd '$arg'"; done
  open_input
  timeout -k 1 5 script -qec "$cmd" /dev/null <&3 >"$dir/out" 2>"$dir/err"
  ;;
open-input)
  open_input
  timeout -k 1 5 "$@" <&3 >"$dir/out" 2>"$dir/err"
  ;;
broken-pipe)
  # Open the write end while a reader exists, then close that reader.
  open_input && exec 4>"$dir/in" 3<&-
  want=141
  "$@" 2>"$dir/err" </dev/null >&4
  ;;
*) echo "unknown case: $case"; exit 2 ;;
esac
status=$?

fail() { echo "FAIL $case: $*"; exit 1; }
[ "$status" = "$want" ] || fail "exit status $status, expected $want"
[ ! -s "$dir/err" ] || fail "standard error: $(od -c "$dir/err")"
if [ -e "$dir/out" ]; then
  out=$(od -An -tx1 "$dir/out" | tr -d ' \n')
  [ "$out" = 48656c6c6f ] || fail "standard output [$out], expected [48656c6c6f]"
fi
echo "PASS $case"
