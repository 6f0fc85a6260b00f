#!/usr/bin/env bash
# Framed transfers through the library, as a section of BENCHMARKS.md on standard output: frames per second
# and read calls per frame for 40-octet frames read with read_available, with a frame_reader fed from the
# caller's own 64 KiB reads, and with the blocking read; the frame_writer's frames per second; the round
# trip of a request and its reply over TCP loopback with the sockets' default options.
#
#   bench/framing.sh [ROUNDS] [BUILD]     (default 5 rounds, build/bench)
#
# Each figure is the median of ROUNDS runs, the modes alternating within each round. The read calls are
# counted once per mode with strace (read and recvfrom of the whole process; the writing side writes).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=${1:-5}
build=${2:-$root/build/bench}
command -v strace >/dev/null || { echo "framing.sh: needs strace" >&2; exit 2; }
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BENCH=ON -DQUARVEL_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target framing_bench -j2 >/dev/null
program=$build/bench/framing_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

modes=(read_available fed blocking writer)
frames=1000000
for ((round = 0; round < rounds; ++round)); do
    for mode in "${modes[@]}"; do
        "$program" "$mode" "$frames" | awk '{print $NF}' >>"$work/$mode"
    done
    "$program" tcp 50 | awk '{print $5, $7}' >>"$work/tcp"
done
median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
calls() {
    strace -f -c -e trace=read,recvfrom -o "$work/strace" "$program" "$1" "$frames" >/dev/null
    awk -v frames="$frames" '$NF == "read" || $NF == "recvfrom" {n += $4} END {printf "%.4f", n / frames}' "$work/strace"
}

echo "## Framing (bench/framing.sh)"
echo
echo "1,000,000 frames of 40 octets through a Unix socket pair (\`bench/framing_bench.cpp\`), median of $rounds runs;"
echo "read calls per frame counted with strace."
echo
echo "| Mode | Frames/s | Read calls per frame |"
echo "|---|---:|---:|"
for mode in read_available fed blocking; do
    printf '| %s | %.2f M | %s |\n' "$mode" "$(median <"$work/$mode" | awk '{print $1 / 1e6}')" "$(calls "$mode")"
done
printf '| writer (frame_writer, write_available) | %.2f M | |\n' "$(median <"$work/writer" | awk '{print $1 / 1e6}')"
echo
echo "\`read_available\` ÷ \`fed\` (time): $(awk -v a="$(median <"$work/read_available")" -v f="$(median <"$work/fed")" 'BEGIN {printf "%.2f", f / a}')."
echo
echo "A request and its reply (\`write_cmd\`, \`read_cmd\`) over TCP loopback with default socket options, 50 round"
echo "trips: median $(awk '{print $1}' "$work/tcp" | median) ms, largest $(awk '{print $2}' "$work/tcp" | sort -g | tail -n 1) ms."
