#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>

namespace quarvel {

result<cmd> read_cmd(int fd) {
    auto payload = read(fd);
    if (!payload) return std::unexpected(std::move(payload.error()));
    return asn::cmd_of_str(*payload);
}

result<void> write_cmd(int fd, const cmd& c) { return write(fd, asn::cmd_to_str(c)); }

}  // namespace quarvel
