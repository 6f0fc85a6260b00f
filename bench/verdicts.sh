#!/usr/bin/env bash
# What each decoder of bench/compare.sh accepts and refuses, as a section of BENCHMARKS.md on standard
# output: quarvel-inspect and the peers (OpenSSL, libtasn1, asn1c where built) on the benchmark's inputs and
# on variants of the worked example, each refused by DER (the record's encoding).
#
#   bench/verdicts.sh BUILD INPUTS     (the bench build, and the directory quarvel-bench-inputs wrote)
#
# Exits 1 when a peer disagrees with quarvel-inspect on an accepted input or on a record that no decoder
# of it may take (a trailing byte, a record cut short, a wrong tag). On the variants that break a rule of
# DER, a lenient decoder (a BER decoder such as asn1c's) may accept: the section reports them, and the
# run goes on. With VERDICTS_KEEP=DIR, the variants are written to DIR and kept.
set -euo pipefail
build=${1:?usage: verdicts.sh BUILD INPUTS}
inputs=${2:?usage: verdicts.sh BUILD INPUTS}
work=${VERDICTS_KEEP:-$(mktemp -d)}
[[ -n ${VERDICTS_KEEP:-} ]] || trap 'rm -rf "$work"' EXIT

names=(quarvel-inspect "OpenSSL peer" "libtasn1 peer")
paths=("$build/app/quarvel-inspect" "$build/bench/openssl_peer" "$build/bench/tasn1_peer")
if [[ -x $build/bench/asn1c_peer ]]; then
    names+=("asn1c peer")
    paths+=("$build/bench/asn1c_peer")
fi
for path in "${paths[@]}"; do [[ -x $path ]] || { echo "verdicts.sh: $path is not built" >&2; exit 2; }; done

# The worked example as two hex digits per octet.
example=($(od -An -v -tx1 "$inputs/example.der"))

# Writes to file $1 the worked example with its octets [$2, $3) replaced by the hex octets $4, adding the
# change in size to the short-form lengths at the octet offsets that follow (those of the elements that
# enclose the change).
variant() {
    local file=$1 from=$2 to=$3 octets=$4 grown i
    shift 4
    local new=($octets) copy=("${example[@]}")
    grown=$((${#new[@]} - (to - from)))
    for i in "$@"; do copy[$i]=$(printf '%02x' $((16#${copy[$i]} + grown))); done
    printf '%s' "${copy[@]:0:from}" "${new[@]}" "${copy[@]:to}" | sed 's/../\\x&/g' | xargs -0 printf '%b' >"$file"
}

# The example's elements (quarvel-dump der): the record's [0] at 0 and its SEQUENCE at 2; the uuid at 17;
# the result's [0] at 84 and its INTEGER at 86; the output files' SEQUENCE OF at 89, the one file at 91,
# its path at 93 and its data ("x") at 102. A length octet follows each identifier octet. A variant that
# breaks a rule of DER only is valid BER; † marks those that break a rule of BER too.
cases=() descriptions=() ber_refuses=()
add_case() { cases+=("$1"); descriptions+=("$2"); ber_refuses+=("$3"); }

cp "$inputs/example.der" "$work/example.der"
add_case example "the worked example" accepted
add_case console-heavy "console-heavy" accepted
add_case bulk "bulk" accepted
{ cat "$inputs/example.der"; printf 'x'; } >"$work/trailing.der"
add_case trailing "the example and one trailing octet" refused
head -c -1 "$inputs/example.der" >"$work/cut.der"
add_case cut "the example cut short by its last octet" refused
variant "$work/tag.der" 17 18 "04"
add_case tag "the uuid as an OCTET STRING (wrong tag)" refused
variant "$work/long-length.der" 102 104 "0c 81 01" 1 3 90 92
add_case long-length "a length in the long form where the short one fits (\`0c 81 01 78\`)" der
{ printf '\xa0\x80'; tail -c +3 "$inputs/example.der"; printf '\0\0'; } >"$work/indefinite.der"
add_case indefinite "the record's [0] with the indefinite length (\`a0 80\` ... \`00 00\`)" der
variant "$work/indefinite-inner.der" 91 105 "30 80 0c 07 6f 75 74 2e 74 78 74 0c 01 78 00 00" 1 3 90
add_case indefinite-inner "the output file's SEQUENCE with the indefinite length (\`30 80\` ... \`00 00\`)" der
# X.690 makes the segments of a constructed string OCTET STRINGs; some decoders want the string's own tag.
variant "$work/constructed.der" 102 105 "2c 03 04 01 78" 1 3 90 92
add_case constructed "a UTF8String in the constructed form, an OCTET STRING segment (\`2c 03 04 01 78\`)" der
variant "$work/constructed-own-tag.der" 102 105 "2c 03 0c 01 78" 1 3 90 92
add_case constructed-own-tag "a UTF8String in the constructed form, a UTF8String segment (\`2c 03 0c 01 78\`) †" der
variant "$work/integer.der" 86 89 "02 02 00 00" 1 3 85
add_case integer "the exit code 0 in two octets (\`02 02 00 00\`) †" der
variant "$work/tag-form.der" 17 18 "1f 0c" 1 3
add_case tag-form "the uuid's tag 12 in the high-tag-number form (\`1f 0c\`) †" der

disagreements=0
declare -A verdict
for c in "${!cases[@]}"; do
    file=$work/${cases[$c]}.der
    [[ ${ber_refuses[$c]} == accepted ]] && file=$inputs/${cases[$c]}.der
    for p in "${!paths[@]}"; do
        if "${paths[$p]}" "$file" >/dev/null 2>&1; then verdict[$c.$p]=accepts; else verdict[$c.$p]=refuses; fi
    done
    if [[ ${ber_refuses[$c]} != der ]]; then
        for p in "${!paths[@]}"; do
            if [[ ${verdict[$c.$p]} != "${verdict[$c.0]}" ]]; then
                echo "verdicts.sh: ${names[$p]} ${verdict[$c.$p]} ${descriptions[$c]}, quarvel-inspect ${verdict[$c.0]}" >&2
                disagreements=$((disagreements + 1))
            fi
        done
    fi
done

echo "## What each decoder accepts (bench/verdicts.sh)"
echo
echo "Each program on the benchmark's inputs and on variants of the worked example, the lengths of the elements"
echo "around each change adjusted. The verdicts on the first six are the same for every decoder of the record (the"
echo "run stops if a peer differs). The others break a rule of DER; those marked † break one of X.690's rules for"
echo "BER as well (segments of a constructed string are OCTET STRINGs; an INTEGER's first nine bits are not all"
echo "equal; tags up to 30 take the short form), which lenient decoders do not check."
echo
printf '| Input |'
printf ' %s |' "${names[@]}"
echo
printf '|---|'
printf -- '---|%.0s' "${names[@]}"
echo
for c in "${!cases[@]}"; do
    printf '| %s |' "${descriptions[$c]}"
    for p in "${!paths[@]}"; do printf ' %s |' "${verdict[$c.$p]}"; done
    echo
done

# The verdict of the asn1c peer on the named case.
asn1c_on() {
    local c
    for c in "${!cases[@]}"; do [[ ${cases[$c]} == "$1" ]] && echo "${verdict[$c.3]}"; done
}
if [[ ${names[3]:-} == "asn1c peer" ]]; then
    accepted=()
    for c in "${!cases[@]}"; do
        [[ ${ber_refuses[$c]} == der && ${verdict[$c.3]} == accepts ]] && accepted+=("${descriptions[$c]}")
    done
    echo
    printf '%s' "Where a peer accepts what quarvel-inspect refuses, it does not enforce that rule of DER. asn1c's" \
        " \`ber_decode\` decodes BER (asn1c has DER for encoding only), and the peer accepts ${#accepted[@]} of the" \
        " $((${#cases[@]} - 6)) variants:"
    if ((${#accepted[@]})); then
        printf ' %s;' "${accepted[@]:0:${#accepted[@]}-1}"
        printf ' %s.' "${accepted[-1]}"
    fi
    if [[ $(asn1c_on indefinite) == refuses && $(asn1c_on indefinite-inner) == accepts ]]; then
        printf '%s' " It takes an indefinite length, but not where an explicit tag and the element inside it differ" \
            " in form (one length definite, the other indefinite), which BER allows: hence its refusal of the" \
            " record's [0] in the indefinite form."
    fi
    if [[ $(asn1c_on constructed) == refuses && $(asn1c_on constructed-own-tag) == accepts ]]; then
        printf '%s' " It takes a constructed UTF8String only when its segments carry the UTF8String's own tag, where" \
            " X.690 makes them OCTET STRINGs."
    fi
    echo
fi
((disagreements == 0))
