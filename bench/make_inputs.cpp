// Writes the benchmark inputs below DIR with the project's own encoders:
//   console-heavy.der  bulk.der  example.der  state.der  cmd/<alternative>.der
// The inputs come from a fixed seed, so every run writes the same bytes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <quarvel/asn.hpp>

#include "inputs.hpp"

namespace {

bool write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot write\n", path.c_str());
        return false;
    }
    std::printf("%-40s %12zu octets\n", path.c_str(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quarvel;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir / "cmd", error);
    if (error) {
        std::fprintf(stderr, "%s: %s\n", dir.c_str(), error.message().c_str());
        return 1;
    }

    // The example is the record's documented encoding: a mismatch means the encoder is wrong.
    const std::string example = asn::exec_to_str(bench::example_record());
    if (example != bench::example_record_octets()) {
        std::fprintf(stderr, "the example record does not encode to its 105 documented octets\n");
        return 1;
    }
    bool ok = write_file(dir / "example.der", example);
    ok = write_file(dir / "console-heavy.der", asn::exec_to_str(bench::console_heavy_record())) && ok;
    ok = write_file(dir / "bulk.der", asn::exec_to_str(bench::bulk_record())) && ok;
    ok = write_file(dir / "state.der", asn::state_to_str(bench::large_state())) && ok;
    for (const auto& [name, command] : bench::every_cmd())
        ok = write_file(dir / "cmd" / (name + ".der"), asn::cmd_to_str(command)) && ok;
    return ok ? 0 : 1;
}
