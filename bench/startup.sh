#!/usr/bin/env bash
# Measures what the greeter costs from start to exit, which is the whole of its cost: the builds
# of the default and clang presets against the floor (a static C program making one write call),
# two peers, and on x86-64 a program of two system calls with no C library, all in one run on
# this machine, and prints a Markdown table.
# Usage: bench/startup.sh [RUNS], default 2000 timed runs.
set -euo pipefail
trap 'echo "startup.sh: failed (status $?) at line $LINENO: $BASH_COMMAND" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-2000}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "usage: bench/startup.sh [RUNS], RUNS a positive number" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

missing=()
for tool in hyperfine valgrind /usr/bin/time cc c++ clang++ ld.lld cmake; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if ((${#missing[@]})); then
  echo "missing: ${missing[*]} ($(sh "$root/cmake/tools.sh" hint hyperfine valgrind time g++ cmake clang++ ld.lld libc++))" >&2
  exit 1
fi

# The builds are made in the work folder, apart from the checkout's own, with whichever
# generator the user has; the programs are then named relative to it, as hyperfine splits its
# commands at spaces.
echo "building..." >&2
cd "$root"
{
  for preset in default clang; do
    cmake --preset $preset -B "$work/build-$preset"
    cmake --build "$work/build-$preset" --config Release
    cmake --install "$work/build-$preset" --config Release --prefix "$work/$preset" --strip
  done
  c++ -O2 xs05kn5.cpp -o "$work/hello-dynamic"
  cc -O2 -static bench/floor.c -o "$work/floor"
  if [ "$(uname -m)" = x86_64 ]; then
    cc -O2 -static -nostdlib bench/bare.c -o "$work/bare"
  fi
} >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; echo "startup.sh: the build failed" >&2; exit 1; }
cd "$work"
cp "$(type -P printf)" printf

names=("floor (static C, one write)" "hello (default preset, installed)"
  "hello (clang preset, installed)" "hello (c++ -O2, dynamic)" "printf Hello (coreutils)")
programs=(./floor ./default/bin/hello ./clang/bin/hello ./hello-dynamic ./printf)
if [ -e bare ]; then
  names+=("two system calls, no C library")
  programs+=(./bare)
fi

# The machine's speed drifts over a run, so the timed runs are split into rounds, each program
# taking its turn at going first, and each program's time is the median of its round medians.
rounds=10
per_round=$(((runs + rounds - 1) / rounds))
echo "timing, $rounds rounds of $per_round runs each..." >&2
for round in $(seq 0 $((rounds - 1))); do
  timing=()
  for k in "${!names[@]}"; do
    i=$(((k + round) % ${#names[@]}))
    timing+=(-n "$i" "${programs[$i]} Hello")
  done
  hyperfine -N --style none --warmup 20 --runs "$per_round" --export-csv "$work/round.csv" \
    "${timing[@]}" >"$work/hyperfine.log" 2>&1 || { cat "$work/hyperfine.log" >&2; exit 1; }
  tail -n +2 "$work/round.csv" >>"$work/times.csv"
done

median_ms() {
  awk -F, -v n="$1" '$1 == n { print $4 * 1000 }' "$work/times.csv" | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.3f", (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2 }'
}
instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" Hello 2>&1 >/dev/null |
    sed -n 's/.*Collected : //p'
}
peak_kib() {
  for _ in $(seq 21); do
    /usr/bin/time -f %M -o "$work/rss" "$1" Hello >/dev/null
    cat "$work/rss"
  done | sort -n | sed -n 11p
}
commas() { sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$1"; }

floor_ms=$(median_ms 0)
echo "### Start-up, $(date -u +%Y-%m-%d), $(uname -sm), $(nproc) cores:" \
  "$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1)"
echo
echo "| program | median time | × floor | instructions | peak memory | file size |"
echo "|---|--:|--:|--:|--:|--:|"
for i in "${!names[@]}"; do
  ms=$(median_ms "$i")
  printf '| %s | %s ms | %s | %s | %s KiB | %s bytes |\n' "${names[$i]}" "$ms" \
    "$(awk -v a="$ms" -v b="$floor_ms" 'BEGIN { printf "%.2f", a / b }')" \
    "$(commas "$(instructions "${programs[$i]}")")" "$(commas "$(peak_kib "${programs[$i]}")")" \
    "$(commas "$(stat -c %s "${programs[$i]}")")"
done
echo
echo "Time: the median of $rounds round medians, $per_round timed runs each after 20 warm-up" \
  "runs (hyperfine, no shell), the order rotating each round; instructions from valgrind's" \
  "callgrind; peak memory the median of 21 runs of /usr/bin/time -f %M."
