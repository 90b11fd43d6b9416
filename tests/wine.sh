#!/bin/sh
# Starts and stops the Wine server of the prefix that WINEPREFIX names (of the kind WINEARCH
# names), runs commands under Wine, and traces what the Windows program calls. Exits 77, which
# CTest reports as skipped, when the machine cannot do what it needs.
#
#   wine.sh start   choose how Wine's 32-bit side runs, make the prefix if need be, start its
#                   server and services, and leave a watcher that ends the server once the
#                   CTest run that started it has gone
#   wine.sh stop    end this run's watcher and the server
#   wine.sh run COMMAND...
#                   run a Wine command the way that 'start' chose
#   wine.sh test COMMAND...
#                   run a test, or report it skipped where 'start' found that Wine cannot run
#   wine.sh calls OBJDUMP COMMAND...
#                   one run under Wine's relay trace, keeping the calls that the program's own
#                   code makes (their return address lies in its image): it opens, creates,
#                   removes or renames no file or folder, reads no handle, writes to nothing but
#                   standard output, and starts no thread or process
#
# Wine's 32-bit side (its loader for 32-bit programs, in a 32-bit prefix and under WoW64 alike)
# is a 32-bit x86 Linux program. Where the host runs such programs, it runs natively. Where the
# host does not (a kernel without IA-32 emulation, or a host that is not x86), or where
# HELLO_WINE_ROUTE is "qemu", it runs under qemu-i386 (HELLO_QEMU_I386, qemu-user 10 or later),
# registered as their handler in a binfmt_misc that only Wine's own namespace sees. Nothing
# system-wide is registered or changed.
set -u
watcher=$WINEPREFIX.watcher
route=$WINEPREFIX.route
fail() { echo "FAIL $1 ($WINEARCH): $2"; exit 1; }
skip() { echo "skipped: $*" | tee "$route"; exit 77; }

# The ELF header of a 32-bit x86 program, executable (type 2) or position-independent (type 3),
# whatever its OS ABI: the bytes to match, and the bits of each that count.
elf_i386='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
elf_i386_mask='\xff\xff\xff\xff\xff\xff\xff\x00\x00\x00\x00\x00\x00\x00\x00\x00\xfe\xff\xff\xff'

# isolate QEMU COMMAND...: the command in a user and mount namespace of its own, where /tmp is
# this run's folder for temporary files, TMPDIR, in the build tree: Wine's server keeps its
# sockets in /tmp, and the command does not get TMPDIR, as Debian 13's server fails whenever it
# is set. With QEMU, the namespace's own binfmt_misc hands 32-bit x86 programs to that
# qemu-i386, which it opens as it registers it (flag F). The command runs one user namespace
# further in, as this user again, with no privilege, and leaves no core file: under qemu, Debian
# 13's Wine loses two of its driver hosts (winedevice.exe) to a segmentation fault as a 32-bit
# prefix starts, which a console program does not need. Status 125: no such namespace.
isolate() {
  unshare --user --map-root-user --mount sh -c '
    uid=$1 gid=$2 tmp=$3 elf=$4 mask=$5 qemu=$6 fs=/proc/sys/fs/binfmt_misc
    shift 6
    ulimit -c 0
    # A build tree under /tmp stays where it is: its first folder there is bound back in.
    case $tmp in
    /tmp/*/*)
      top=${tmp#/tmp/}
      top=${top%%/*}
      mkdir -p "$tmp/$top" && mount --rbind "/tmp/$top" "$tmp/$top" 2>/dev/null || exit 125
      ;;
    esac
    mount --rbind "$tmp" /tmp 2>/dev/null || exit 125
    if [ -n "$qemu" ]; then
      mount -t binfmt_misc binfmt_misc "$fs" 2>/dev/null &&
        printf "%s" ":hello-i386:M::$elf:$mask:$qemu:F" >"$fs/register" 2>/dev/null || exit 125
    fi
    exec unshare --user --map-user="$uid" --map-group="$gid" -- env -u TMPDIR "$@"' \
    sh "$(id -u)" "$(id -g)" "$TMPDIR" "$elf_i386" "$elf_i386_mask" "$@"
}

# skipped: says so, and exits, where 'start' found that Wine cannot run here.
skipped() { case $(cat "$route" 2>/dev/null) in skipped:*) cat "$route"; exit 77 ;; esac; }

# wine COMMAND...: the command, run as 'start' chose.
wine() {
  skipped
  case $(cat "$route" 2>/dev/null) in
  native) isolate "" "$@" ;;
  native-plain) "$@" ;;
  qemu*) isolate "$HELLO_QEMU_I386" "$@" ;;
  *) fail run "'wine.sh start' has not run" ;;
  esac
}

# choose: how Wine runs here, written to the route file, or a skip that says what is missing.
# Where the host runs 32-bit x86 programs, Wine runs natively: in a namespace of its own, or
# where user namespaces are refused, as it is, if its server bears TMPDIR. Elsewhere, or where
# HELLO_WINE_ROUTE is "qemu", Wine's 32-bit side runs under qemu-i386.
choose() {
  loader=/usr/lib/wine/wine
  [ -x "$loader" ] || skip "Wine's 32-bit side is not installed ($HELLO_WINE_HINT)"
  rm -f "$route"
  if [ "$HELLO_WINE_ROUTE" != qemu ] && "$loader" --version >/dev/null 2>&1; then
    if isolate "" true 2>/dev/null; then
      echo native >"$route"
      return
    fi
    probe=$TMPDIR/wine-probe
    mkdir -p "$probe" && WINEPREFIX=$probe LIBC_FATAL_STDERR_=1 wineserver -k >/dev/null 2>&1
    status=$?
    rm -rf "$probe"
    [ "$status" -lt 128 ] || skip "this Wine's server fails whenever TMPDIR is set, and running" \
      "it with a /tmp of its own needs user namespaces, which are refused here"
    echo native-plain >"$route"
    return
  fi
  need="this host cannot run Wine's 32-bit side, and running it under qemu-i386 needs"
  [ "$HELLO_WINE_ROUTE" != qemu ] || need="running Wine's 32-bit side under qemu-i386 needs"
  hint="$HELLO_QEMU_HINT; on Debian 12, with bookworm-backports enabled:"
  hint="$hint $(echo "$HELLO_QEMU_HINT" | sed 's/apt-get install/& -t bookworm-backports/')"
  [ -x "$HELLO_QEMU_I386" ] || skip "$need qemu-user 10 or later, which is not installed ($hint)"
  version=$("$HELLO_QEMU_I386" --version | sed -n '1s/^qemu-i386 version \([0-9.]*\).*/\1/p')
  [ "${version%%.*}" -ge 10 ] 2>/dev/null ||
    skip "$need qemu-user 10 or later, and this is ${version:-an unknown version} ($hint)"
  unshare --user true 2>/dev/null || skip "$need user namespaces, which are refused here"
  isolate "$HELLO_QEMU_I386" true 2>/dev/null ||
    skip "$need a binfmt_misc of a user namespace's own (Linux 6.7 or later)"
  echo "qemu $version" >"$route"
  wine "$loader" --version >/dev/null 2>&1 ||
    fail start "Wine's 32-bit loader does not run under qemu-i386 $version"
}

# A server left over from a run that was cut short would make 'wineserver -p' refuse to start,
# so any server of this prefix is stopped first, and waited for; and this prefix's watcher
# before it, so that it cannot end the server started next.
stop() {
  if [ -f "$watcher" ]; then
    kill "$(cat "$watcher")" 2>/dev/null
    rm -f "$watcher"
  fi
  case $(cat "$route" 2>/dev/null) in
  native* | qemu*)
    wine wineserver -k >/dev/null 2>&1
    wine wineserver -w
    ;;
  esac
}

case $1 in
start)
  log=$WINEPREFIX.log
  # A prefix whose making was cut short is half made, and Wine will not start in it: it is made
  # again. A prefix is complete once it has the mark left below.
  stop
  choose
  [ -f "$WINEPREFIX/.complete" ] || rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX" || exit 1
  # A run cut short never reaches 'stop'. The watcher, in a session of its own so that what
  # ends the run does not end it too, waits for CTest (this script's parent) to go, then ends
  # this prefix's server, again each second for as long as this script still runs (making a
  # new prefix takes a while, and may start the server again), and once more after it. It is
  # started before the server, so that no server is ever up without it.
  setsid sh -c 'echo $$ >"$1"; while kill -0 "$2" 2>/dev/null; do sleep 1; done
    while kill -0 "$3" 2>/dev/null; do sh "$4" run wineserver -k; sleep 1; done
    rm -f "$1"; sh "$4" run wineserver -k' sh "$watcher" "$PPID" "$$" "$0" </dev/null >/dev/null 2>&1 &
  # The server is started apart, with its output in a log: one started by a test would
  # inherit that test's output pipe and hold it open until CTest gave up waiting.
  { wine wineserver -p && wine wineboot -i; } >"$log" 2>&1 || { cat "$log"; fail start "Wine did not start"; }
  : >"$WINEPREFIX/.complete"
  how=natively
  case $(cat "$route") in qemu*) how="under $(sed 's/^qemu/qemu-i386/' "$route")" ;; esac
  # Only a 64-bit prefix has a folder for 32-bit programs beside its own.
  kind=win32
  [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] || kind=win64
  echo "PASS start ($WINEARCH): server up, prefix $kind," \
    "Wine's 32-bit side runs $how"
  ;;
stop)
  skipped
  stop
  ;;
run)
  shift
  wine "$@"
  ;;
test)
  shift
  skipped
  exec "$@"
  ;;
calls)
  objdump=$2
  shift 2
  dir=$(mktemp -d) || exit 1
  trap 'rm -rf "$dir"' EXIT
  eval "program=\${$#}"
  size=$("$objdump" -p "$program" | sed -n 's/^SizeOfImage[[:space:]]*//p')
  WINEDEBUG=+pid,+loaddll,+relay "$@" </dev/null >"$dir/out" 2>"$dir/trace"
  status=$?
  [ "$status" = 0 ] || fail calls "exit status $status"
  [ "$(od -An -tx1 "$dir/out" | tr -d ' \n')" = 48656c6c6f ] || fail calls "standard output"
  # The program's process, and where the program and msvcrt.dll were loaded in it: other Wine
  # processes may be in the trace too, and load at the same address.
  name=$(basename "$program")
  loaded=$(grep -F "\\\\$name\" at " "$dir/trace" | head -n 1)
  [ -n "$loaded" ] || fail calls "no '$name' loaded in the trace"
  at() { sed -n 's/.*" at \([0-9A-Fa-f]*\):.*/\1/p'; }
  pid=${loaded%%:*}
  base=$(echo "$loaded" | at)
  crt=$(grep "^$pid:.*Loaded L\".*\\\\msvcrt\.dll\" at " "$dir/trace" | at)
  # msvcrt's standard output stream is the second FILE (32 bytes each) of its export _iob,
  # read off the 32-bit msvcrt.dll in the prefix.
  for dll in "$WINEPREFIX"/drive_c/windows/syswow64/msvcrt.dll "$WINEPREFIX"/drive_c/windows/system32/msvcrt.dll; do
    [ -f "$dll" ] && break
  done
  exports=$("$objdump" -p "$dll")
  # binutils 2.40 lists a name as "[ 429] _iob", 2.44 as "[ 429] +base[ 430]  01ad _iob".
  ordinal=$(echo "$exports" | sed -En 's/^[[:space:]]*\[ *([0-9]+)\]( \+base\[ *[0-9]+\] +[0-9a-f]+)? _iob$/\1/p')
  rva=$(echo "$exports" | sed -n "s/^[[:space:]]*\[ *$ordinal\] +base\[ *[0-9]*\] *\([0-9a-f]*\) Export RVA.*/\1/p")
  [ -n "$crt" ] && [ -n "$rva" ] || fail calls "msvcrt.dll's _iob not found"
  # Addresses as 8 lower-case hex digits, as Wine prints them, so that awk compares them as
  # strings.
  low=$(printf %08x "$((0x$base))")
  high=$(printf %08x "$((0x$base + 0x$size))")
  stdout_stream=$(printf %08x "$((0x$crt + 0x$rva + 0x20))")
  # Lines are pid:tid:Call DLL.Function(arguments) ret=address. Kept: the calls from the
  # program's image, each followed by what it breaks, if anything. Standard output's handle
  # is what GetStdHandle(STD_OUTPUT_HANDLE) returned in the process, whoever asked.
  LC_ALL=C awk -v pid="$pid" -v low="$low" -v high="$high" -v stream="$stdout_stream" '
    function last(args) { sub(/\)$/, "", args); sub(/.*,/, "", args); return args }
    function first(args) { sub(/^[^(]*\(/, "", args); sub(/[,)].*/, "", args); return args }
    index($0, pid ":") != 1 { next }
    function thread(line) { sub(/:(Call|Ret) .*/, "", line); return line }
    /:Call KERNEL32\.GetStdHandle\(fffffff5\)/ && asked == "" { asked = thread($0); next }
    /:Ret  KERNEL32\.GetStdHandle\(\)/ && thread($0) == asked && handle == "" {
      handle = $0; sub(/.*retval=/, "", handle); sub(/ .*/, "", handle); next
    }
    !/:Call / { next }
    {
      ret = $0; sub(/.* ret=/, "", ret)
      if (length(ret) != 8 || ret < low || ret >= high) next
      call = $0; sub(/^[^ ]*:Call /, "", call); sub(/ ret=[0-9a-f]*$/, "", call)
      fn = call; sub(/\(.*/, "", fn); sub(/.*\./, "", fn)
      why = ""
      if (fn ~ /^(Nt)?WriteFile(Ex|Gather)?$|^WriteConsole(Output)?[AW]?$/ && first(call) != handle)
        why = "a write to a handle other than standard output (" handle ")"
      else if (fn == "_write" && first(call) != "00000001")
        why = "a write to a descriptor other than 1"
      else if (fn ~ /^(_?fwrite(_nolock)?|fputw?s|_?fputw?c(_nolock)?|putw?c)$/ && last(call) != stream)
        why = "a write to a stream other than stdout (" stream ")"
      else if (fn ~ /^v?fw?printf(_s)?$/ && first(call) != stream)
        why = "a write to a stream other than stdout (" stream ")"
      print call (why == "" ? "" : "   <- " why)
    }' "$dir/trace" >"$dir/calls"
  [ -s "$dir/calls" ] || fail calls "the trace holds no call from the program's image"
  file='(CreateFile[AW2]?|OpenFile|_lopen|_lcreat|Nt(Create|Open|Delete)File|_w?fopen(_s)?|fopen(_s)?'
  file=$file'|_w?fsopen|_w?freopen|freopen|_w?sopen(_s)?|_w?open|_w?creat|tmpfile|DeleteFile[AW]'
  file=$file'|(Create|Remove)Directory(Ex)?[AW]|_w?mkdir|_w?rmdir|_w?unlink|_w?remove|remove|_w?rename|rename'
  file=$file'|(Move|Copy|Replace)File(Ex|WithProgress)?[AW]|Create(Hard|Symbolic)Link[AW]|FindFirstFile(Ex)?[AW]'
  file=$file'|_w?findfirst|SetFileInformationByHandle|NtSetInformationFile)'
  read='((Nt)?ReadFile(Ex|Scatter)?|ReadConsole(Input)?[AW]?|PeekConsoleInput[AW]|_read|fread|fgetw?c|getw?c'
  read=$read'|_getw?c_nolock|fgetw?s|getw?char|_?getws|gets|f?w?scanf|_getw?ch|_getw?che|_kbhit)'
  start='(Create(Remote)?Thread(Ex)?|_beginthread(ex)?|NtCreateThread(Ex)?|NtCreate(User)?Process(Ex)?'
  start=$start'|RtlCreateUserThread|CreateProcess(AsUser|WithLogon)?[AW]|WinExec|ShellExecute(Ex)?[AW]|_w?system'
  start=$start'|_w?spawn[lv]p?e?|_w?exec[lv]p?e?|_w?popen|QueueUserWorkItem|CreateThreadpool(Work|Timer|Wait)'
  start=$start'|TrySubmitThreadpoolCallback|perror|_cw?printf|_putw?ch)'
  broken=$(grep -E "^[A-Za-z0-9_]+\.($file|$read|$start)\(|   <- " "$dir/calls")
  [ -z "$broken" ] || fail calls "calls it must not make:
$broken"
  echo "PASS calls ($WINEARCH): $(wc -l <"$dir/calls") calls from the program, to" \
    "$(sed 's/(.*//' "$dir/calls" | sort -u | wc -l) functions, none it must not make"
  ;;
*) echo "unknown action: $1"; exit 2 ;;
esac
