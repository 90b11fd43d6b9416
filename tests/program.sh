#!/bin/sh
# Every behaviour of the program, one row each, and the runner that checks one row:
#
#   program.sh CASE OS COMMAND...
#
# OS is linux or windows, the system the program is built for; COMMAND runs it: the program
# itself, or its emulator (qemu, or Wine through wine.sh) and then the program. The row runs it
# once, in an empty folder, as its columns say, and then checks that the exit status is the
# row's, that nothing reached standard error, that standard output, where it can be read, holds
# exactly "Hello", and that the folder is still empty. tests/CMakeLists.txt makes a test of
# each row that the target can run, so adding a row adds a test.
#
#   on       all; or linux, or windows, for the few rows that differ between them
#   needs    a tool the row needs beside the program, or -
#   env      -; empty (no variable at all), no-locale (a locale no system has, in every locale
#            variable), large (five thousand variables)
#   stdin    null (/dev/null); open (a pipe that never ends: the program must not wait for it)
#   stdout   file; pipe (read through od, so a stray NUL counts); closed; full (/dev/full);
#            gone (a pipe whose reader has gone); terminal (script's, with standard input one
#            that never ends, byte for byte); screen (a tmux terminal as all three streams, as a
#            person at a console has it: within seconds, with nothing typed, the screen shows
#            "Hello" and the shell's "<status>" right after it, on the same line); calls (one
#            run traced: see calls() below)
#   status   the exit status
#   and then the arguments, as shell words
table() {
#   case              on       needs   env        stdin  stdout    status  arguments
row no-arguments      all      -       -          null   file      0
row through-a-pipe    all      -       -          null   pipe      0
row options           all      -       -          null   file      0       --help -h -v --version '/?' /help -
row wildcards         all      -       -          null   file      0       '*' '?' '*.*' '[a-z]*' '~' ...
row empty-and-blank   all      -       -          null   file      0       '' ' ' "$tab" "two${nl}lines" '' 'a b'
row shell-and-quotes  all      -       -          null   file      0       '"' "'" '\' 'a;b' '[' '$HOME' '%PATH%' '|' '>out' '<in' '&&'
row non-ascii         all      -       -          null   file      0       héllo Привет 日本語 "$invalid_utf8"
row many-arguments    all      -       -          null   file      0       $many
row empty-environment linux    -       empty      null   file      0
row missing-locale    all      -       no-locale  null   file      0
row large-environment all      -       large      null   file      0
row closed            all      -       -          null   closed    0
row full              all      -       -          null   full      0
row open-input        all      -       -          open   file      0
row terminal          linux    script  -          open   terminal  0
row console           all      tmux    -          null   screen    0
row broken-pipe       linux    -       -          null   gone      141
row broken-pipe       windows  -       -          null   gone      0
row calls             all      strace  -          null   calls     0
}
set -u
# The shells that script and tmux start are this one, whatever the user's login shell is.
SHELL=/bin/sh
export SHELL
unset TMUX TMUX_TMPDIR
case=$1 os=$2
shift 2
eval "program=\${$#}"
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/cwd" && cd "$dir/cwd" || exit 1
fail() { echo "FAIL $case: $*"; exit 1; }
# quote WORD...: the words as the shell reads them back.
quote() { for word; do printf " '%s'" "$(printf '%s' "$word" | sed "s/'/'\\\\''/g")"; done; }
command=$(quote "$@")
tab=$(printf '\t')
nl='
'
invalid_utf8=$(printf '\300\377')
many=$(seq -f 'argument-%g' 1000)
limit="timeout -k 1 10"

row() {
  [ "$1" = "$case" ] && { [ "$2" = all ] || [ "$2" = "$os" ]; } || return 0
  env=$4 stdin=$5 stdout=$6 want=$7
  shift 7
  eval "set -- $command \"\$@\""
  case $env in
  empty) set -- env -i "$@" ;;
  no-locale) for name in LC_ALL LC_CTYPE LC_MESSAGES LANG LANGUAGE; do export "$name=xx_XX.UTF-8"; done ;;
  large) i=0; while [ "$((i += 1))" -le 5000 ]; do export "HELLO_FILLER_$i=value-$i"; done ;;
  esac
  # A FIFO opened for reading and writing never reaches its end: standard input stays open
  # for as long as the program runs, and a program that waits for it times out.
  mkfifo "$dir/in" "$dir/gone" || exit 1
  if [ "$stdin" = open ]; then exec 3<>"$dir/in"; else exec 3</dev/null; fi
  case $stdout in
  file) $limit "$@" <&3 >"$dir/out" 2>"$dir/err" ;;
  pipe)
    { $limit "$@" <&3 2>"$dir/err"; echo "$?" >"$dir/status"; } | od -An -tx1 -v >"$dir/hex"
    read -r status <"$dir/status"
    (exit "$status")
    ;;
  closed) $limit "$@" <&3 2>"$dir/err" >&- ;;
  full) $limit "$@" <&3 2>"$dir/err" >/dev/full ;;
  gone)
    # The write end is opened while a reader exists; then that reader is closed.
    exec 4<>"$dir/gone" 5>"$dir/gone" 4<&-
    $limit "$@" <&3 2>"$dir/err" >&5
    ;;
  terminal) timeout -k 1 5 script -qec "$(quote "$@")" /dev/null <&3 >"$dir/out" 2>"$dir/err" ;;
  screen) screen "$@" ;;
  calls) calls "$@" ;;
  esac
  status=$?
  [ "$status" = "$want" ] || fail "exit status $status, expected $want"
  [ ! -s "$dir/err" ] || fail "standard error: $(od -c "$dir/err" | head -c 2000)"
  [ ! -e "$dir/out" ] || od -An -tx1 -v "$dir/out" >"$dir/hex"
  if [ -e "$dir/hex" ]; then
    out=$(tr -d ' \n' <"$dir/hex")
    [ "$out" = 48656c6c6f ] || fail "standard output [$out], expected [48656c6c6f]"
  fi
  left=$(ls -A)
  [ -z "$left" ] || fail "files left behind: $left"
  echo "PASS $case"
  exit 0
}

# screen COMMAND...: the command in a tmux terminal of a server of its own, on a socket in this
# run's folder, named relative to it, as a socket's path is limited to about 100 bytes. The
# server takes this environment (Wine's variables included) into the pane, whose shell stays
# alive until the screen has been read; the server and its socket go with the folder.
screen() {
  tmux() { command tmux -S ../tmux -f /dev/null "$@"; }
  trap 'tmux kill-server 2>/dev/null; rm -rf "$dir"' EXIT
  tmux new-session -d -x 80 -y 5 sh -c '"$@"; printf "<%s>" "$?"; exec sleep 60' sh "$@" || exit 1
  for _ in $(seq 50); do
    shown=$(tmux capture-pane -p) || exit 1
    case $shown in *\>*) break ;; esac
    sleep 0.1
  done
  [ "$shown" = "Hello<0>" ] || fail "the terminal shows [$shown], expected [Hello<0>]"
}

# calls COMMAND...: one run under strace, under qemu's own trace where qemu runs the program
# (strace would trace qemu), or under Wine's relay trace, which wine.sh reads. The program
# writes the five bytes to standard output, reads nothing from standard input, writes to
# nothing else, opens no file (the dynamic loader's own excepted), creates, removes or renames
# nothing, and starts no thread or process.
calls() {
  if [ "$os" = windows ]; then
    WINEDEBUG=+pid,+loaddll,+relay $limit "$@" <&3 >"$dir/out" 2>"$dir/relay" &&
      sh "$(dirname "$0")/wine.sh" calls "$HELLO_OBJDUMP" "$program" "$dir/relay"
    return
  fi
  case ${1##*/} in
  qemu-*) QEMU_STRACE=1 QEMU_LOG_FILENAME=$dir/trace $limit "$@" <&3 >"$dir/out" 2>"$dir/err" ;;
  *)
    # The first line is the program's own start.
    $limit strace -f -qq -o "$dir/strace" "$@" <&3 >"$dir/out" 2>"$dir/err"
    tail -n +2 "$dir/strace" >"$dir/trace"
    ;;
  esac || return
  # Every call that would break a promise. A read-only open of the loader's cache or of a
  # shared library is the loader's.
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
}

table
echo "program.sh: no row $case for $os"
exit 2
