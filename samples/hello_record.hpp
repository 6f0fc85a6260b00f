#pragma once
// The job execution record shipped as samples/hello.der: a small build of a "hello" program.

#include <quarvel/model.hpp>

namespace samples {

inline quarvel::execution_record hello_record() {
    const quarvel::timestamp started{1'717'243'200, 0};  // 2024-06-01T12:00:00Z
    return {
        quarvel::script_job{
            "hello",
            "debian-12-amd64",
            "#!/bin/sh\n"
            "set -eu\n"
            "echo 'int main(void) { return 0; }' > hello.c\n"
            "cc -O2 -o hello hello.c\n"
            "./hello && echo 'hello: ok' > result.txt\n"
            "sha256sum hello.c > hello.c.sha256\n"},
        quarvel::uuid{{0x3f, 0x2a, 0x9c, 0x41, 0x07, 0xd5, 0x4e, 0x8b, 0x9a, 0x61, 0x5c, 0x0e, 0x27, 0xb4, 0xd3, 0x18}},
        // Newest line first, as the service stores them; deltas in nanoseconds since the start.
        {
            {1'480'000'000, "job finished: exit 0"},
            {1'472'000'000, "+ sha256sum hello.c"},
            {1'455'000'000, "+ ./hello"},
            {1'204'000'000, "+ cc -O2 -o hello hello.c"},
            {12'000'000, "+ echo 'int main(void) { return 0; }'"},
            {3'000'000, "starting job hello on debian-12-amd64"},
        },
        started,
        quarvel::timestamp{started.seconds + 1, 500'000'000},
        quarvel::Exited{0},
        {
            {"result.txt", "hello: ok\n"},
            {"hello.c.sha256", "2ad75d95660563887d8d3f1d0ae1dcf18c2379cbd83a5c72f5ab276351ee6949  hello.c\n"},
        },
    };
}

}  // namespace samples
