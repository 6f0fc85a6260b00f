#!/usr/bin/env bash
# Peak memory of both tools on a record cut short, against the record's size: records of SIZE MiB (default
# 32) of two shapes, one of many small console lines (the most headers per octet) and one of a few large
# output files, each cut by its last octet and in its middle. quarvel-inspect writes the decoder's whole
# message (a dump of every octet), quarvel-dump its short form; both to /dev/null. Prints each peak in KiB,
# and the bounds they are held to: quarvel-dump 1.2 x the input + 64 MiB, quarvel-inspect 1.5 x + 64 MiB.
#
#   bench/cut_memory.sh [BUILD [SIZE]]     (default: build/default, 32)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/default}
size_mib=${2:-32}
inspect=$build/app/quarvel-inspect
dump=$build/app/quarvel-dump
[[ -x $inspect && -x $dump ]] || { echo "cut_memory.sh: no tools in $build/app" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "cut_memory.sh: needs GNU time in /usr/bin/time" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The worked example's members around many console lines (lines) or output files (files), in DER.
python3 - "$work" "$size_mib" <<'EOF'
import sys
work, size = sys.argv[1], int(sys.argv[2]) << 20

def tlv(tag, contents):
    n = len(contents)
    if n < 128:
        length = bytes([n])
    else:
        octets = n.to_bytes((n.bit_length() + 7) // 8, 'big')
        length = bytes([0x80 | len(octets)]) + octets
    return bytes([tag]) + length + contents

utf8 = lambda b: tlv(0x0C, b)
seq = lambda *m: tlv(0x30, b''.join(m))
job = seq(utf8(b'a'), utf8(b's'), seq(), utf8(b'p'))
uuid = utf8(bytes(range(16)))
times = seq(tlv(0x18, b'20240102030405Z'), tlv(0x18, b'20240102030406Z'))
result = tlv(0xA0, tlv(0x02, b'\x00'))

def record(console, output):
    return tlv(0xA0, seq(job, uuid, console, times, result, output))

line = seq(tlv(0x02, b'\x4c\x4b\x40'), utf8(b'x' * 40))
lines = record(tlv(0x30, line * (size // len(line))), seq())
chunk = 4 << 20
files = record(seq(), tlv(0x30, b''.join(seq(utf8(b'f%d' % i), utf8(b'y' * chunk)) for i in range(size // chunk))))
for name, rec in (('lines', lines), ('files', files)):
    open(f'{work}/{name}.der', 'wb').write(rec)
    open(f'{work}/{name}-end.der', 'wb').write(rec[:-1])
    open(f'{work}/{name}-middle.der', 'wb').write(rec[:len(rec) // 2])
EOF

peak() {  # KiB of the peak resident memory of the command
    /usr/bin/time -f %M -o "$work/peak" "$@" >/dev/null 2>&1 || true
    tail -n 1 "$work/peak"
}

printf '%-16s %12s %16s %12s %16s %12s\n' input 'size KiB' 'inspect KiB' 'bound' 'dump exec KiB' 'bound'
for shape in lines files; do
    for cut in end middle; do
        f=$work/$shape-$cut.der
        kib=$(( $(stat -c %s "$f") / 1024 ))
        printf '%-16s %12d %16d %12d %16d %12d\n' "$shape-$cut" "$kib" \
            "$(peak "$inspect" --console "$f")" $(( kib * 3 / 2 + 65536 )) \
            "$(peak "$dump" exec "$f")" $(( kib * 6 / 5 + 65536 ))
    done
done
