#!/usr/bin/env bash
# The build's weight: every target of a preset built from scratch in a fresh directory with each compile and
# link wrapped by /usr/bin/time. Prints the CPU seconds (user + system) of the whole build and of the library
# and the two tools alone, and the units ordered by peak memory.
#   bench/build_weight.sh [PRESET] [JOBS]        (default: default 2)
# TOP=N shows N units (12); KEEP=FILE keeps the log of every unit.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
jobs=${2:-2}
work=$(mktemp -d /tmp/quarvel-build-weight.XXXXXX)
log=$work/units.log
wrapper=$work/timed
# One line per unit: CPU seconds, peak kilobytes, the folder of the build it runs in and its output file (the
# word after -o).
cat >"$wrapper" <<WRAP
#!/usr/bin/env bash
out=unknown
prev=
for a in "\$@"; do [ "\$prev" = -o ] && out=\$a; prev=\$a; done
exec /usr/bin/time -a -o "$log" -f "%U %S %M \${PWD#$work/build}/\$out" "\$@"
WRAP
chmod +x "$wrapper"
cmake --preset "$preset" -B "$work/build" -DCMAKE_CXX_COMPILER_LAUNCHER="$wrapper" \
      -DCMAKE_CXX_LINKER_LAUNCHER="$wrapper" >/dev/null
cmake --build "$work/build" -j"$jobs" >/dev/null
awk '{cpu += $1 + $2} END {printf "every target: %.1f CPU-s, %d units\n", cpu, NR}' "$log"
# The library and the tools: their own objects and archives (lib/, app/), not the tests, examples or samples.
awk '$4 ~ /^\/(lib|app)\// {cpu += $1 + $2}
     END {printf "library and tools: %.1f CPU-s\n", cpu}' "$log"
echo "heaviest units (MB, CPU-s):"
sort -k3,3nr "$log" | head -n "${TOP:-12}" | awk '{printf "  %5d MB %6.1f s  %s\n", $3 / 1024, $1 + $2, $4}'
awk '{split($4, p, "/"); cpu[p[2]] += $1 + $2} END {for (f in cpu) printf "  %-10s %6.1f CPU-s\n", f, cpu[f]}' "$log" | sort
if [ -n "${KEEP:-}" ]; then cp "$log" "$KEEP"; fi
rm -rf "$work"
