#!/usr/bin/env bash
# Compares quarvel-inspect with two peer decoders of the job execution record (OpenSSL's ASN.1
# templates and libtasn1) and with `cat` (the read floor), and runs the codec benchmarks.
#
#   bench/compare.sh [ROUNDS]        (default 5)
#
# With BASELINE_SOURCE and BASELINE_BUILD set (an older commit's source tree, and a Release build of it
# with -DQUARVEL_BENCH=ON), its codec benchmarks run beside this build's, and bench/instructions.sh counts
# the instructions of both: the report then compares this build with the baseline.
#
# Builds the project in build/bench (Release, -DQUARVEL_BENCH=ON) with the peers, writes the inputs
# to build/bench/inputs, times every program on every input in one run (the programs alternate
# within each round; each time is the median of the rounds), measures peak resident memory with
# /usr/bin/time, and writes BENCHMARKS.md and bench/chart.png. Installs what is missing with apt-get.
set -euo pipefail

rounds=${1:-5}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/bench
inputs=$build/inputs
work=$build/compare
report=$root/BENCHMARKS.md
chart=$root/bench/chart.png

say() { printf '== %s\n' "$*" >&2; }
fail() { printf 'compare.sh: %s\n' "$*" >&2; exit 1; }

# --- tools -------------------------------------------------------------------------------------------

missing=()
need_package() { dpkg -s "$1" >/dev/null 2>&1 || missing+=("$1"); }
need_package libssl-dev
need_package libtasn1-6-dev
need_package libbenchmark-dev
need_package time
need_package jq
command -v gnuplot >/dev/null 2>&1 || need_package gnuplot-nox
if ((${#missing[@]})); then
    say "installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
[[ -x /usr/bin/time ]] || fail "/usr/bin/time is missing"

# --- build and inputs --------------------------------------------------------------------------------

say "building in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BENCH=ON -DQUARVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target quarvel-inspect quarvel-bench-inputs exec_bench state_bench cmd_bench \
    openssl_peer tasn1_peer >/dev/null

inspect=$build/app/quarvel-inspect
bench=$build/bench

say "writing the inputs to $inputs"
"$bench/quarvel-bench-inputs" "$inputs" >/dev/null

rm -rf "$work"
mkdir -p "$work/out" "$work/times"

input_names=(console-heavy bulk example)
programs=("quarvel-inspect" "quarvel-inspect --console" "quarvel-inspect --output" "OpenSSL peer" "libtasn1 peer" "cat")

# Sets the array `cmd` to program $1 (an index into `programs`) run on file $2.
command_for() {
    case $1 in
        0) cmd=("$inspect" "$2") ;;
        1) cmd=("$inspect" --console "$2") ;;
        2) cmd=("$inspect" --output "$work/out" "$2") ;;
        3) cmd=("$bench/openssl_peer" "$2") ;;
        4) cmd=("$bench/tasn1_peer" "$2") ;;
        5) cmd=(cat "$2") ;;
    esac
}

# --- sanity: every program accepts every input, and the decoders refuse one trailing byte ------------

say "checking that every program reads every input"
for input in "${input_names[@]}"; do
    for p in "${!programs[@]}"; do
        command_for "$p" "$inputs/$input.der"
        "${cmd[@]}" >/dev/null || fail "${programs[$p]} failed on $input"
    done
done
cat "$inputs/example.der" <(printf 'x') >"$work/trailing.der"
for p in 0 3 4; do
    command_for "$p" "$work/trailing.der"
    if "${cmd[@]}" >/dev/null 2>&1; then fail "${programs[$p]} accepted a trailing byte"; fi
done

# --- timing ------------------------------------------------------------------------------------------

# The median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) exit 1; print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

use_hyperfine=0
if command -v hyperfine >/dev/null 2>&1 && [[ $root != *' '* ]]; then use_hyperfine=1; fi

# Prints the wall time in seconds of one run of the command "$@" (standard output discarded).
measure() {
    if ((use_hyperfine)); then
        hyperfine -N --style none --runs 1 --output=null --export-json "$work/hyperfine.json" -- "$*" \
            >/dev/null 2>"$work/hyperfine.err" || { cat "$work/hyperfine.err" >&2; return 1; }
        jq -r '.results[0].median' "$work/hyperfine.json"
    else
        local t0 t1
        t0=$(date +%s%N)
        "$@" >/dev/null
        t1=$(date +%s%N)
        echo "$((t1 - t0))e-9"
    fi
}

# The example takes well under the scheduler's noise, so each round holds many short sub-rounds.
example_repeats=20

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
say "timing: $rounds rounds, $([[ $use_hyperfine == 1 ]] && echo hyperfine || echo 'date +%s%N loop')"
count=${#programs[@]}
for ((round = 0; round < rounds; round++)); do
    for input in "${input_names[@]}"; do
        repeats=1
        [[ $input == example ]] && repeats=$example_repeats
        for ((r = 0; r < repeats; r++)); do
            for ((k = 0; k < count; k++)); do
                p=$(((k + round + r) % count)) # a different program goes first each time
                command_for "$p" "$inputs/$input.der"
                measure "${cmd[@]}" >>"$work/times/$input.$p"
            done
        done
    done
    say "round $((round + 1)) of $rounds done"
done

load_after=$(cut -d' ' -f1-3 /proc/loadavg)
declare -A seconds
for input in "${input_names[@]}"; do
    for p in "${!programs[@]}"; do seconds[$input.$p]=$(median <"$work/times/$input.$p"); done
done

# --- memory ------------------------------------------------------------------------------------------

say "measuring peak resident memory"
declare -A peak_kb size
for input in "${input_names[@]}"; do
    size[$input]=$(stat -c %s "$inputs/$input.der")
    for p in "${!programs[@]}"; do
        command_for "$p" "$inputs/$input.der"
        /usr/bin/time -f %M -o "$work/peak" "${cmd[@]}" >/dev/null
        peak_kb[$input.$p]=$(tail -n 1 "$work/peak")
    done
done

# --- codec benchmarks --------------------------------------------------------------------------------

say "running the codec benchmarks"
for program in exec_bench state_bench cmd_bench; do
    "$bench/$program" --benchmark_out="$work/$program.json" --benchmark_out_format=json >/dev/null 2>&1
done

baseline=0
if [[ -n ${BASELINE_BUILD:-} ]]; then
    [[ -n ${BASELINE_SOURCE:-} && -x $BASELINE_BUILD/bench/exec_bench ]] ||
        fail "BASELINE_BUILD needs BASELINE_SOURCE and a build with -DQUARVEL_BENCH=ON"
    baseline=1
    say "running the baseline's codec benchmarks, and both builds' again, in turn"
    # In turn, three times, so that both see the same machine; the medians are reported.
    for program in exec_bench state_bench cmd_bench; do
        for build_of in baseline current; do
            dir=$bench
            [[ $build_of == baseline ]] && dir=$BASELINE_BUILD/bench
            "$dir/$program" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
                --benchmark_out="$work/$build_of.$program.json" --benchmark_out_format=json >/dev/null 2>&1
        done
    done
    if command -v valgrind >/dev/null 2>&1; then
        say "counting instructions"
        "$root/bench/instructions.sh" "$BASELINE_SOURCE" "$BASELINE_BUILD" >"$work/baseline.instructions"
        "$root/bench/instructions.sh" "$root" "$build" >"$work/current.instructions"
        # One line per section: its name, both counts and this build's count over the baseline's.
        join <(tail -n +2 "$work/baseline.instructions" | sort) <(tail -n +2 "$work/current.instructions" | sort) |
            awk '{ b = $2; c = $3; gsub(",", "", b); gsub(",", "", c); printf "%s %s %s %.3f\n", $1, $2, $3, c / b }' \
            >"$work/instructions"
    fi
fi

# Prints the bytes per second of the named benchmark.
throughput() {
    jq -r --arg n "$1" '.benchmarks[] | select(.name == $n or (.name | startswith($n + "/"))) | .bytes_per_second' \
        "$work/exec_bench.json" | head -n 1
}

# --- report ------------------------------------------------------------------------------------------

say "writing $report and $chart"
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
ms() { calc '%.1f' "${seconds[$1]} * 1000"; }
ms_example() { calc '%.2f' "${seconds[$1]} * 1000"; }
ratio() { calc '%.2f' "${seconds[$1]} / ${seconds[$2]}"; }
mb() { calc '%.1f' "${peak_kb[$1]} / 1024"; }
of_size() { calc '%.2f' "${peak_kb[$1]} * 1024 / ${size[$2]}"; }
verdict() { awk "BEGIN { exit !($1) }" && echo met || echo missed; }

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
memory=$(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
commit=$(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown)
tasn1_version=$(dpkg-query -W -f '${Version}' libtasn1-6-dev 2>/dev/null || echo unknown)
openssl_version=$(dpkg-query -W -f '${Version}' libssl-dev 2>/dev/null || echo unknown)

decode_ch=$(ratio console-heavy.0 console-heavy.3)
decode_bulk=$(ratio bulk.0 bulk.3)
console_ch=$(ratio console-heavy.1 console-heavy.3)
example_cat=$(ratio example.0 example.5)
memory_ch=$(of_size console-heavy.0 console-heavy)
memory_bulk=$(of_size bulk.0 bulk)
encode_bulk=$(calc '%.0f' "$(throughput exec_to_str/bulk) / 1e6")
encode_ch=$(calc '%.0f' "$(throughput exec_to_str/console-heavy) / 1e6")
decode_mb_bulk=$(calc '%.0f' "$(throughput exec_of_str/bulk) / 1e6")
decode_mb_ch=$(calc '%.0f' "$(throughput exec_of_str/console-heavy) / 1e6")

{
    echo "# Benchmarks"
    echo
    echo "Written by \`bench/compare.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), at commit \`$commit\`."
    echo
    echo "Machine: $cpu, $(nproc) cores, $memory memory, Linux $(uname -r); $(g++ --version | head -n 1)," \
        "Release build (-O3); OpenSSL $openssl_version, libtasn1 $tasn1_version." \
        "Load average before the timing rounds: $load_before; after: $load_after."
    echo
    echo "Every program runs as a whole process on a file in the page cache (standard output to /dev/null)." \
        "The programs alternate within each of $rounds rounds; each time is the median over the rounds" \
        "(for the example, each round holds $example_repeats alternating sub-rounds, and its time is the median of all $((rounds * example_repeats)) runs)." \
        "$([[ $use_hyperfine == 1 ]] && echo 'Times are taken with hyperfine (no shell).' || echo 'Times are taken with date +%s%N around each run.')" \
        "Ratios come from this one run; absolute times vary between machines and runs." \
        "The machine may be shared with other work (see the load averages): only the ratios between programs timed in the same rounds count, and the in-process figures are CPU time."
    echo
    echo "- \`quarvel-inspect FILE\`: decode only. \`--console\`: decode and print the transcript. \`--output DIR\`: decode and write every output file."
    echo "- OpenSSL peer (\`bench/peers/openssl_peer.c\`): the record's grammar as OpenSSL ASN.1 templates, \`d2i\`, no trailing bytes, every console delta read with \`ASN1_INTEGER_get_int64\`, times converted, uuid length and paths checked."
    echo "- libtasn1 peer (\`bench/peers/tasn1_peer.c\`): \`asn1_parser2tree\` on \`bench/record.asn\`, \`asn1_der_decoding2\` with \`ASN1_DECODE_FLAG_STRICT_DER\`, every console delta read with \`asn1_read_value\`, uuid length and paths checked."
    echo "- \`cat FILE\`: the read floor."
    echo
    echo "## Inputs"
    echo
    echo "| Input | Octets | Contents |"
    echo "|---|---:|---|"
    echo "| console-heavy | ${size[console-heavy]} | 1,000,000 console lines of 40 to 100 printable bytes, no output files |"
    echo "| bulk | ${size[bulk]} | 16 console lines, 64 output files of 4 MiB of arbitrary octets |"
    echo "| example | ${size[example]} | the record's 105-octet worked example |"
    echo
    echo "## Time (median, milliseconds)"
    echo
    echo "| Program | console-heavy | ÷ OpenSSL | bulk | ÷ OpenSSL | example | ÷ cat |"
    echo "|---|---:|---:|---:|---:|---:|---:|"
    for p in "${!programs[@]}"; do
        echo "| ${programs[$p]} | $(ms console-heavy.$p) | $(ratio console-heavy.$p console-heavy.3) |" \
            "$(ms bulk.$p) | $(ratio bulk.$p bulk.3) | $(ms_example example.$p) | $(ratio example.$p example.5) |"
    done
    echo
    echo "## Peak resident memory (MiB, \`/usr/bin/time -f %M\`)"
    echo
    echo "| Program | console-heavy | × file size | bulk | × file size | example |"
    echo "|---|---:|---:|---:|---:|---:|"
    for p in "${!programs[@]}"; do
        echo "| ${programs[$p]} | $(mb console-heavy.$p) | $(of_size console-heavy.$p console-heavy) |" \
            "$(mb bulk.$p) | $(of_size bulk.$p bulk) | $(mb example.$p) |"
    done
    echo
    echo "## Goals of this round"
    echo
    if ((baseline)); then
        speedup_ch=$(jq -r -n --slurpfile b "$work/baseline.exec_bench.json" --slurpfile c "$work/current.exec_bench.json" '
            def median(f): [f[0].benchmarks[] | select(.aggregate_name == "median" and (.run_name | startswith("exec_of_str/console-heavy")))][0].cpu_time;
            median($b) / median($c) * 100 | round / 100')
        echo "Against the baseline above, in this run."
        echo
        echo "| Measure | Goal | Achieved | |"
        echo "|---|---:|---:|---|"
        echo "| \`exec_of_str\` on console-heavy, CPU time: baseline ÷ this build | ≥ 1.30 × | ${speedup_ch} × | $(verdict "$speedup_ch >= 1.30") |"
        if [[ -s $work/instructions ]]; then
            worst=$(awk '$4 > m { m = $4 } END { printf "%.3f", m }' "$work/instructions")
            echo "| codec instructions, the worst section: this build ÷ baseline | ≤ 1.000 × | ${worst} × | $(verdict "$worst <= 1.0") |"
        fi
    else
        echo "Set BASELINE_SOURCE and BASELINE_BUILD to measure this round's goals against the baseline."
    fi
    echo
    echo "## Earlier targets"
    echo
    echo "| Target | Measured | |"
    echo "|---|---:|---|"
    echo "| console-heavy, decode only: at most 0.20 × the OpenSSL peer | ${decode_ch} × | $(verdict "$decode_ch <= 0.20") |"
    echo "| console-heavy, \`--console\`: at most 0.45 × the OpenSSL peer's decode | ${console_ch} × | $(verdict "$console_ch <= 0.45") |"
    echo "| bulk, decode only: at most 0.40 × the OpenSSL peer | ${decode_bulk} × | $(verdict "$decode_bulk <= 0.40") |"
    echo "| console-heavy, decode only: peak memory at most 2.2 × the file size | ${memory_ch} × | $(verdict "$memory_ch <= 2.2") |"
    echo "| bulk, decode only: peak memory at most 1.3 × the file size | ${memory_bulk} × | $(verdict "$memory_bulk <= 1.3") |"
    echo "| example, whole process: at most 1.05 × \`cat\` | ${example_cat} × | $(verdict "$example_cat <= 1.05") |"
    echo "| \`exec_of_str\` on console-heavy: at least 1000 MB/s (CPU time) | ${decode_mb_ch} MB/s | $(verdict "$decode_mb_ch >= 1000") |"
    echo "| \`exec_of_str\` on bulk: at least 4000 MB/s (CPU time) | ${decode_mb_bulk} MB/s | $(verdict "$decode_mb_bulk >= 4000") |"
    echo "| console-heavy, decode only: at most 0.25 × the OpenSSL peer | ${decode_ch} × | $(verdict "$decode_ch <= 0.25") |"
    echo "| console-heavy, decode only: peak memory at most 2.5 × the file size | ${memory_ch} × | $(verdict "$memory_ch <= 2.5") |"
    echo "| bulk, decode only: at most 0.5 × the OpenSSL peer | ${decode_bulk} × | $(verdict "$decode_bulk <= 0.5") |"
    echo "| bulk, decode only: peak memory at most 1.5 × the file size | ${memory_bulk} × | $(verdict "$memory_bulk <= 1.5") |"
    echo "| console-heavy, \`--console\`: at most 1.0 × the OpenSSL peer's decode | ${console_ch} × | $(verdict "$console_ch <= 1.0") |"
    echo "| example, whole process: at most 1.3 × \`cat\` | ${example_cat} × | $(verdict "$example_cat <= 1.3") |"
    echo "| \`exec_to_str\` on bulk: at least 1 GB/s | ${encode_bulk} MB/s | $(verdict "$encode_bulk >= 1000") |"
    echo "| \`exec_to_str\` on console-heavy: at least 300 MB/s | ${encode_ch} MB/s | $(verdict "$encode_ch >= 300") |"
    echo
    if ((baseline)); then
        baseline_commit=$(git -C "$BASELINE_SOURCE" describe --always --dirty 2>/dev/null || echo "$BASELINE_SOURCE")
        echo "## Against the baseline"
        echo
        echo "Baseline: \`$baseline_commit\`, built in the same way. The codec benchmarks of both builds ran in turn," \
            "three repetitions each; the table gives the median CPU time per iteration. Speed-up is the baseline's" \
            "time over this build's (above 1: faster now)."
        echo
        echo "| Benchmark | Baseline | This build | Speed-up |"
        echo "|---|---:|---:|---:|"
        for program in exec_bench state_bench cmd_bench; do
            jq -r -n --slurpfile b "$work/baseline.$program.json" --slurpfile c "$work/current.$program.json" '
                def medians(f): [f[0].benchmarks[] | select(.aggregate_name == "median")
                                 | {key: (.run_name | sub("/iterations:[0-9]+"; "")), value: {t: .cpu_time, u: .time_unit}}]
                                | from_entries;
                medians($b) as $mb | medians($c) as $mc
                | $mc | keys_unsorted[] as $k | select($mb[$k] != null)
                | "| \($k) | \($mb[$k].t * 100 | round / 100) \($mb[$k].u) | \($mc[$k].t * 100 | round / 100) \($mc[$k].u) | \($mb[$k].t / $mc[$k].t * 100 | round / 100) |"'
        done
        echo
        if [[ -s $work/instructions ]]; then
            echo "Instructions executed by each section of \`bench/codec_instructions.cpp\` (\`bench/instructions.sh\`," \
                "callgrind: the same on every run, whatever the load)."
            echo
            echo "| Section | Baseline | This build | This build ÷ baseline |"
            echo "|---|---:|---:|---:|"
            awk '{ printf "| %s | %s | %s | %s |\n", $1, $2, $3, $4 }' "$work/instructions"
            echo
        fi
    fi
    echo "## Codecs (Google Benchmark, in process)"
    echo
    echo "\`exec_bench\`, \`state_bench\` and \`cmd_bench\` in build/bench/bench; the state has 100,000 items, each"
    echo "command is one value of its alternative (bench/inputs.cpp). Throughput is over CPU time (robust on a shared"
    echo "machine; the programs are single-threaded). MB is 10^6 bytes."
    echo
    echo "| Benchmark | Iterations | CPU time per iteration | MB/s |"
    echo "|---|---:|---:|---:|"
    for program in exec_bench state_bench cmd_bench; do
        jq -r '.benchmarks[] | "| \(.name | sub("/iterations:[0-9]+"; "")) | \(.iterations) | \(.cpu_time * 100 | round / 100) \(.time_unit) | \((.bytes_per_second // 0) / 1e6 | round) |"' \
            "$work/$program.json"
    done
    echo
    echo "![Time per input for each program](bench/chart.png)"
} >"$report"

# --- chart -------------------------------------------------------------------------------------------

{
    printf '"input"'
    for p in "${!programs[@]}"; do printf ' "%s"' "${programs[$p]}"; done
    echo
    for input in "${input_names[@]}"; do
        printf '"%s"' "$input"
        for p in "${!programs[@]}"; do printf ' %s' "$(calc '%.4f' "${seconds[$input.$p]} * 1000")"; done
        echo
    done
} >"$work/chart.dat"

gnuplot <<EOF
set terminal pngcairo size 900,600 font "sans,10"
set output "$chart"
set title "Whole-process time per input (median of $rounds rounds; log scale)"
set ylabel "milliseconds"
set logscale y
set grid ytics
set key outside below center horizontal maxrows 2
set yrange [0.1:*]
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
plot for [i=2:$((count + 1))] "$work/chart.dat" using i:xtic(1) title columnheader(i)
EOF

say "done: $report"
