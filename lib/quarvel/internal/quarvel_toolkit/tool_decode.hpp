#pragma once
// The decoders as the tools use them: a refusal of the element reader, whose message dumps the octets of a
// whole input (a record cut short holds gigabytes), comes with its dumps cut short, and with the fault
// itself, from which the whole message can still be written piece by piece (der::reader_message_words).
// Built into the library, not installed.

#include <cstddef>
#include <expected>
#include <functional>
#include <optional>
#include <string_view>

#include <der/element.hpp>
#include <quarvel/asn.hpp>

namespace quarvel::asn {

/// A refusal as a tool shows it.
struct tool_refusal {
    /// The decoder's refusal and its place; a message of the element reader has its octet dumps cut to
    /// `max_dumped` octets, " ... (N octets)" after a cut one.
    decode_error error;
    /// The element reader's fault, when it refused the octets: the whole message is that of this fault.
    std::optional<der::reader_fault> reader;
};

template <class T>
using tool_result = std::expected<T, tool_refusal>;

struct tool_decode_options {
    std::size_t max_dumped = 64;  ///< octets of a reader's dump kept in the message
    bool locate_cut = true;       ///< find the place of the innermost element that an input's end cuts
    /// Told, when set, how far the decode has gone (see exec_view_of_str_releasing).
    const std::function<void(std::size_t)>* consumed = nullptr;
    std::size_t step = std::size_t{1} << 20;
};

tool_result<state> state_of_str_for_tool(std::string_view bytes, const tool_decode_options& how);
tool_result<cmd> cmd_of_str_for_tool(std::string_view bytes, const tool_decode_options& how);
tool_result<execution_record_view> exec_view_of_str_for_tool(std::string_view bytes, const tool_decode_options& how);

}  // namespace quarvel::asn
