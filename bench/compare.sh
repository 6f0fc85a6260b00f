#!/usr/bin/env bash
# Compares quarvel-inspect with three peer decoders of the job execution record (OpenSSL's ASN.1
# templates, libtasn1, and the C decoder that asn1c generates from bench/record.asn) and with `cat` (the
# read floor), checks that they accept and refuse the same records (bench/verdicts.sh), and runs the codec
# benchmarks.
#
#   bench/compare.sh [ROUNDS]        (default 5)
#
# With BASELINE_SOURCE and BASELINE_BUILD set (an older commit's source tree, and a Release build of it
# with -DQUARVEL_BENCH=ON), its codec benchmarks run beside this build's, and bench/instructions.sh counts
# the instructions of both: the report then compares this build with the baseline.
#
# Builds the project in build/bench (Release, -DQUARVEL_BENCH=ON, the tools with the C++ runtime linked in, as
# their start-up is part of what is timed) with the peers (the asn1c peer only where asn1c is installed or
# can be: without it, the report leaves it out and says so), writes the inputs
# to build/bench/inputs, times every program on every input in one run (the programs alternate
# within each round; each time is the median of the rounds), measures peak resident memory with
# /usr/bin/time and, where a memory cgroup can be made, what each program is charged for in a group of
# its own, and writes BENCHMARKS.md and bench/chart.png. Installs what is missing with apt-get.
#
# A record larger than the memory allowed (skipped with LARGE=0): quarvel-bench-large-record writes a
# record of about 1.3 GB (16 output files of 64 MiB, 1,000,000 console lines of about 230 octets) to
# build/bench/large. `quarvel-inspect --output DIR`, `quarvel-inspect --console` (to a file) and
# `quarvel-dump exec` then each run alone in a new memory cgroup limited to 256 MiB, made below this
# script's own memory cgroup when it may be written, else below the hierarchy's root: cgroup v1
# (memory.limit_in_bytes, and memory.memsw.limit_in_bytes where there is swap accounting) or, without
# it, cgroup v2 (memory.max, memory.swap.max 0). Before each run the record's pages are dropped from the
# page cache (sync, then dd iflag=nocache), so that the program faults them in itself and they are
# charged to its group: pages cached earlier stay charged to the group that read them, and the limit
# would not hold them. For each run the report gives the exit status, the wall time, the peak resident
# set (/usr/bin/time -f %M: the mapped record's resident pages included), the group's peak charge and
# its OOM kills; then every exported file is checked against the generator's (size, and cmp with its
# contents written again by `quarvel-bench-large-record --contents N`), the transcript's lines are
# counted and the summary is read. Each group is removed (rmdir) after its run, the record and what the
# programs wrote when the section ends. Without a memory cgroup that can be made and limited (not root,
# no memory controller), the report says so in place of the results.
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
command -v hyperfine >/dev/null 2>&1 || need_package hyperfine
if ((${#missing[@]})); then
    say "installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# One peer among three: without asn1c the run goes on without it.
if ! command -v asn1c >/dev/null 2>&1; then
    say "installing asn1c"
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq asn1c >/dev/null; } ||
        say "asn1c could not be installed: the asn1c peer is left out"
fi
[[ -x /usr/bin/time ]] || fail "/usr/bin/time is missing"

# --- build and inputs --------------------------------------------------------------------------------

say "building in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BENCH=ON -DQUARVEL_BUILD_TESTS=OFF \
      -DQUARVEL_STATIC_RUNTIME=ON >/dev/null
cmake --build "$build" -j2 --target quarvel-inspect quarvel-dump quarvel-bench-inputs quarvel-bench-large-record \
    exec_bench state_bench cmd_bench openssl_peer tasn1_peer >/dev/null
# The configuration makes the asn1c peer's target only where asn1c is found (and works).
with_asn1c=0
# (grep reads the whole list: quitting at the first match would fail the pipe, cmake killed by SIGPIPE.)
if cmake --build "$build" --target help 2>/dev/null | grep -w asn1c_peer >/dev/null; then
    cmake --build "$build" -j2 --target asn1c_peer >/dev/null
    with_asn1c=1
else
    say "asn1c is missing or failed on bench/record.asn: the asn1c peer is left out"
    rm -f "$build/bench/asn1c_peer" # one an earlier configuration built is not this build's
fi

inspect=$build/app/quarvel-inspect
dump=$build/app/quarvel-dump
bench=$build/bench

say "writing the inputs to $inputs"
"$bench/quarvel-bench-inputs" "$inputs" >/dev/null

rm -rf "$work"
mkdir -p "$work/out" "$work/times"

input_names=(console-heavy bulk example)
programs=("quarvel-inspect" "quarvel-inspect --console" "quarvel-inspect --output" "OpenSSL peer" "libtasn1 peer"
          "asn1c peer" "cat")
p_openssl=3 p_asn1c=5 p_cat=6 # the programs the ratios are taken against
((with_asn1c)) || unset 'programs[p_asn1c]'
indices=("${!programs[@]}")

# Sets the array `cmd` to program $1 (an index into `programs`) run on file $2.
command_for() {
    case $1 in
        0) cmd=("$inspect" "$2") ;;
        1) cmd=("$inspect" --console "$2") ;;
        2) cmd=("$inspect" --output "$work/out" "$2") ;;
        3) cmd=("$bench/openssl_peer" "$2") ;;
        4) cmd=("$bench/tasn1_peer" "$2") ;;
        5) cmd=("$bench/asn1c_peer" "$2") ;;
        6) cmd=(cat "$2") ;;
    esac
}

# --- sanity: every program accepts every input, and the decoders agree on what they refuse -----------

say "checking that every program reads every input"
for input in "${input_names[@]}"; do
    for p in "${!programs[@]}"; do
        command_for "$p" "$inputs/$input.der"
        "${cmd[@]}" >/dev/null || fail "${programs[$p]} failed on $input"
    done
done
say "checking what every decoder accepts and refuses"
"$root/bench/verdicts.sh" "$build" "$inputs" >"$work/verdicts.md" || fail "the decoders disagree (above)"

# --- timing ------------------------------------------------------------------------------------------

# Prints $2, an awk expression, in the printf format $1.
calc() { awk "BEGIN { printf \"$1\", $2 }"; }

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
count=${#indices[@]}
for ((round = 0; round < rounds; round++)); do
    for input in "${input_names[@]}"; do
        repeats=1
        [[ $input == example ]] && repeats=$example_repeats
        for ((r = 0; r < repeats; r++)); do
            for ((k = 0; k < count; k++)); do
                p=${indices[(k + round + r) % count]} # a different program goes first each time
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

# --- memory cgroups ---------------------------------------------------------------------------------

cgroup_kind=''   # v1 or v2, when memory cgroups can be made
cgroup_parent='' # where they are made
cgroup_note=''   # why they cannot be, when they cannot
groups_made=()   # every group made, for the cleanup

# Makes the memory cgroup $cgroup_parent/$1, limited to $2 bytes (swap included, where accounted) when
# given, and sets `group` to it; fails, leaving nothing behind, when it cannot.
make_group() {
    group=$cgroup_parent/$1
    mkdir "$group" 2>/dev/null || return 1
    local limited=1
    if [[ -n ${2:-} ]]; then
        limited=0
        if [[ $cgroup_kind == v1 ]]; then
            echo "$2" 2>/dev/null >"$group/memory.limit_in_bytes" && limited=1
            if ((limited)) && [[ -e $group/memory.memsw.limit_in_bytes ]]; then
                echo "$2" 2>/dev/null >"$group/memory.memsw.limit_in_bytes" || true
            fi
        else
            echo "$2" 2>/dev/null >"$group/memory.max" && limited=1
            if ((limited)) && [[ -e $group/memory.swap.max ]]; then echo 0 2>/dev/null >"$group/memory.swap.max" || true; fi
        fi
    fi
    if ((!limited)); then
        rmdir "$group" 2>/dev/null || true
        return 1
    fi
    groups_made+=("$group")
}

remove_group() {
    rmdir "$1" 2>/dev/null || say "could not remove the cgroup $1"
}

# Finds where a limited memory cgroup can be made: below this script's own memory cgroup, else below
# the hierarchy's root; cgroup v1 first, then v2. Sets cgroup_kind and cgroup_parent, or else
# cgroup_note (why none can be made) and fails.
find_memory_cgroup() {
    local mount own parent
    if ((EUID != 0)); then
        cgroup_note="not root, so no memory cgroup could be made"
        return 1
    fi
    mount=$(awk '$3 == "cgroup" && $4 ~ /(^|,)memory(,|$)/ { print $2; exit }' /proc/mounts)
    if [[ -n $mount ]]; then
        cgroup_kind=v1
        own=$(awk -F: '$2 ~ /(^|,)memory(,|$)/ { print $3; exit }' /proc/self/cgroup)
        for parent in "$mount${own%/}" "$mount"; do
            cgroup_parent=$parent
            if make_group "quarvel-bench-probe-$$" $((256 * 1024 * 1024)); then
                remove_group "$group"
                return 0
            fi
        done
    fi
    mount=$(awk '$3 == "cgroup2" { print $2; exit }' /proc/mounts)
    if [[ -n $mount ]] && grep -qw memory "$mount/cgroup.controllers" 2>/dev/null; then
        cgroup_kind=v2
        own=$(awk -F: '$1 == "0" { print $3; exit }' /proc/self/cgroup)
        for parent in "$mount${own%/}" "$mount"; do
            cgroup_parent=$parent
            # The memory controller must be on for the parent's children (refused where the parent
            # holds processes and is not the root).
            grep -qw memory "$parent/cgroup.subtree_control" 2>/dev/null ||
                echo +memory 2>/dev/null >"$parent/cgroup.subtree_control" || continue
            if make_group "quarvel-bench-probe-$$" $((256 * 1024 * 1024)); then
                remove_group "$group"
                return 0
            fi
        done
    fi
    cgroup_kind=''
    cgroup_note="no memory cgroup could be made and limited (neither a writable cgroup v1 memory controller nor cgroup v2 with the memory controller)"
    return 1
}

# The group's peak charge in bytes and its OOM kills, as "BYTES KILLS" ("? ?" where not shown).
group_peak_and_kills() {
    local peak='?' kills='?'
    if [[ $cgroup_kind == v1 ]]; then
        [[ -r $1/memory.max_usage_in_bytes ]] && peak=$(<"$1/memory.max_usage_in_bytes")
        kills=$(awk '$1 == "oom_kill" { print $2 }' "$1/memory.oom_control" 2>/dev/null || true)
    else
        [[ -r $1/memory.peak ]] && peak=$(<"$1/memory.peak")
        kills=$(awk '$1 == "oom_kill" { print $2 }' "$1/memory.events" 2>/dev/null || true)
    fi
    echo "$peak ${kills:-?}"
}

# However the script ends: the groups a failed run left, and the large record's directory.
cleanup() {
    local g
    for g in "${groups_made[@]}"; do
        if [[ -d $g ]]; then rmdir "$g" 2>/dev/null || true; fi
    done
    if [[ -n ${large:-} ]]; then rm -rf "$large"; fi
}
trap cleanup EXIT

find_memory_cgroup || say "memory cgroups: $cgroup_note"

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

# What each program is charged for in a memory cgroup of its own, without a limit: its allocations, its
# page tables and the page cache it fills (the files --output writes), but not the input's pages, which
# the timing rounds above brought into the page cache and which stay charged to this script's group.
declare -A charged_kb
if [[ -n $cgroup_kind ]]; then
    say "measuring the memory charged to each program's own $cgroup_kind memory cgroup"
    for input in "${input_names[@]}"; do
        cat "$inputs/$input.der" >/dev/null
        for p in "${!programs[@]}"; do
            command_for "$p" "$inputs/$input.der"
            make_group "quarvel-bench-charge-$$" || fail "the memory cgroup for ${programs[$p]} could not be made"
            sh -c 'echo $$ >"$0/cgroup.procs" && exec "$@"' "$group" "${cmd[@]}" >/dev/null
            read -r peak _ < <(group_peak_and_kills "$group")
            remove_group "$group"
            charged_kb[$input.$p]=$([[ $peak == '?' ]] && echo '?' || calc '%.0f' "$peak / 1024")
        done
    done
fi

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

# --- a record larger than the memory allowed ---------------------------------------------------------

large=$build/large
large_limit=$((256 * 1024 * 1024))
large_commands=("quarvel-inspect --output DIR" "quarvel-inspect --console" "quarvel-dump exec")
large_note=''    # why the runs did not happen, when they did not
large_ran=0      # the runs happened
large_ok=0       # runs that exited 0 and whose result checked out
large_files=0    # output files in the record
large_whole=0    # of them, exported whole
large_bytes=0
declare -A large_status large_seconds large_rss large_charge large_result

if [[ ${LARGE:-1} == 0 ]]; then
    large_note="not run: skipped (LARGE=0)"
elif (($(df --output=avail -B1 "$build" | tail -n 1) < 4 * 1024 * 1024 * 1024)); then
    large_note="not run: less than 4 GiB free beside build/bench for the record and what is exported from it"
elif (($(awk '/^MemAvailable/ { print $2 }' /proc/meminfo) < 4 * 1024 * 1024)); then
    large_note="not run: less than 4 GiB of memory available to generate the record"
elif [[ -z $cgroup_kind ]]; then
    large_note="not run: $cgroup_note"
else
    rm -rf "$large"
    mkdir -p "$large/out"
    say "writing the large record to $large"
    "$bench/quarvel-bench-large-record" "$large/large.der" >"$large/manifest"
    large_bytes=$(stat -c %s "$large/large.der")
    large_files=$(awk '$1 == "file"' "$large/manifest" | wc -l)
    large_lines=$(awk '$1 == "console" { print $2 }' "$large/manifest")
    sync "$large/large.der"
    say "running ${#large_commands[@]} programs on it, each in a $cgroup_kind memory cgroup limited to $((large_limit >> 20)) MiB"
    for k in "${!large_commands[@]}"; do
        case $k in
            0) cmd=("$inspect" --output "$large/out" "$large/large.der") ;;
            1) cmd=("$inspect" --console "$large/large.der") ;;
            2) cmd=("$dump" exec "$large/large.der") ;;
        esac
        make_group "quarvel-bench-large-$$-$k" "$large_limit" || fail "the memory cgroup for ${large_commands[$k]} could not be made"
        # Cold: the record's pages leave the page cache, so that this run's reads are charged to its group.
        dd if="$large/large.der" iflag=nocache count=0 status=none
        t0=$(date +%s%N)
        set +e
        sh -c 'echo $$ >"$1/cgroup.procs" || exit 125; t=$0; shift; exec /usr/bin/time -f %M -o "$t" "$@"' \
            "$large/time" "$group" "${cmd[@]}" >"$large/stdout" 2>"$large/stderr"
        status=$?
        set -e
        t1=$(date +%s%N)
        read -r peak kills < <(group_peak_and_kills "$group")
        remove_group "$group"
        large_seconds[$k]=$(calc '%.2f' "($t1 - $t0) / 1e9")
        large_rss[$k]=$(awk '/^[0-9]+$/ { v = $1 } END { if (v == "") print "?"; else printf "%.0f", v / 1024 }' "$large/time")
        large_charge[$k]=$([[ $peak == '?' ]] && echo '?' || calc '%.0f' "$peak / 1048576")
        if grep -q 'terminated by signal' "$large/time"; then
            large_status[$k]="killed by $(grep -o "signal [0-9]*" "$large/time" | head -n 1), OOM kills: $kills"
        else
            large_status[$k]="exit $status, OOM kills: $kills"
        fi
        ok=0
        case $k in
            0)
                whole=0
                while read -r _ index octets path; do
                    file=$large/out/$path
                    if [[ -f $file && $(stat -c %s "$file") == "$octets" ]] &&
                        cmp -s "$file" <("$bench/quarvel-bench-large-record" --contents "$index"); then
                        whole=$((whole + 1))
                    fi
                done < <(awk '$1 == "file"' "$large/manifest")
                others=$(($(find "$large/out" -type f | wc -l) - whole))
                large_whole=$whole
                large_result[$k]="$whole of $large_files files whole (size and contents)"
                ((others == 0)) || large_result[$k]+=", $others other files"
                ((whole == large_files && others == 0)) && ok=1
                ;;
            1)
                lines=$(grep -c '^[0-9]*ms: "' "$large/stdout" || true)
                large_result[$k]="transcript of $lines console lines of $large_lines, $(stat -c %s "$large/stdout") octets"
                ((lines == large_lines)) && ok=1
                ;;
            2)
                outputs=$(grep -c '^output ' "$large/stdout" || true)
                console=$(grep -m 1 '^console ' "$large/stdout" || true)
                large_result[$k]="summary: \`${console:-no console line}\`, $outputs output lines"
                [[ $console == "console $large_lines lines"* ]] && ((outputs == large_files)) && ok=1
                ;;
        esac
        ((status == 0)) || ok=0
        if ((!ok)); then
            say "${large_commands[$k]} on the large record: ${large_status[$k]}; ${large_result[$k]}"
            head -c 2000 "$large/stderr" >&2
        fi
        large_ok=$((large_ok + ok))
        rm -rf "$large/out" "$large/stdout"
        mkdir -p "$large/out"
    done
    large_ran=1
    rm -rf "$large"
fi
[[ -n $large_note ]] && say "large record: $large_note"

# Prints the bytes per second of the named benchmark.
throughput() {
    jq -r --arg n "$1" '.benchmarks[] | select(.name == $n or (.name | startswith($n + "/"))) | .bytes_per_second' \
        "$work/exec_bench.json" | head -n 1
}

# --- report ------------------------------------------------------------------------------------------

say "writing $report and $chart"
ms() { calc '%.1f' "${seconds[$1]} * 1000"; }
ms_example() { calc '%.2f' "${seconds[$1]} * 1000"; }
ratio() { calc '%.2f' "${seconds[$1]} / ${seconds[$2]}"; }
mb() { calc '%.1f' "${peak_kb[$1]} / 1024"; }
of_size() { calc '%.2f' "${peak_kb[$1]} * 1024 / ${size[$2]}"; }
charged_mb() { [[ ${charged_kb[$1]:-?} == '?' ]] && echo '?' || calc '%.1f' "${charged_kb[$1]} / 1024"; }
charged_of_size() { [[ ${charged_kb[$1]:-?} == '?' ]] && echo '?' || calc '%.2f' "${charged_kb[$1]} * 1024 / ${size[$2]}"; }
verdict() { awk "BEGIN { exit !($1) }" && echo met || echo missed; }

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
memory=$(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
commit=$(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown)
tasn1_version=$(dpkg-query -W -f '${Version}' libtasn1-6-dev 2>/dev/null || echo unknown)
openssl_version=$(dpkg-query -W -f '${Version}' libssl-dev 2>/dev/null || echo unknown)
asn1c_version=$(dpkg-query -W -f '${Version}' asn1c 2>/dev/null || echo unknown)

decode_ch=$(ratio console-heavy.0 console-heavy.$p_openssl)
decode_bulk=$(ratio bulk.0 bulk.$p_openssl)
console_ch=$(ratio console-heavy.1 console-heavy.$p_openssl)
example_cat=$(ratio example.0 example.$p_cat)
decode_ch_asn1c=''
((with_asn1c)) && decode_ch_asn1c=$(ratio console-heavy.0 console-heavy.$p_asn1c)
# The ratio of $1 to the asn1c peer, or a dash without it.
ratio_asn1c() { ((with_asn1c)) && ratio "$1" "${1%.*}.$p_asn1c" || echo '–'; }
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
        "Release build (-O3); OpenSSL $openssl_version, libtasn1 $tasn1_version$( ((with_asn1c)) && echo ", asn1c $asn1c_version")." \
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
    if ((with_asn1c)); then
        echo "- asn1c peer (\`bench/peers/asn1c_peer.c\`): the C decoder that asn1c generates from \`bench/record.asn\` (at build time, into the build directory), compiled at -O3 with \`-DASN_DEBUG(...)=((void)0)\`: its tracing calls, arguments included, compiled out. \`ber_decode\` (asn1c has no DER-strict decoder), no trailing bytes, every console delta read as a \`long\` and checked, times converted, uuid length and paths checked."
    else
        echo "- asn1c peer: not measured (asn1c missing, or it failed on \`bench/record.asn\`)."
    fi
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
    cat "$work/verdicts.md"
    echo
    echo "## Time (median, milliseconds)"
    echo
    echo "| Program | console-heavy | ÷ OpenSSL | ÷ asn1c | bulk | ÷ OpenSSL | ÷ asn1c | example | ÷ cat |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
    for p in "${!programs[@]}"; do
        echo "| ${programs[$p]} | $(ms console-heavy.$p) | $(ratio console-heavy.$p console-heavy.$p_openssl) | $(ratio_asn1c console-heavy.$p) |" \
            "$(ms bulk.$p) | $(ratio bulk.$p bulk.$p_openssl) | $(ratio_asn1c bulk.$p) |" \
            "$(ms_example example.$p) | $(ratio example.$p example.$p_cat) |"
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
    echo "The figure is the process's peak resident set: its own memory, and the pages of the files it maps that were"
    echo "mapped into it at the peak. quarvel-inspect maps the record; those pages are the page cache's, which the system"
    echo "may reclaim and read again (see the run under a memory limit below). A read fault maps more than the page"
    echo "read: the kernel maps the whole large page-cache folio around it, so touching a few octets every 4 MiB (the"
    echo "headers of bulk's output files) makes tens of MiB resident. The peers and \`cat\` read into their own memory."
    echo
    echo "## Memory charged to each program's own cgroup (MiB)"
    echo
    if [[ -n $cgroup_kind ]]; then
        echo "Each program run once more, alone in a new $cgroup_kind memory cgroup without a limit; the figure is the group's" \
            "peak charge: the program's allocations, page tables and the page cache it fills (the files \`--output\` writes)," \
            "but not the input's pages, which were in the page cache before and stay charged to the group that read them."
        echo
        echo "| Program | console-heavy | × file size | bulk | × file size | example |"
        echo "|---|---:|---:|---:|---:|---:|"
        for p in "${!programs[@]}"; do
            echo "| ${programs[$p]} | $(charged_mb console-heavy.$p) | $(charged_of_size console-heavy.$p console-heavy) |" \
                "$(charged_mb bulk.$p) | $(charged_of_size bulk.$p bulk) | $(charged_mb example.$p) |"
        done
    else
        echo "Not measured: $cgroup_note."
    fi
    echo
    echo "## A record larger than the memory allowed"
    echo
    if ((large_ran)); then
        echo "\`bench/make_large_record.cpp\` writes a record of $large_bytes octets: $large_lines console lines of 200 to 260" \
            "printable octets and $large_files output files of 64 MiB of arbitrary octets. Each program below runs alone in a new" \
            "$cgroup_kind memory cgroup limited to $((large_limit >> 20)) MiB (swap included where the kernel accounts it)," \
            "after the record's pages were dropped from the page cache, so that the pages it reads are charged to its group." \
            "Time is wall time, from a cold cache; peak resident is \`/usr/bin/time -f %M\`, the mapped record's resident pages included;" \
            "the group's peak is its largest charge (the program's memory, and the page cache it read or wrote: at the limit," \
            "the system reclaims). \`--output\` writes to a new directory, each file then compared with the generator's" \
            "(size, and \`cmp\` with its contents written again); \`--console\` writes to a file whose console lines are counted;" \
            "\`quarvel-dump exec\` prints the summary, which is read. Everything written is removed afterwards."
        echo
        echo "| Command | Status | Time (s) | Peak resident (MiB) | Group's peak (MiB) | Result |"
        echo "|---|---|---:|---:|---:|---|"
        for k in "${!large_commands[@]}"; do
            echo "| \`${large_commands[$k]}\` | ${large_status[$k]} | ${large_seconds[$k]} | ${large_rss[$k]} | ${large_charge[$k]} | ${large_result[$k]} |"
        done
    else
        echo "The runs of \`quarvel-inspect --output DIR\`, \`quarvel-inspect --console\` and \`quarvel-dump exec\` on a 1.3 GB" \
            "record in a memory cgroup limited to $((large_limit >> 20)) MiB: ${large_note}."
    fi
    echo
    echo "## Goals of this round"
    echo
    echo "| Measure | Goal | Achieved | |"
    echo "|---|---:|---:|---|"
    echo "| console-heavy, decode only: ÷ the OpenSSL peer | ≤ 0.15 × | ${decode_ch} × | $(verdict "$decode_ch <= 0.15") |"
    if ((with_asn1c)); then
        echo "| console-heavy, decode only: ÷ the asn1c peer | ≤ 0.15 × | ${decode_ch_asn1c} × | $(verdict "$decode_ch_asn1c <= 0.15") |"
    else
        echo "| console-heavy, decode only: ÷ the asn1c peer | ≤ 0.15 × | no asn1c peer | not measured |"
    fi
    echo "| bulk, decode only: ÷ the OpenSSL peer | ≤ 0.10 × | ${decode_bulk} × | $(verdict "$decode_bulk <= 0.10") |"
    echo "| console-heavy, \`--console\`: ÷ the OpenSSL peer's decode | ≤ 0.30 × | ${console_ch} × | $(verdict "$console_ch <= 0.30") |"
    echo "| console-heavy, decode only: peak memory ÷ file size | ≤ 1.3 × | ${memory_ch} × | $(verdict "$memory_ch <= 1.3") |"
    echo "| bulk, decode only: peak memory ÷ file size | ≤ 0.5 × | ${memory_bulk} × | $(verdict "$memory_bulk <= 0.5") |"
    echo "| example, whole process: ÷ \`cat\` | ≤ 1.05 × | ${example_cat} × | $(verdict "$example_cat <= 1.05") |"
    if ((large_ran)); then
        echo "| the $(calc '%.1f' "$large_bytes / 1e9") GB record under $((large_limit >> 20)) MiB: \`--output\`, \`--console\` and \`quarvel-dump exec\` succeed, every file whole | 3 of 3, all files | ${large_ok} of ${#large_commands[@]}, ${large_whole} of ${large_files} files | $(verdict "$large_ok == ${#large_commands[@]} && $large_whole == $large_files") |"
    else
        echo "| the 1.3 GB record under $((large_limit >> 20)) MiB: \`--output\`, \`--console\` and \`quarvel-dump exec\` succeed, every file whole | 3 of 3, all files | ${large_note} | not measured |"
    fi
    echo
    echo "Peak memory is that of \`quarvel-inspect FILE\` in the peak resident memory table above, the mapped record's" \
        "resident pages included."
    echo
    echo "## Earlier targets"
    echo
    echo "| Target | Measured | |"
    echo "|---|---:|---|"
    if ((baseline)); then
        speedup_ch=$(jq -r -n --slurpfile b "$work/baseline.exec_bench.json" --slurpfile c "$work/current.exec_bench.json" '
            def median(f): [f[0].benchmarks[] | select(.aggregate_name == "median" and (.run_name | startswith("exec_of_str/console-heavy")))][0].cpu_time;
            median($b) / median($c) * 100 | round / 100')
        echo "| \`exec_of_str\` on console-heavy, CPU time: at least 1.30 × faster than the baseline below | ${speedup_ch} × | $(verdict "$speedup_ch >= 1.30") |"
        if [[ -s $work/instructions ]]; then
            worst=$(awk '$4 > m { m = $4 } END { printf "%.3f", m }' "$work/instructions")
            echo "| codec instructions, the worst section: at most 1.000 × the baseline's | ${worst} × | $(verdict "$worst <= 1.0") |"
        fi
    else
        echo "| \`exec_of_str\` on console-heavy, CPU time: at least 1.30 × faster than a baseline | no baseline given (BASELINE_SOURCE, BASELINE_BUILD) | not measured |"
        echo "| codec instructions, the worst section: at most 1.000 × a baseline's | no baseline given | not measured |"
    fi
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
    "$root/bench/framing.sh" "$rounds" "$build"
    echo
    echo "## Codecs (Google Benchmark, in process)"
    echo
    echo "\`exec_bench\`, \`state_bench\` and \`cmd_bench\` in build/bench/bench; the state has 100,000 items, each"
    echo "command is one value of its alternative (bench/inputs.cpp). Throughput is over CPU time (robust on a shared"
    echo "machine; the programs are single-threaded). MB is 10^6 bytes."
    echo
    echo "The record's decode rows time the decode alone: each decoded record is kept and freed with the timers paused,"
    echo "after every iteration for the large inputs (5 iterations each) and 1024 at a time for the example (a pause per"
    echo "iteration would cost more than its decode). \`exec_view_of_str\` refers to the console texts and output contents"
    echo "where they lie in the input without reading them, so its MB/s on bulk is that of the record's structure, not"
    echo "of its 256 MiB of contents."
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
