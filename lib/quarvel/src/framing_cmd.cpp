#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>

#include "frame_error_text.hpp"

namespace quarvel {
namespace {

// A whole payload decoded strictly as one command; the decoder's message is returned unchanged.
frame_result<cmd> decode(std::string_view payload) {
    auto decoded = asn::cmd_of_str(payload);
    if (!decoded) return std::unexpected(frame_error{frame_error_kind::decode_failure, std::move(decoded.error())});
    return std::move(*decoded);
}

}  // namespace

frame_result<cmd> read_cmd(int fd, std::int64_t max_size) {
    auto payload = read(fd, max_size);
    if (!payload) return std::unexpected(std::move(payload.error()));
    return decode(*payload);
}

frame_result<void> write_cmd(int fd, const cmd& c, std::int64_t max_size) {
    return write(fd, asn::cmd_to_str(c), max_size);
}

frame_result<cmd> read_cmd(int fd, std::int64_t max_size, std::chrono::milliseconds timeout) {
    auto payload = read(fd, max_size, timeout);
    if (!payload) return std::unexpected(std::move(payload.error()));
    return decode(*payload);
}

frame_result<void> write_cmd(int fd, const cmd& c, std::int64_t max_size, std::chrono::milliseconds timeout) {
    return write(fd, asn::cmd_to_str(c), max_size, timeout);
}

frame_result<void> frame_writer::push_cmd(const cmd& c) { return push(asn::cmd_to_str(c)); }

frame_result<std::optional<cmd>> read_available_cmd(frame_reader& reader, int fd) {
    auto payload = read_available(reader, fd);
    if (!payload) return std::unexpected(std::move(payload.error()));
    if (!*payload) return std::nullopt;
    return decode(**payload);
}

result<cmd> read_cmd(int fd) { return text_only(read_cmd(fd, max_frame_size)); }

result<void> write_cmd(int fd, const cmd& c) { return text_only(write_cmd(fd, c, max_frame_size)); }

}  // namespace quarvel
