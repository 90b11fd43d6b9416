#!/bin/sh
# Runs the greeter where its standard streams are something only a POSIX shell sets up, and
# checks the result. Exits 77, which CTest reports as skipped, when the machine cannot do what
# a case needs.
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
#   broken-pipe-win  the same for a Windows program, where no such signal exists: the write
#               fails and the program ends with status 0, standard error empty
#   syscalls    one run under strace, or under qemu's own trace where qemu runs it: it writes
#               the five bytes to standard output, reads nothing from standard input, writes
#               to nothing else, opens no file (the dynamic loader's own excepted), creates,
#               removes or renames nothing, and starts no thread or process
#   console     a tmux terminal as standard input, output and error, as a person at a console
#               has it: within a few seconds and with nothing typed, the screen shows "Hello"
#               and, on the same line right after it, the exit status the shell prints
set -u
# The shells that script and tmux start are this one, whatever the user's login shell is.
SHELL=/bin/sh
export SHELL
unset TMUX TMUX_TMPDIR
case=$1
shift
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL $case: $*"; exit 1; }
skip() { echo "skipped: $*"; exit 77; }

# A FIFO opened for reading and writing never reaches end of file: standard input stays open
# for as long as the program runs, and a program that waits for it times out.
open_input() { mkfifo "$dir/in" && exec 3<>"$dir/in"; }

want=0
case $case in
closed) "$@" 2>"$dir/err" </dev/null >&- ;;
full) "$@" 2>"$dir/err" </dev/null >/dev/full ;;
terminal)
  # script takes one command line for the shell, so each word is quoted for it: inside single
  # quotes, a single quote is written as '\''.
  cmd=
  for arg; do cmd="$cmd '$(printf '%s\n' "$arg" | sed "s/'/'\\\\''/g")'"; done
  open_input
  timeout -k 1 5 script -qec "$cmd" /dev/null <&3 >"$dir/out" 2>"$dir/err"
  ;;
open-input)
  open_input
  timeout -k 1 5 "$@" <&3 >"$dir/out" 2>"$dir/err"
  ;;
broken-pipe|broken-pipe-win)
  # Open the write end while a reader exists, then close that reader.
  open_input && exec 4>"$dir/in" 3<&-
  want=141
  [ "$case" = broken-pipe ] || want=0
  "$@" 2>"$dir/err" </dev/null >&4
  ;;
syscalls)
  case ${1##*/} in
  qemu-*)
    # Not with standard output closed: the log would take its descriptor.
    QEMU_STRACE=1 QEMU_LOG_FILENAME=$dir/trace "$@" </dev/null >"$dir/out" 2>"$dir/err"
    ;;
  *)
    strace -o /dev/null true 2>/dev/null || skip "strace may not trace processes here"
    # The first line is the program's own start.
    strace -f -qq -o "$dir/strace" "$@" </dev/null >"$dir/out" 2>"$dir/err"
    tail -n +2 "$dir/strace" >"$dir/trace"
    ;;
  esac
  ;;
console)
  # A server of its own, on a socket in this run's folder, named relative to it, as a socket's
  # path is limited to about 100 bytes; the server keeps the folder as its own. It takes this
  # environment (Wine's variables included) into the pane. The pane's shell stays alive until
  # the screen has been read; the server and its socket go with the folder.
  cd "$dir" || exit 1
  tmux() { command tmux -S ./tmux -f /dev/null "$@"; }
  trap 'tmux kill-server 2>/dev/null; cd / && rm -rf "$dir"' EXIT
  tmux new-session -d -x 80 -y 5 sh -c '"$@"; printf "<%s>" "$?"; exec sleep 60' sh "$@" || exit 1
  for _ in $(seq 50); do
    screen=$(tmux capture-pane -p) || exit 1
    case $screen in *\>*) break ;; esac
    sleep 0.1
  done
  [ "$screen" = "Hello<0>" ] || fail "the terminal shows [$screen], expected [Hello<0>]"
  ;;
*) echo "unknown case: $case"; exit 2 ;;
esac
status=$?

[ "$status" = "$want" ] || fail "exit status $status, expected $want"
[ ! -s "$dir/err" ] || fail "standard error: $(od -c "$dir/err")"
if [ -e "$dir/out" ]; then
  out=$(od -An -tx1 "$dir/out" | tr -d ' \n')
  [ "$out" = 48656c6c6f ] || fail "standard output [$out], expected [48656c6c6f]"
fi
if [ -e "$dir/trace" ]; then
  # Every call that would break a promise. The first execve is the program's own start; a
  # read-only open of the loader's cache or of a shared library is the loader's.
  calls='(read|readv|pread64|preadv2?|recv|recvfrom|recvmsg)\(0,'
  calls=$calls'|(write|writev|pwrite64|pwritev2?|send|sendto|sendmsg|sendfile)\(([02-9]|1[0-9])'
  calls=$calls'|(open|openat2?|creat|open_by_handle_at)\('
  calls=$calls'|(mkdir|mknod|unlink|rmdir|rename|link|symlink)(at2?)?\(|f?truncate\('
  calls=$calls'|(clone3?|fork|vfork|execve|execveat)\('
  loader='open(at)?\((AT_FDCWD, )?"(/etc/ld\.so\.(cache|preload)|/[^"]*\.so(\.[0-9]+)*)"'
  loader=$loader', O_RDONLY\|O_CLOEXEC\)'
  broken=$(grep -E "^[0-9]+ +($calls)" "$dir/trace" | grep -vE "^[0-9]+ +$loader")
  [ -z "$broken" ] || fail "system calls it must not make:
$broken"
  # A trace that holds no write of the greeting has stopped working.
  grep -Eq '^[0-9]+ +write\(1, ?[^,]+, ?5\) += 5' "$dir/trace" ||
    fail "the trace shows no write of 5 bytes to standard output: $(head -c 2000 "$dir/trace")"
fi
echo "PASS $case"
