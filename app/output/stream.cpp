#include "output/stream.hpp"

#include <string_view>
#include <sys/types.h>

namespace output {

namespace {

// A write that took nothing marks the stream failed, so a printer sees the failure as it would a file's.
ssize_t write_into(void* cookie, const char* data, std::size_t size) {
    auto& out = *static_cast<buffer*>(cookie);
    if (out.error() == 0) out.write(std::string_view(data, size));
    return out.error() == 0 ? static_cast<ssize_t>(size) : 0;
}

}  // namespace

buffer_stream::buffer_stream(buffer& out) {
    file = ::fopencookie(&out, "w", cookie_io_functions_t{nullptr, write_into, nullptr, nullptr});
    // Unbuffered: stdio hands each write on whole, without a copy through a buffer of its own.
    if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
}

buffer_stream::~buffer_stream() {
    if (file != nullptr) std::fclose(file);
}

}  // namespace output
