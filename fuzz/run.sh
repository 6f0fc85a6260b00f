#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# one of them on its seed corpus for a number of seconds.
#   fuzz/run.sh TARGET SECONDS     TARGET: exec_fuzz, state_fuzz, cmd_fuzz or der_parse_fuzz
set -euo pipefail
target=${1:?usage: fuzz/run.sh TARGET SECONDS}
seconds=${2:?usage: fuzz/run.sh TARGET SECONDS}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUARVEL_FUZZ_BUILD:-$root/build/fuzz}

clangxx=${CXX_FUZZ:-}
if [ -z "$clangxx" ]; then
  for c in clang++-19 clang++-18 clang++-17; do
    if command -v "$c" >/dev/null; then clangxx=$c; break; fi
  done
fi
[ -n "$clangxx" ] || { echo "fuzz/run.sh: needs clang 17 or later (apt-get install clang-19 libclang-rt-19-dev)" >&2; exit 2; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$clangxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUARVEL_FUZZ=ON -DQUARVEL_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target "$target" make_seeds -j2 >/dev/null

corpus="$build/corpus/${target%_fuzz}"
seeds="$build/seeds"
"$build/fuzz/make_seeds" "$seeds"
mkdir -p "$corpus"
cp -n "$seeds/${target%_fuzz}"/* "$corpus"/ 2>/dev/null || true
[ "$target" = der_parse_fuzz ] && cp -n "$seeds"/*/* "$corpus"/ 2>/dev/null || true
regressions="$root/tests/fuzz-regressions/${target%_fuzz}"
[ -d "$regressions" ] && cp -n "$regressions"/* "$corpus"/ 2>/dev/null || true

mkdir -p "$build/artifacts"
"$build/fuzz/$target" -dict="$root/fuzz/der.dict" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$corpus"
