#!/usr/bin/env bash
# Instructions executed by each codec section of bench/codec_instructions.cpp, counted by callgrind:
# repeatable whatever else the machine is doing, so that two builds compare in one sitting.
#
#   bench/instructions.sh [SOURCE BUILD]
#
# SOURCE is a source tree (default: this one) and BUILD a Release build of it with -DQUARVEL_BENCH=ON
# (default: build/bench). The program is compiled from this tree against SOURCE's headers and BUILD's
# libraries, so an older commit can be measured the same way: check it out (git worktree add), build it,
# and give both directories.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source=${1:-$root}
build=${2:-$root/build/bench}
command -v valgrind >/dev/null || { echo "instructions.sh: needs valgrind" >&2; exit 2; }
[ -d "$build" ] || { echo "instructions.sh: no build in $build (cmake -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BENCH=ON)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --build "$build" --target quarvel quarvel_bench_inputs -j2 >/dev/null
mapfile -t libraries < <(find "$build" -name libquarvel.a -o -name libquarvel-der.a -o -name libquarvel_bench_inputs.a)
# Older trees have the DER codec as a library of its own (libquarvel-der.a); now it is inside libquarvel.a.
((${#libraries[@]} >= 2)) || { echo "instructions.sh: the libraries are missing in $build" >&2; exit 2; }
${CXX:-g++} -std=c++23 -O2 -DNDEBUG -I"$source/lib/quarvel/include" -I"$source/bench" \
    "$root/bench/codec_instructions.cpp" -o "$work/codec_instructions" "${libraries[@]}" "${libraries[@]}"
valgrind --tool=callgrind --callgrind-out-file="$work/out" "$work/codec_instructions" >/dev/null 2>&1
printf '%-24s %15s\n' section instructions
callgrind_annotate --threshold=100 --inclusive=yes "$work/out" 2>/dev/null |
    sed -nE 's/^ *([0-9,]+) .*section_([a-z_]+)\(\).*/\2 \1/p' | sort | awk '{printf "%-24s %15s\n", $1, $2}'
