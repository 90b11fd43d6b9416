#!/bin/sh
# Starts and stops the Wine server of the prefix that WINEPREFIX names (of the kind WINEARCH
# names), and traces what the Windows program calls. Exits 77, which CTest reports as skipped,
# when a tool it needs is missing.
#
#   wine.sh start   make the prefix if need be, start its server and services, and leave a
#                   watcher that ends the server once the CTest run that started it has gone
#   wine.sh stop    end this run's watcher and the server
#   wine.sh calls OBJDUMP COMMAND...
#                   one run under Wine's relay trace, keeping the calls that the program's own
#                   code makes (their return address lies in its image): it opens, creates,
#                   removes or renames no file or folder, reads no handle, writes to nothing but
#                   standard output, and starts no thread or process
set -u
watcher=$WINEPREFIX.watcher
fail() { echo "FAIL $1 ($WINEARCH): $2"; exit 1; }

# A server left over from a run that was cut short would make 'wineserver -p' refuse to start,
# so any server of this prefix is stopped first, and waited for; and this prefix's watcher
# before it, so that it cannot end the server started next.
stop() {
  if [ -f "$watcher" ]; then
    kill "$(cat "$watcher")" 2>/dev/null
    rm -f "$watcher"
  fi
  wineserver -k >/dev/null 2>&1
  wineserver -w
}

case $1 in
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
    while kill -0 "$3" 2>/dev/null; do wineserver -k; sleep 1; done
    rm -f "$1"; wineserver -k' sh "$watcher" "$PPID" "$$" </dev/null >/dev/null 2>&1 &
  # The server is started apart, with its output in a log: one started by a test would
  # inherit that test's output pipe and hold it open until CTest gave up waiting.
  { wineserver -p && wineboot -i; } >"$log" 2>&1 || { cat "$log"; fail start "Wine did not start"; }
  : >"$WINEPREFIX/.complete"
  echo "PASS start ($WINEARCH): server up, prefix $(sed -n 's/^#arch=//p' "$WINEPREFIX/system.reg")"
  ;;
stop) stop ;;
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
  ordinal=$(echo "$exports" | sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] _iob$/\1/p')
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
