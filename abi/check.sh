#!/usr/bin/env bash
# The shared library's ABI against the baseline stored beside this script.
#
#   abi/check.sh BUILD_DIR            compares BUILD_DIR/lib/libquarvel.so with the baseline: any change to
#                                     the ABI fails, until the same commit updates the baseline
#   abi/check.sh --update BUILD_DIR   writes the baseline from BUILD_DIR/lib/libquarvel.so; a change other
#                                     than additions is refused unless the version has moved to a new series
#                                     (the minor number while the major is 0, else the major)
#
# Only the installed headers' types are compared (abidw and abidiff with --headers-dir), so the library's
# hidden machinery may change freely. The types come from the library's debug information: a library
# without it (stripped, or built with line tables alone) is refused, and so is a baseline without types,
# since either would compare symbol names only and let any change of a type through. Needs abidw and
# abidiff (Debian: abigail-tools) and readelf.
#
# The baseline is abidw's XML made stable for review: types are named by hashes of their own description
# (abidw --type-id-style hash) instead of by a counter that one new type shifts for every later one, and
# the symbol lists are sorted. Adding a function adds its symbol, its declaration and the types it brings.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
baseline="$here/libquarvel.abi"
baseline_version="$here/libquarvel.version"
headers=(--headers-dir "$source_dir/lib/quarvel/include")

fail() { echo "abi/check.sh: $*" >&2; exit 1; }

update=false
if [ "${1:-}" = "--update" ]; then update=true; shift; fi
[ $# -eq 1 ] || { echo "usage: abi/check.sh [--update] BUILD_DIR" >&2; exit 2; }
library="$1/lib/libquarvel.so"
[ -f "$library" ] || { echo "abi/check.sh: no shared library at $library (build with BUILD_SHARED_LIBS=ON)" >&2; exit 2; }

# The series a version belongs to: 0.MINOR while the major is 0, else MAJOR.
series() {
  local major minor
  IFS=. read -r major minor _ <<<"$1"
  if [ "$major" = 0 ]; then echo "0.$minor"; else echo "$major"; fi
}
version="$(sed -nE 's/^#define QUARVEL_VERSION_(MAJOR|MINOR|PATCH) ([0-9]+)$/\2/p' \
             "$source_dir/lib/quarvel/include/quarvel/version.hpp" | paste -sd.)"

# The library names the series of <quarvel/version.hpp> in its SONAME and its symbol version.
soname="$(readelf -d "$library" | sed -nE 's/.*\(SONAME\).*\[(.*)\]$/\1/p')"
[ "$soname" = "libquarvel.so.$(series "$version")" ] ||
  fail "the SONAME of $library is '$soname', not libquarvel.so.$(series "$version") of version $version: rebuild after changing the version"
readelf -V "$library" | grep -q "Name: QUARVEL_$(series "$version")\$" ||
  fail "$library has no symbol version QUARVEL_$(series "$version") of version $version"

# Types or nothing: the debug information must be there to read them.
readelf -S --wide "$library" | grep -q ' \.debug_info ' ||
  fail "$library has no debug information (.debug_info): its types cannot be compared. Check a build with -g, such as the shared preset's, not a stripped one."

# Whether an ABI description declares types (not only the symbols' names).
has_types() { grep -qE "<(class-decl|type-decl|typedef-decl) " "$1"; }

# The library's ABI in the baseline's form. Both sides are compared as abidw writes them: abidiff between
# the stored form and the ELF file itself reports differences of representation, and can miss a change
# of a type inside a standard template (an alternative of the command variant).
write_abi() {
  local raw
  raw="$(mktemp)"
  abidw "${headers[@]}" --exported-interfaces-only --drop-private-types --no-corpus-path --no-comp-dir-path \
    --no-show-locs --no-parameter-names --type-id-style hash --out-file "$raw" "$library"
  normalise <"$raw" >"$1"
  rm -f "$raw"
}
# Sorts each run of symbol lines (<elf-symbol .../>) by name; abidw writes them in the order of the symbol
# table, which a new symbol reorders. Everything else is kept as abidw wrote it.
normalise() {
  LC_ALL=C awk '
    /^ *<elf-symbol / { print | "sort"; sorting = 1; next }
    { if (sorting) { close("sort"); sorting = 0 } print }'
}

current="$(mktemp)"
trap 'rm -f "$current"' EXIT
write_abi "$current"
has_types "$current" ||
  fail "abidw read no types from $library (built with line tables only, -g1?): check a build with full debug information"

compare() {
  local status=0
  abidiff "$baseline" "$current" || status=$?
  return $status
}

if [ -f "$baseline" ] && ! has_types "$baseline"; then
  if $update; then
    echo "abi/check.sh: the stored baseline declares no types; it is replaced without comparison" >&2
    rm -f "$baseline"
  else
    fail "the baseline $baseline declares no types (written from a library without debug information?): every change would pass. Write it again with abi/check.sh --update BUILD_DIR from a build with debug information."
  fi
fi

if $update; then
  if [ -f "$baseline" ]; then
    # Only additions keep a series: a removed symbol (abidiff's incompatible bit) or a changed one (a type
    # it reaches changed, which abidiff does not count as incompatible) needs a new one.
    status=0
    report="$(compare)" || status=$?
    breaking=false
    if (( status & 8 )) || grep -qE '(^|, )[1-9][0-9]* (Removed|Changed)' <<<"$report"; then breaking=true; fi
    if $breaking && [ "$(series "$(cat "$baseline_version")")" = "$(series "$version")" ]; then
      compare || true
      echo "abi/check.sh: an incompatible ABI change needs a new version series (now $version, baseline $(cat "$baseline_version")): raise it in <quarvel/version.hpp>" >&2
      exit 1
    fi
  fi
  cp "$current" "$baseline"
  echo "$version" >"$baseline_version"
  echo "abi/check.sh: baseline written for version $version"
  exit 0
fi

[ -f "$baseline" ] || fail "no baseline at $baseline: write one with abi/check.sh --update BUILD_DIR"
status=0
compare || status=$?
if (( status & 3 )); then
  echo "abi/check.sh: abidiff failed (status $status)" >&2
  exit 1
fi
if (( status != 0 )); then
  echo "abi/check.sh: the ABI differs from the baseline (above). If the change is meant, update the baseline in the same commit: abi/check.sh --update BUILD_DIR (and raise the version where the change breaks)." >&2
  exit 1
fi
echo "abi/check.sh: the ABI matches the baseline (version $(cat "$baseline_version"))"
