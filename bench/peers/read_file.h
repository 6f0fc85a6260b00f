/* Reads a whole file into one malloc'd buffer, for the benchmark peers. */
#ifndef QUARVEL_BENCH_READ_FILE_H
#define QUARVEL_BENCH_READ_FILE_H

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* Returns the contents (never NULL on success, also for an empty file) or NULL after printing why. */
static unsigned char *read_whole_file(const char *path, size_t *size) {
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        fprintf(stderr, "%s: %s\n", path, strerror(errno));
        return NULL;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        fprintf(stderr, "%s: not a regular file\n", path);
        close(fd);
        return NULL;
    }
    size_t capacity = (size_t)st.st_size;
    unsigned char *buffer = malloc(capacity ? capacity : 1);
    if (!buffer) {
        fprintf(stderr, "%s: out of memory\n", path);
        close(fd);
        return NULL;
    }
    size_t filled = 0;
    while (filled < capacity) {
        ssize_t n = read(fd, buffer + filled, capacity - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            fprintf(stderr, "%s: %s\n", path, strerror(errno));
            free(buffer);
            close(fd);
            return NULL;
        }
        if (n == 0) break;
        filled += (size_t)n;
    }
    close(fd);
    *size = filled;
    return buffer;
}

/* The record's integers are 63-bit: -2^62 .. 2^62 - 1. */
static int in_record_integer_range(long long v) { return v >= -(1LL << 62) && v <= (1LL << 62) - 1; }

/* An output file path is non-empty and holds no NUL octet. */
static int valid_path(const unsigned char *octets, size_t length) {
    return length > 0 && memchr(octets, 0, length) == NULL;
}

/* The file named by a program's one argument, read whole; NULL after printing why (the usage when the
 * arguments are not one file). */
static inline unsigned char *read_argument_file(int argc, char **argv, size_t *size) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return NULL;
    }
    return read_whole_file(argv[1], size);
}

/* Where the sum of the values a peer read is kept, so that the compiler cannot leave their reading out. */
static volatile long long observed_sum;

/* A peer's end: 1 after saying `failure` about the file `path`, else 0 with `sum` kept. */
static inline int peer_exit(const char *path, const char *failure, long long sum) {
    if (failure) {
        fprintf(stderr, "%s: %s\n", path, failure);
        return 1;
    }
    observed_sum = sum;
    return 0;
}

#endif
