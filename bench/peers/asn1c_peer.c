/* Benchmark peer: decodes a job execution record with the C decoder that asn1c generates from
 * bench/record.asn (the build runs asn1c; its code is not kept in the source tree).
 * Usage: asn1c_peer FILE. Exits 0 when the file is exactly one valid record, else prints why and exits 1.
 * asn1c decodes BER (it has no DER-strict decoder): what DER forbids and BER allows, it accepts.
 * Reads every console delta as a 64-bit integer, checks the uuid length, the output paths and the times. */
#include <errno.h>
#include <time.h>

#include "Exec.h"
#include "read_file.h"

/* asn1c's skeletons trace through ASN_DEBUG, a do-nothing function whose arguments are still evaluated
 * (tag names formatted, for one) unless a macro of that name is defined before they are compiled: the
 * build defines one that discards its arguments, for the generated code and for this file alike. */
#ifndef ASN_DEBUG
#error "build with -DASN_DEBUG(...)=((void)0), or asn1c's tracing stays in the decoder"
#endif

static const char *check_paths(const Data_t *files) {
    for (int i = 0; i < files->list.count; ++i) {
        const OutputFile_t *file = files->list.array[i];
        if (!valid_path(file->path.buf, file->path.size)) return "invalid path";
    }
    return NULL;
}

/* NativeInteger already refuses what does not fit a long (64 bits here). */
static const char *check_integer(long value, long long *sum) {
    if (!in_record_integer_range(value)) return "integer out of range";
    *sum += value;
    return NULL;
}

/* The skeletons' own idiom: errno is set to an unlikely code first, since -1 is also a valid time. */
static const char *check_time(const Time_t *t, long long *sum) {
    struct tm tm;
    time_t seconds = -1;
    errno = EPERM;
    if (t->present == Time_PR_utcTime)
        seconds = asn_UT2time(&t->choice.utcTime, &tm, 1);
    else if (t->present == Time_PR_generalTime)
        seconds = asn_GT2time(&t->choice.generalTime, &tm, 1);
    else
        errno = EINVAL;
    if (seconds == -1 && errno != EPERM) return "invalid time";
    *sum += tm.tm_sec;
    return NULL;
}

/* The checks and conversions that turn the decoded tree into a record's values. */
static const char *check_record(const Record_t *record, long long *sum) {
    const char *failure;
    if ((failure = check_paths(&record->job.files))) return failure;
    if (record->uuid.size < 16) return "couldn't decode UUID";
    for (int i = 0; i < record->console.list.count; ++i) {
        const ConsoleLine_t *line = record->console.list.array[i];
        if ((failure = check_integer(line->delta, sum))) return failure;
        *sum += line->data.size;
    }
    if ((failure = check_time(&record->timestamps.started, sum))) return failure;
    if ((failure = check_time(&record->timestamps.finished, sum))) return failure;
    switch (record->result.present) {
    case Res_PR_exited: failure = check_integer(record->result.choice.exited, sum); break;
    case Res_PR_signalled: failure = check_integer(record->result.choice.signalled, sum); break;
    case Res_PR_stopped: failure = check_integer(record->result.choice.stopped, sum); break;
    case Res_PR_msg: break;
    default: failure = "no result"; break;
    }
    if (failure) return failure;
    return check_paths(&record->output);
}

int main(int argc, char **argv) {
    size_t size;
    unsigned char *bytes = read_argument_file(argc, argv, &size);
    if (!bytes) return 1;

    Exec_t *exec = NULL;
    const asn_dec_rval_t decoded = ber_decode(NULL, &asn_DEF_Exec, (void **)&exec, bytes, size);
    const char *failure = NULL;
    long long sum = 0;
    if (decoded.code != RC_OK) {
        /* RC_WMORE: the decoder stopped for more input, which a whole file will not give. */
        fprintf(stderr, "%s: %s at octet %zu\n", argv[1],
                decoded.code == RC_WMORE ? "input ends inside the record" : "decoding failed", decoded.consumed);
        ASN_STRUCT_FREE(asn_DEF_Exec, exec);
        free(bytes);
        return 1;
    }
    if (decoded.consumed != size)
        failure = "trailing bytes";
    else if (exec->present != Exec_PR_record)
        failure = "reserved record alternative";
    else
        failure = check_record(&exec->choice.record, &sum);
    ASN_STRUCT_FREE(asn_DEF_Exec, exec);
    free(bytes);
    return peer_exit(argv[1], failure, sum);
}
