// Writes the large record (bench::large_record, about 1.3 GB) for compare.sh's run under a memory limit:
//   quarvel-bench-large-record FILE         writes the record to FILE and prints what it holds:
//                                             console LINES OCTETS         (the console texts' octets)
//                                             file INDEX OCTETS PATH       (one line per output file)
//   quarvel-bench-large-record --contents N writes output file N's contents to standard output, for
//                                           comparing an exported file with what the record holds
// Both come from fixed seeds, so every run writes the same bytes. This program itself needs about
// 2.7 GB of memory: it runs outside the limit.
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include <quarvel/asn.hpp>

#include "inputs.hpp"

namespace {

bool write_all(std::FILE* out, std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && std::fflush(out) == 0;
}

int usage(const char* program) {
    std::fprintf(stderr, "usage: %s FILE\n       %s --contents N\n", program, program);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quarvel;
    if (argc == 3 && std::string_view(argv[1]) == "--contents") {
        const std::string_view text = argv[2];
        int index = -1;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
        if (error != std::errc{} || end != text.data() + text.size() || index < 0 ||
            index >= bench::large_record_files)
            return usage(argv[0]);
        return write_all(stdout, bench::large_record_contents(index)) ? 0 : 1;
    }
    if (argc != 2 || argv[1][0] == '-') return usage(argv[0]);

    std::string bytes;
    {
        const execution_record record = bench::large_record();
        bytes = asn::exec_to_str(record);
        std::size_t console_octets = 0;
        for (const console_line& line : record.console) console_octets += line.data.size();
        std::printf("console %zu %zu\n", record.console.size(), console_octets);
        for (std::size_t i = 0; i < record.output.size(); ++i)
            std::printf("file %zu %zu %s\n", i, record.output[i].data.size(), record.output[i].path.c_str());
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot write\n", argv[1]);
        return 1;
    }
    return 0;
}
