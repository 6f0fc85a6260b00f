#include "decode.hpp"

#include <string>

#include <quarvel/asn.hpp>
#include <quarvel_toolkit/state_items.hpp>
#include <quarvel_toolkit/tool_decode.hpp>

namespace dump {

namespace {

// A refusal in a few lines whatever the size of the input: the element reader's octet dump (of a whole
// record cut short) cut to its first octets and its total, then the place.
constexpr quarvel::asn::tool_decode_options short_messages{};

refusal refusal_of(quarvel::asn::tool_refusal&& refused, std::uint64_t base) {
    quarvel::asn::decode_error& e = refused.error;
    return refusal{std::move(e.message), e.offset + base, std::move(e.path)};
}

template <class T>
std::expected<value, refusal> held(quarvel::asn::tool_result<T> decoded, std::uint64_t base) {
    if (decoded) return value(std::move(*decoded));
    return std::unexpected(refusal_of(std::move(decoded.error()), base));
}

}  // namespace

std::string refusal::text() const {
    return message + ' ' + quarvel::asn::where(quarvel::asn::decode_error{{}, static_cast<std::size_t>(offset), path});
}

std::expected<value, refusal> decode(input_kind kind, std::string_view bytes, std::uint64_t base) {
    switch (kind) {
        case input_kind::state: return held(quarvel::asn::state_of_str_for_tool(bytes, short_messages), base);
        case input_kind::exec: return held(quarvel::asn::exec_view_of_str_for_tool(bytes, short_messages), base);
        case input_kind::cmd: return held(quarvel::asn::cmd_of_str_for_tool(bytes, short_messages), base);
        case input_kind::der: break;
    }
    return std::unexpected(refusal{"a listing of elements is no value", base, {}});
}

std::expected<quarvel::asn::checked_state, refusal> check_state(std::string_view bytes, bool count_encoding) {
    auto checked = quarvel::asn::check_state_items(bytes, short_messages, count_encoding);
    if (!checked) return std::unexpected(refusal_of(std::move(checked.error()), 0));
    return *checked;
}

std::string encoding_of(const value& v) {
    switch (v.index()) {
        case 0: return quarvel::asn::state_to_str(*std::get_if<quarvel::state>(&v));
        case 1: return quarvel::asn::cmd_to_str(*std::get_if<quarvel::cmd>(&v));
        default: return quarvel::asn::exec_view_to_str(*std::get_if<quarvel::execution_record_view>(&v));
    }
}

}  // namespace dump
