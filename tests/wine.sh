#!/bin/sh
# Chooses how Wine runs here, starts and stops the Wine server of the prefix that WINEPREFIX
# names (of the kind WINEARCH names), runs commands under Wine, checks what the Windows program
# calls, and checks that no server outlives a run cut short.
#
#   wine.sh route   how Wine's 32-bit side can run here, which configure asks once: "native",
#                   "native-plain" (without a namespace of its own), "qemu <version>", or
#                   "skipped: <what is missing>"; the tests get the answer as HELLO_WINE_RUN
#   wine.sh start   make the prefix if need be, start its server and services, and leave a
#                   watcher that ends the server once the CTest run that started it has gone
#   wine.sh stop    end this run's watcher and the server
#   wine.sh run COMMAND...
#                   run a Wine command the way that 'route' chose
#   wine.sh calls OBJDUMP PROGRAM TRACE
#                   read one run's relay trace, keeping the calls that the program's own code
#                   makes (their return address lies in its image): it opens, creates, removes
#                   or renames no file or folder, reads no handle, writes to nothing but
#                   standard output, and starts no thread or process
#   wine.sh cut making|started
#                   cut a run short, as when CTest is killed, while the prefix is being made or
#                   once its server is up: no server of the prefix is left a minute later
#
# Wine's 32-bit side (its loader for 32-bit programs, in a 32-bit prefix and under WoW64 alike)
# is a 32-bit x86 Linux program. Where the host runs such programs, it runs natively. Where the
# host does not (a kernel without IA-32 emulation, or a host that is not x86), or where
# HELLO_WINE_ROUTE is "qemu", it runs under qemu-i386 (HELLO_QEMU_I386, of the qemu-user
# version that the tools table asks for), registered as their handler in a binfmt_misc that
# only Wine's own namespace sees. Nothing system-wide is registered or changed.
set -u
tools=$(dirname "$0")/../cmake/tools.sh
fail() { echo "FAIL $1 (${WINEARCH-}): $2"; exit 1; }
skip() { echo "skipped: $*"; exit 0; }

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

# wine COMMAND...: the command, run as 'route' chose.
wine() {
  case ${HELLO_WINE_RUN-} in
  native) isolate "" "$@" ;;
  native-plain) "$@" ;;
  qemu*) isolate "$HELLO_QEMU_I386" "$@" ;;
  *) fail run "Wine cannot run here: ${HELLO_WINE_RUN-no route was chosen}" ;;
  esac
}

# route: how Wine runs here, or a skip that says what is missing. Where the host runs 32-bit
# x86 programs, Wine runs natively: in a namespace of its own, or where user namespaces are
# refused, as it is, if its server bears TMPDIR. Elsewhere, or where HELLO_WINE_ROUTE is
# "qemu", Wine's 32-bit side runs under qemu-i386.
route() {
  loader=/usr/lib/wine/wine
  [ -x "$loader" ] || skip "Wine's 32-bit side is not installed ($(sh "$tools" hint wine))"
  if [ "$HELLO_WINE_ROUTE" != qemu ] && "$loader" --version >/dev/null 2>&1; then
    if isolate "" true 2>/dev/null; then
      echo native
      return
    fi
    probe=$TMPDIR/wine-probe
    mkdir -p "$probe" && WINEPREFIX=$probe LIBC_FATAL_STDERR_=1 wineserver -k >/dev/null 2>&1
    status=$?
    rm -rf "$probe"
    [ "$status" -lt 128 ] || skip "this Wine's server fails whenever TMPDIR is set, and running" \
      "it with a /tmp of its own needs user namespaces, which are refused here"
    echo native-plain
    return
  fi
  need="this host cannot run Wine's 32-bit side, and running it under qemu-i386 needs"
  [ "$HELLO_WINE_ROUTE" != qemu ] || need="running Wine's 32-bit side under qemu-i386 needs"
  least=$(sh "$tools" version qemu)
  least=${least#*:}
  hint=$(sh "$tools" hint qemu)
  backports=$(. /etc/os-release && echo "${VERSION_CODENAME:-<release>}-backports")
  hint="$hint; where the release has an older one, from its backports: $(echo "$hint" |
    sed "s/apt-get install/& -t $backports/")"
  need="$need qemu-user ${least%%[.-]*} or later"
  [ -x "$HELLO_QEMU_I386" ] || skip "$need, which is not installed ($hint)"
  version=$("$HELLO_QEMU_I386" --version | sed -n '1s/^qemu-i386 version \([0-9.]*\).*/\1/p')
  dpkg --compare-versions "${version:-0}" ge "$least" ||
    skip "$need, and this is ${version:-an unknown version} ($hint)"
  unshare --user true 2>/dev/null || skip "$need user namespaces, which are refused here"
  isolate "$HELLO_QEMU_I386" true 2>/dev/null ||
    skip "$need a binfmt_misc of a user namespace's own (Linux 6.7 or later)"
  echo "qemu $version"
}

# A server left over from a run that was cut short would make 'wineserver -p' refuse to start,
# so any server of this prefix is stopped first, and waited for; and this prefix's watcher
# before it, so that it cannot end the server started next.
stop() {
  if [ -f "$WINEPREFIX.watcher" ]; then
    kill "$(cat "$WINEPREFIX.watcher")" 2>/dev/null
    rm -f "$WINEPREFIX.watcher"
  fi
  wine wineserver -k >/dev/null 2>&1
  wine wineserver -w
}

# servers: the Wine servers of this prefix that are up, by process id.
servers() {
  for environ in /proc/[0-9]*/environ; do
    p=${environ%/environ}
    case $(cat "$p/comm" 2>/dev/null) in wineserver*) ;; *) continue ;; esac
    tr '\0' '\n' <"$environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "${p#/proc/}"
  done
}

case $1 in
route) route ;;
start)
  log=$WINEPREFIX.log
  # A prefix whose making was cut short is half made, and Wine will not start in it: it is made
  # again. A prefix is complete once it has the mark left below.
  stop
  [ -f "$WINEPREFIX/.complete" ] || rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX" || exit 1
  # A run cut short never reaches 'stop'. The watcher, in a session of its own so that what
  # ends the run does not end it too, waits for CTest (this script's parent) to go, then ends
  # this prefix's server, again each second for as long as this script still runs (making a
  # new prefix takes a while, and may start the server again), and once more after it. It is
  # started before the server, so that no server is ever up without it.
  setsid sh -c 'echo $$ >"$1"; while kill -0 "$2" 2>/dev/null; do sleep 1; done
    while kill -0 "$3" 2>/dev/null; do sh "$4" run wineserver -k; sleep 1; done
    rm -f "$1"; sh "$4" run wineserver -k' sh "$WINEPREFIX.watcher" "$PPID" "$$" "$0" \
    </dev/null >/dev/null 2>&1 &
  # The server is started apart, with its output in a log: one started by a test would
  # inherit that test's output pipe and hold it open until CTest gave up waiting.
  { wine wineserver -p && wine wineboot -i; } >"$log" 2>&1 || { cat "$log"; fail start "Wine did not start"; }
  : >"$WINEPREFIX/.complete"
  how=natively
  case $HELLO_WINE_RUN in qemu*) how="under qemu-i386 ${HELLO_WINE_RUN#qemu }" ;; esac
  # Only a 64-bit prefix has a folder for 32-bit programs beside its own.
  kind=win32
  [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] || kind=win64
  echo "PASS start ($WINEARCH): server up, prefix $kind, Wine's 32-bit side runs $how"
  ;;
stop) stop ;;
run)
  shift
  wine "$@"
  ;;
cut)
  # A stand-in for CTest starts 'start' and is killed, as CTest is when a run is cut short:
  # while the prefix is being made (a new one: its server is up and 'start' still runs), or
  # once 'start' is done.
  when=$2
  [ "$when" = started ] || rm -rf "$WINEPREFIX"
  rm -f "$WINEPREFIX.started"
  sh -c 'sh "$0" start >"$1.cut.log" 2>&1 && : >"$1.started"; exec sleep 600' "$0" "$WINEPREFIX" &
  stand_in=$!
  for _ in $(seq 600); do
    if [ "$when" = started ]; then
      [ ! -f "$WINEPREFIX.started" ] || break
    else
      [ -z "$(servers)" ] || break
    fi
    kill -0 "$stand_in" 2>/dev/null || { cat "$WINEPREFIX.cut.log"; fail cut "'start' stopped ($when)"; }
    sleep 0.5
  done
  [ -n "$(servers)" ] || { cat "$WINEPREFIX.cut.log"; fail cut "no server was up to cut short ($when)"; }
  starter=$(pgrep -P "$stand_in")
  kill -KILL "$stand_in"
  for _ in $(seq 60); do
    [ -n "$(servers)" ] || break
    sleep 1
  done
  left=$(servers)
  # 'start', cut off from its parent, ends by itself: it is waited for, and a prefix whose
  # making was cut short goes with it.
  for p in $starter; do
    while kill -0 "$p" 2>/dev/null; do sleep 1; done
  done
  [ "$when" = started ] || rm -rf "$WINEPREFIX"
  [ -z "$left" ] || fail cut "a Wine server of the prefix outlived a run cut short ($when) by a minute"
  echo "PASS cut ($when): no Wine server of the prefix a minute after the run was cut short"
  ;;
calls)
  objdump=$2 program=$3 trace=$4
  size=$("$objdump" -p "$program" | sed -n 's/^SizeOfImage[[:space:]]*//p')
  # The program's process, and where the program and msvcrt.dll were loaded in it: other Wine
  # processes may be in the trace too, and load at the same address.
  name=$(basename "$program")
  loaded=$(grep -F "\\\\$name\" at " "$trace" | head -n 1)
  [ -n "$loaded" ] || fail calls "no '$name' loaded in the trace"
  at() { sed -n 's/.*" at \([0-9A-Fa-f]*\):.*/\1/p'; }
  pid=${loaded%%:*}
  base=$(echo "$loaded" | at)
  crt=$(grep "^$pid:.*Loaded L\".*\\\\msvcrt\.dll\" at " "$trace" | at)
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
    }' "$trace" >"$trace.calls"
  [ -s "$trace.calls" ] || fail calls "the trace holds no call from the program's image"
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
  broken=$(grep -E "^[A-Za-z0-9_]+\.($file|$read|$start)\(|   <- " "$trace.calls")
  [ -z "$broken" ] || fail calls "calls it must not make:
$broken"
  echo "PASS calls ($WINEARCH): $(wc -l <"$trace.calls") calls from the program, to" \
    "$(sed 's/(.*//' "$trace.calls" | sort -u | wc -l) functions, none it must not make"
  ;;
*) echo "unknown action: $1"; exit 2 ;;
esac
