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

// 1,000,000 console lines of 200 to 260 printable bytes and `large_record_files` output files of 64 MiB
// of arbitrary octets (about 1.3 GB encoded): the record that compare.sh reads under a memory limit
// several times smaller. Building it takes about twice its size in memory.
inline constexpr int large_record_files = 16;
execution_record large_record();
// The path and the contents of the large record's output file `index` (0 to large_record_files - 1),
// each built on its own, so that an exported file can be checked against them without the record.
std::string large_record_path(int index);
std::string large_record_contents(int index);

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
