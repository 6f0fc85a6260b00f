#include "decode.hpp"

#include <string>

#include <quarvel/asn.hpp>

namespace dump {

namespace {

template <class T>
quarvel::result<value> held(quarvel::asn::located_result<T> decoded, std::uint64_t base) {
    if (decoded) return value(std::move(*decoded));
    quarvel::asn::decode_error& e = decoded.error();
    e.offset += base;
    return std::unexpected(std::move(e.message) + ' ' + quarvel::asn::where(e));
}

}  // namespace

quarvel::result<value> decode(input_kind kind, std::string_view bytes, std::uint64_t base) {
    switch (kind) {
        case input_kind::state: return held(quarvel::asn::state_of_str_located(bytes), base);
        case input_kind::exec: return held(quarvel::asn::exec_view_of_str(bytes), base);
        case input_kind::cmd: return held(quarvel::asn::cmd_of_str_located(bytes), base);
        case input_kind::der: break;
    }
    return std::unexpected(std::string("a listing of elements is no value"));
}

std::string encoding_of(const value& v) {
    switch (v.index()) {
        case 0: return quarvel::asn::state_to_str(*std::get_if<quarvel::state>(&v));
        case 1: return quarvel::asn::cmd_to_str(*std::get_if<quarvel::cmd>(&v));
        default: return quarvel::asn::exec_view_to_str(*std::get_if<quarvel::execution_record_view>(&v));
    }
}

}  // namespace dump
