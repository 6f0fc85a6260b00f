/* Benchmark peer: decodes a job execution record with OpenSSL's ASN.1 templates.
 * Usage: openssl_peer FILE. Exits 0 when the file is exactly one valid record, else prints why and exits 1.
 * Reads every console delta as a 64-bit integer, checks the uuid length, the output paths and the times. */
#include <openssl/asn1.h>
#include <openssl/asn1t.h>
#include <openssl/err.h>
#include <openssl/safestack.h>
#include <time.h>

#include "read_file.h"

typedef struct {
    ASN1_UTF8STRING *path;
    ASN1_UTF8STRING *data;
} OUTPUT_FILE;
DEFINE_STACK_OF(OUTPUT_FILE)
ASN1_SEQUENCE(OUTPUT_FILE) = {
    ASN1_SIMPLE(OUTPUT_FILE, path, ASN1_UTF8STRING),
    ASN1_SIMPLE(OUTPUT_FILE, data, ASN1_UTF8STRING),
} ASN1_SEQUENCE_END(OUTPUT_FILE)

typedef struct {
    ASN1_UTF8STRING *name;
    ASN1_UTF8STRING *script;
    STACK_OF(OUTPUT_FILE) *files;
    ASN1_UTF8STRING *platform; /* optional */
} SCRIPT_JOB;
ASN1_SEQUENCE(SCRIPT_JOB) = {
    ASN1_SIMPLE(SCRIPT_JOB, name, ASN1_UTF8STRING),
    ASN1_SIMPLE(SCRIPT_JOB, script, ASN1_UTF8STRING),
    ASN1_SEQUENCE_OF(SCRIPT_JOB, files, OUTPUT_FILE),
    ASN1_OPT(SCRIPT_JOB, platform, ASN1_UTF8STRING),
} ASN1_SEQUENCE_END(SCRIPT_JOB)

typedef struct {
    ASN1_INTEGER *delta;
    ASN1_UTF8STRING *data;
} CONSOLE_LINE;
DEFINE_STACK_OF(CONSOLE_LINE)
ASN1_SEQUENCE(CONSOLE_LINE) = {
    ASN1_SIMPLE(CONSOLE_LINE, delta, ASN1_INTEGER),
    ASN1_SIMPLE(CONSOLE_LINE, data, ASN1_UTF8STRING),
} ASN1_SEQUENCE_END(CONSOLE_LINE)

/* ASN1_TIME is the untagged CHOICE of UTCTime and GeneralizedTime. */
typedef struct {
    ASN1_TIME *started;
    ASN1_TIME *finished;
} TIMESTAMPS;
ASN1_SEQUENCE(TIMESTAMPS) = {
    ASN1_SIMPLE(TIMESTAMPS, started, ASN1_TIME),
    ASN1_SIMPLE(TIMESTAMPS, finished, ASN1_TIME),
} ASN1_SEQUENCE_END(TIMESTAMPS)

enum { RES_EXITED, RES_SIGNALLED, RES_STOPPED, RES_MSG };
typedef struct {
    int type;
    union {
        ASN1_INTEGER *exited;
        ASN1_INTEGER *signalled;
        ASN1_INTEGER *stopped;
        ASN1_UTF8STRING *msg;
    } value;
} RES;
ASN1_CHOICE(RES) = {
    ASN1_EXP(RES, value.exited, ASN1_INTEGER, 0),
    ASN1_EXP(RES, value.signalled, ASN1_INTEGER, 1),
    ASN1_EXP(RES, value.stopped, ASN1_INTEGER, 2),
    ASN1_EXP(RES, value.msg, ASN1_UTF8STRING, 3),
} ASN1_CHOICE_END(RES)

typedef struct {
    SCRIPT_JOB *job;
    ASN1_UTF8STRING *uuid;
    STACK_OF(CONSOLE_LINE) *console;
    TIMESTAMPS *timestamps;
    RES *result;
    STACK_OF(OUTPUT_FILE) *output;
} RECORD;
ASN1_SEQUENCE(RECORD) = {
    ASN1_SIMPLE(RECORD, job, SCRIPT_JOB),
    ASN1_SIMPLE(RECORD, uuid, ASN1_UTF8STRING),
    ASN1_SEQUENCE_OF(RECORD, console, CONSOLE_LINE),
    ASN1_SIMPLE(RECORD, timestamps, TIMESTAMPS),
    ASN1_SIMPLE(RECORD, result, RES),
    ASN1_SEQUENCE_OF(RECORD, output, OUTPUT_FILE),
} ASN1_SEQUENCE_END(RECORD)

enum { EXEC_RECORD, EXEC_RESERVED };
typedef struct {
    int type;
    union {
        RECORD *record;
        ASN1_NULL *reserved;
    } value;
} EXEC;
ASN1_CHOICE(EXEC) = {
    ASN1_EXP(EXEC, value.record, RECORD, 0),
    ASN1_EXP(EXEC, value.reserved, ASN1_NULL, 1),
} ASN1_CHOICE_END(EXEC)

DECLARE_ASN1_FUNCTIONS(EXEC)
IMPLEMENT_ASN1_FUNCTIONS(EXEC)

static const char *check_paths(const STACK_OF(OUTPUT_FILE) *files) {
    for (int i = 0; i < sk_OUTPUT_FILE_num(files); ++i) {
        const OUTPUT_FILE *file = sk_OUTPUT_FILE_value(files, i);
        if (!valid_path(ASN1_STRING_get0_data(file->path), (size_t)ASN1_STRING_length(file->path)))
            return "invalid path";
    }
    return NULL;
}

static const char *check_integer(const ASN1_INTEGER *integer, long long *sum) {
    int64_t value;
    if (!ASN1_INTEGER_get_int64(&value, integer) || !in_record_integer_range(value)) return "integer out of range";
    *sum += value;
    return NULL;
}

static const char *check_time(const ASN1_TIME *t, long long *sum) {
    struct tm tm;
    if (!ASN1_TIME_to_tm(t, &tm)) return "invalid time";
    *sum += tm.tm_sec;
    return NULL;
}

/* The checks and conversions that turn the decoded tree into a record's values. */
static const char *check_record(const RECORD *record, long long *sum) {
    const char *failure;
    if ((failure = check_paths(record->job->files))) return failure;
    if (ASN1_STRING_length(record->uuid) < 16) return "couldn't decode UUID";
    for (int i = 0; i < sk_CONSOLE_LINE_num(record->console); ++i) {
        const CONSOLE_LINE *line = sk_CONSOLE_LINE_value(record->console, i);
        if ((failure = check_integer(line->delta, sum))) return failure;
        *sum += ASN1_STRING_length(line->data);
    }
    if ((failure = check_time(record->timestamps->started, sum))) return failure;
    if ((failure = check_time(record->timestamps->finished, sum))) return failure;
    if (record->result->type != RES_MSG && (failure = check_integer(record->result->value.exited, sum)))
        return failure;
    return check_paths(record->output);
}

int main(int argc, char **argv) {
    size_t size;
    unsigned char *bytes = read_argument_file(argc, argv, &size);
    if (!bytes) return 1;

    const unsigned char *cursor = bytes;
    EXEC *exec = d2i_EXEC(NULL, &cursor, (long)size);
    const char *failure = NULL;
    long long sum = 0;
    if (!exec) {
        char text[256];
        ERR_error_string_n(ERR_get_error(), text, sizeof text);
        fprintf(stderr, "%s: %s\n", argv[1], text);
        free(bytes);
        return 1;
    }
    if (cursor != bytes + size)
        failure = "trailing bytes";
    else if (exec->type != EXEC_RECORD)
        failure = "reserved record alternative";
    else
        failure = check_record(exec->value.record, &sum);
    EXEC_free(exec);
    free(bytes);
    return peer_exit(argv[1], failure, sum);
}
