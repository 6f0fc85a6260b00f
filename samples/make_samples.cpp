// Writes the samples of the README with the library's own encoder:
//   quarvel-make-samples DIR   writes DIR/hello.der, DIR/state.der and DIR/session.frames
#include <cstdio>
#include <fstream>
#include <string>

#include <quarvel/asn.hpp>

#include "hello_record.hpp"
#include "operator_samples.hpp"

namespace {

bool write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (out) return true;
    std::fprintf(stderr, "quarvel-make-samples: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quarvel-make-samples DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool written = write_file(dir + "/hello.der", quarvel::asn::exec_to_str(samples::hello_record())) &&
                         write_file(dir + "/state.der", quarvel::asn::state_to_str(samples::scheduler_state())) &&
                         write_file(dir + "/session.frames", samples::session_capture());
    return written ? 0 : 1;
}
