#!/bin/sh
# The one reader of tools.txt, beside it: every tool that the build, the tests, the packages or
# the benchmark call, and the Debian packages that bring it. CI's install, the configure step's
# hints and the benchmark ask it.
#
#   tools.sh packages [TOOL...]   the packages of those tools (of all, with none named), one a
#                                 line, as the table writes them: NAME, NAME:ARCH, NAME? (only
#                                 where the release has it), NAME>=VERSION (Debian's version)
#   tools.sh hint TOOL...         the command that installs them, as a user with sudo types it
#   tools.sh version TOOL         the least version of its package that the table asks for
set -eu
table=$(dirname "$0")/tools.txt
what=$1
shift
packages=$(LC_ALL=C awk -v tools=" $* " '
  /^#/ || NF < 2 { next }
  tools == "  " || index(tools, " " $1 " ") { for (i = 2; i <= NF; i++) print $i; found[$1] = 1 }
  END {
    n = split(tools, asked, " ")
    for (i = 1; i <= n; i++) if (!(asked[i] in found)) { print "tools.sh: no tool " asked[i] " in " FILENAME > "/dev/stderr"; exit 1 }
  }' "$table")
case $what in
packages) printf '%s\n' "$packages" ;;
hint)
  names=$(printf '%s\n' "$packages" | sed 's/[?]$//; s/>=.*//' | awk '!seen[$0]++' | tr '\n' ' ')
  hint="sudo apt-get install ${names% }"
  case $names in *:i386*) hint="sudo dpkg --add-architecture i386 && sudo apt-get update && $hint" ;; esac
  echo "$hint"
  ;;
version) printf '%s\n' "$packages" | sed -n 's/^[^>]*>=//p' ;;
*) echo "tools.sh: unknown request $what" >&2; exit 2 ;;
esac
