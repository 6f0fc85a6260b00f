// Writes the samples of the README with the library's own encoder:
//   quarvel-make-samples DIR   writes DIR/hello.der, DIR/state.der and DIR/session.frames
#include <cstdio>
#include <string>

#include <quarvel/asn.hpp>

#include "hello_record.hpp"
#include "operator_samples.hpp"

namespace {

bool write_file(const std::string& path, const std::string& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const bool written = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (out && std::fclose(out) == 0 && written) return true;
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
