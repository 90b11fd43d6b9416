#!/usr/bin/env bash
# Measures what the greeter costs from start to exit, which is the whole of its cost, against
# the floor (a static C program making one write call) and two peers, all in one run on this
# machine, and prints a Markdown table. Usage: bench/startup.sh [RUNS], default 2000 timed runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-2000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

missing=()
for tool in hyperfine valgrind /usr/bin/time cc c++ cmake; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if ((${#missing[@]})); then
  echo "missing: ${missing[*]} (apt-get install hyperfine valgrind time gcc g++ cmake)" >&2
  exit 1
fi

echo "building..." >&2
cd "$root"
{
  cmake --preset default && cmake --build --preset default
  cmake --install build/default --prefix "$work/prefix"
  c++ -O2 xs05kn5.cpp -o "$work/hello-dynamic"
  cc -O2 -static bench/floor.c -o "$work/floor"
} >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }

names=("floor (static C, one write)" "hello (default preset, installed)"
  "hello (c++ -O2, dynamic)" "printf Hello (coreutils)")
programs=("$work/floor" "$work/prefix/bin/hello" "$work/hello-dynamic" "$(type -P printf)")

timing=()
for i in "${!names[@]}"; do
  timing+=(-n "$i" "${programs[$i]} Hello")
done
echo "timing, $runs runs each..." >&2
hyperfine -N --style none --warmup 200 --runs "$runs" --export-csv "$work/times.csv" \
  "${timing[@]}" >/dev/null 2>&1

median_ms() { awk -F, -v n="$1" '$1 == n { printf "%.3f", $4 * 1000 }' "$work/times.csv"; }
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
echo "Median of $runs timed runs after 200 warm-up runs (hyperfine, no shell); instructions from" \
  "valgrind's callgrind; peak memory the median of 21 runs of /usr/bin/time -f %M."
