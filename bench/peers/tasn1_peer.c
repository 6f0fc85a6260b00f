/* Benchmark peer: decodes a job execution record with libtasn1, from the module bench/record.asn.
 * Usage: tasn1_peer [-m MODULE] FILE. Exits 0 when the file is exactly one valid record (strict DER, no
 * trailing bytes), else prints why and exits 1. Reads every console delta as a 64-bit integer, checks the
 * uuid length, the times and the output paths. */
#include <libtasn1.h>

#include "read_file.h"

#ifndef QUARVEL_RECORD_ASN
#define QUARVEL_RECORD_ASN "record.asn"
#endif

/* Reads a signed big-endian INTEGER of at most 8 octets. */
static const char *read_integer(asn1_node_const node, const char *name, long long *value) {
    unsigned char octets[16];
    int length = sizeof octets;
    if (asn1_read_value(node, name, octets, &length) != ASN1_SUCCESS || length < 1 || length > 8)
        return "integer out of range";
    unsigned long long v = (octets[0] & 0x80) ? ~0ULL : 0;
    for (int i = 0; i < length; ++i) v = (v << 8) | octets[i];
    *value = (long long)v;
    return in_record_integer_range(*value) ? NULL : "integer out of range";
}

/* SEQUENCE OF elements are named ?1, ?2, ...; asn1_find_node starting at element k walks right, so
 * looking up ?k+1 from ?k is one step (looking each up from the parent would be quadratic). */
static asn1_node next_element(asn1_node_const element, long index) {
    char name[32];
    snprintf(name, sizeof name, "?%ld", index);
    return asn1_find_node(element, name);
}

/* Two decimal digits at `text`, or -1. */
static int two_digits(const char *text) {
    if (text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9') return -1;
    return (text[0] - '0') * 10 + (text[1] - '0');
}

/* libtasn1 checks only the time's final Z: check the calendar fields as a record reader must. */
static const char *check_time(asn1_node_const exec, const char *member, long long *sum) {
    char name[96], alternative[32], text[40];
    int length = sizeof alternative;
    snprintf(name, sizeof name, "record.timestamps.%s", member);
    if (asn1_read_value(exec, name, alternative, &length) != ASN1_SUCCESS) return "invalid time";
    snprintf(name, sizeof name, "record.timestamps.%s.%s", member, alternative);
    length = sizeof text - 1;
    if (asn1_read_value(exec, name, text, &length) != ASN1_SUCCESS) return "invalid time";
    text[length] = 0;
    length = (int)strlen(text); /* libtasn1 counts the terminating NUL of time values */
    const int utc = strcmp(alternative, "utcTime") == 0;
    const char *fields = text + (utc ? 0 : 2);
    if (length < (utc ? 13 : 15) || text[length - 1] != 'Z' || (!utc && two_digits(text) < 0)) return "invalid time";
    const int year = two_digits(fields), month = two_digits(fields + 2), day = two_digits(fields + 4);
    const int hour = two_digits(fields + 6), minute = two_digits(fields + 8), second = two_digits(fields + 10);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return "invalid time";
    *sum += second;
    return NULL;
}

static const char *check_paths(asn1_node_const root, const char *sequence_of) {
    int count = 0;
    if (asn1_number_of_elements(root, sequence_of, &count) != ASN1_SUCCESS) return "missing output files";
    char name[64];
    snprintf(name, sizeof name, "%s.?1", sequence_of);
    asn1_node element = count > 0 ? asn1_find_node(root, name) : NULL;
    for (long k = 1; k <= count; ++k) {
        if (!element) return "missing output file";
        char path_name[40];
        snprintf(path_name, sizeof path_name, "?%ld.path", k);
        unsigned char path[4096];
        int length = sizeof path;
        int status = asn1_read_value(element, path_name, path, &length);
        if (status == ASN1_MEM_ERROR) {
            unsigned char *long_path = malloc((size_t)length);
            if (!long_path) return "out of memory";
            status = asn1_read_value(element, path_name, long_path, &length);
            int valid = status == ASN1_SUCCESS && valid_path(long_path, (size_t)length);
            free(long_path);
            if (!valid) return "invalid path";
        } else if (status != ASN1_SUCCESS || !valid_path(path, (size_t)length)) {
            return "invalid path";
        }
        if (k < count) element = next_element(element, k + 1);
    }
    return NULL;
}

static const char *check_record(asn1_node_const exec, long long *sum) {
    char alternative[32];
    int length = sizeof alternative;
    if (asn1_read_value(exec, "", alternative, &length) != ASN1_SUCCESS) return "no record alternative";
    if (strcmp(alternative, "record") != 0) return "reserved record alternative";

    const char *failure;
    if ((failure = check_paths(exec, "record.job.files"))) return failure;

    unsigned char uuid[64];
    length = sizeof uuid;
    int status = asn1_read_value(exec, "record.uuid", uuid, &length);
    if ((status != ASN1_SUCCESS && status != ASN1_MEM_ERROR) || length < 16) return "couldn't decode UUID";

    int count = 0;
    if (asn1_number_of_elements(exec, "record.console", &count) != ASN1_SUCCESS) return "missing console";
    asn1_node line = count > 0 ? asn1_find_node(exec, "record.console.?1") : NULL;
    for (long k = 1; k <= count; ++k) {
        if (!line) return "missing console line";
        char delta_name[40];
        snprintf(delta_name, sizeof delta_name, "?%ld.delta", k);
        long long delta;
        if ((failure = read_integer(line, delta_name, &delta))) return failure;
        *sum += delta;
        if (k < count) line = next_element(line, k + 1);
    }

    if ((failure = check_time(exec, "started", sum))) return failure;
    if ((failure = check_time(exec, "finished", sum))) return failure;

    length = sizeof alternative;
    if (asn1_read_value(exec, "record.result", alternative, &length) != ASN1_SUCCESS) return "no result";
    if (strcmp(alternative, "msg") != 0) {
        char result_name[64];
        snprintf(result_name, sizeof result_name, "record.result.%s", alternative);
        long long code;
        if ((failure = read_integer(exec, result_name, &code))) return failure;
        *sum += code;
    }
    return check_paths(exec, "record.output");
}

int main(int argc, char **argv) {
    const char *module = QUARVEL_RECORD_ASN;
    if (argc == 4 && strcmp(argv[1], "-m") == 0) {
        module = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc != 2) {
        fprintf(stderr, "usage: %s [-m MODULE] FILE\n", argv[0]);
        return 1;
    }
    size_t size;
    unsigned char *bytes = read_whole_file(argv[1], &size);
    if (!bytes) return 1;
    if (size > 0x7fffffff) {
        fprintf(stderr, "%s: too large for libtasn1\n", argv[1]);
        return 1;
    }

    char error[ASN1_MAX_ERROR_DESCRIPTION_SIZE] = "";
    asn1_node definitions = NULL;
    int status = asn1_parser2tree(module, &definitions, error);
    if (status != ASN1_SUCCESS) {
        fprintf(stderr, "%s: %s %s\n", module, asn1_strerror(status), error);
        return 1;
    }
    asn1_node exec = NULL;
    status = asn1_create_element(definitions, "QuarvelRecord.Exec", &exec);
    if (status != ASN1_SUCCESS) {
        fprintf(stderr, "QuarvelRecord.Exec: %s\n", asn1_strerror(status));
        return 1;
    }
    int length = (int)size;
    status = asn1_der_decoding2(&exec, bytes, &length, ASN1_DECODE_FLAG_STRICT_DER, error);
    const char *failure = NULL;
    long long sum = 0;
    if (status != ASN1_SUCCESS) {
        fprintf(stderr, "%s: %s %s\n", argv[1], asn1_strerror(status), error);
        free(bytes);
        return 1;
    }
    failure = check_record(exec, &sum);
    asn1_delete_structure(&exec);
    asn1_delete_structure(&definitions);
    free(bytes);
    return peer_exit(argv[1], failure, sum);
}
