#!/usr/bin/env bash
# What one quarvel-dump run over many small records saves against one run per record: 10,000 copies of
# samples/hello.der are summarised by `quarvel-dump exec FILE…`, then by a loop of one process per file,
# both writing to /dev/null; prints both times and their ratio.
#
#   bench/many_files.sh [QUARVEL_DUMP]     (default: build/default/app/quarvel-dump)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=${1:-$root/build/default/app/quarvel-dump}
count=10000
sample=$root/samples/hello.der
[[ -x $tool ]] || { echo "many_files.sh: no $tool (build quarvel-dump, or give its path)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# tee writes the sample into hundreds of files at a time: the files cost no process each.
for ((i = 1; i <= count; i++)); do printf '%s/rec%05d.der\n' "$work" "$i"; done >"$work/names"
xargs -a "$work/names" -d '\n' -n 500 sh -c 'tee -- "$@" <"$0" >/dev/null' "$sample"
files=("$work"/rec*.der)
((${#files[@]} == count)) || { echo "many_files.sh: made ${#files[@]} files, not $count" >&2; exit 1; }

now() { printf '%s' "$EPOCHREALTIME"; }

# xargs passes as many names to each run as the argument list takes: one run unless ARG_MAX bites.
start=$(now)
printf '%s\0' "${files[@]}" | xargs -0 "$tool" exec >/dev/null
one_run=$(awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')

start=$(now)
for f in "${files[@]}"; do "$tool" exec "$f"; done >/dev/null
per_file=$(awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')

printf 'records:          %d copies of samples/hello.der (%d bytes)\n' "$count" "$(stat -c %s "$sample")"
printf 'one run:          %s s\n' "$one_run"
printf 'one run per file: %s s\n' "$per_file"
awk -v a="$one_run" -v b="$per_file" 'BEGIN { printf "ratio:            %.1f\n", b / a }'
