// Writes the sample job execution record of the quick start with the library's own encoder:
//   quarvel-make-samples DIR   writes DIR/hello.der
#include <cstdio>
#include <fstream>
#include <string>

#include <quarvel/asn.hpp>

#include "hello_record.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quarvel-make-samples DIR\n");
        return 2;
    }
    const std::string target = std::string(argv[1]) + "/hello.der";
    const std::string bytes = quarvel::asn::exec_to_str(samples::hello_record());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "quarvel-make-samples: cannot write %s\n", target.c_str());
        return 1;
    }
    return 0;
}
