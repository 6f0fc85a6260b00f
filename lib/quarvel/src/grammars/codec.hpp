#pragma once
// How a grammar becomes the library's pair of functions: the strict decoder and the encoder.

#include <string>
#include <string_view>
#include <utility>

#include <der/grammar.hpp>
#include <quarvel/basic.hpp>

namespace quarvel::asn {

// The value of the one element that makes up `bytes`: the decoder's message unchanged on failure, and
// "trailing bytes" when anything follows the element.
template <class G>
result<typename G::value_type> decode_strict(const der::codec_t<G>& codec, std::string_view bytes) {
    der::tape_lease headers;
    auto parsed = der::parse_into(headers.get(), bytes);
    if (!parsed) return der::error(std::move(parsed.error()));
    // The value is returned where it was decoded: a record is not moved on its way out.
    result<typename G::value_type> value = codec.grammar.decode(parsed->root);
    if (value && parsed->size != bytes.size()) return der::error("trailing bytes");
    return value;
}

// The grammar's codec, checked for ambiguity once, as a pair of functions: the strict decoder (bytes to
// value or message) and the encoder (value to bytes, which cannot fail). An ambiguous grammar stops the
// program with a message that names it.
template <class G>
auto projections_of(G grammar, std::string_view name) {
    using value = typename G::value_type;
    struct projections {
        der::codec_t<G> codec;
        result<value> decode(std::string_view bytes) const { return decode_strict(codec, bytes); }
        std::string encode(const value& v) const { return der::encode(codec, v); }
    };
    return projections{der::codec(name, std::move(grammar))};
}

}  // namespace quarvel::asn
