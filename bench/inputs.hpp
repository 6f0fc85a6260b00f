#pragma once
// The benchmark inputs, built from a fixed seed so that every run measures the same bytes: the
// generator program writes them to files, the benchmark programs build them in memory.

#include <string>
#include <string_view>
#include <vector>

#include <quarvel/model.hpp>

namespace quarvel::bench {

// 1,000,000 console lines of 40 to 100 printable bytes; no output files (about 80 MB encoded).
execution_record console_heavy_record();

// A few console lines and 64 output files of 4 MiB of arbitrary octets (about 270 MB encoded).
execution_record bulk_record();

// The record whose encoding is the 105 octets of `example_record_octets`.
execution_record example_record();
std::string_view example_record_octets();

// 100,000 items: schedules of both job kinds, queues of zero to three jobs, dropped platforms.
state large_state();

struct named_cmd {
    std::string name;
    cmd command;
};

// One command of each of the nineteen alternatives, named after it.
std::vector<named_cmd> every_cmd();

}  // namespace quarvel::bench
