#pragma once
// How a grammar becomes the library's pair of functions: the strict decoder and the encoder.

#include <string>
#include <string_view>
#include <utility>

#include <der/grammar.hpp>
#include <quarvel/asn.hpp>
#include <quarvel/basic.hpp>

namespace quarvel::asn {

// The place of the fault that `headers` recorded, as `decode_error` gives it: the root's name, then the
// steps outermost first, each list index after the list's label.
std::string fault_path(std::string_view root, const der::fault_site& fault);

// The value of the one element that makes up `bytes`: the decoder's message unchanged on failure, and
// "trailing bytes" when anything follows the element. A failure leaves its place on `headers`.
template <class G>
result<typename G::value_type> decode_strict(const der::codec_t<G>& codec, std::string_view bytes, der::tape& headers,
                                             der::decode_options options = {}) {
    der::pass_outcome outcome;
    // The value is returned where it was decoded: a record is not moved on its way out.
    result<typename G::value_type> value = der::decode_in_pass(codec, headers, bytes, outcome, options);
    if (outcome.reader) [[unlikely]] return der::error(der::reader_message(*outcome.reader, bytes));
    if (value && outcome.size != bytes.size()) [[unlikely]] {
        headers.fault = {true, false, outcome.size, {}};
        return der::error("trailing bytes");
    }
    return value;
}

// The refusal of `bytes` with `message`, at the place that `headers` recorded; or, when the bytes end
// inside their element, at the innermost element that the end cuts, with its place in the grammar whose
// paths begin with `root` (the record's, the state's or the command's). The failure path alone; built apart
// from the codecs (asn_tool_decode.cpp), so that nothing of it is compiled into their sound paths.
[[gnu::cold]] decode_error located_refusal(std::string_view root, std::string_view bytes, const der::tape& headers,
                                           std::string&& message);

// The same, with the place of a failure; the outermost element is named `root` in its path.
template <class G>
located_result<typename G::value_type> decode_located(const der::codec_t<G>& codec, std::string_view bytes,
                                                      std::string_view root, der::decode_options options = {}) {
    der::tape_lease headers;
    auto value = decode_strict(codec, bytes, headers.get(), options);
    if (value) return std::move(*value);
    return std::unexpected(located_refusal(root, bytes, headers.get(), std::move(value.error())));
}

// The grammar's codec, checked for ambiguity once, as a pair of functions: the strict decoder (bytes to
// value or message, or with the place of the fault, the outermost element being named `root`) and the
// encoder (value to bytes, which cannot fail). An ambiguous grammar stops the program with a message that
// names it.
// With `headers_first`, every decode checks the headers before the grammar runs (see der::codec_t).
template <class G>
auto projections_of(G grammar, std::string_view name, std::string_view root, bool headers_first = false) {
    using value = typename G::value_type;
    struct projections {
        der::codec_t<G> codec;
        std::string_view root;
        result<value> decode(std::string_view bytes) const {
            der::tape_lease headers;
            return decode_strict(codec, bytes, headers.get());
        }
        located_result<value> decode_located(std::string_view bytes, der::decode_options options = {}) const {
            return asn::decode_located(codec, bytes, root, options);
        }
        std::string encode(const value& v) const { return der::encode(codec, v); }
    };
    der::codec_t<G> codec = der::codec(name, std::move(grammar));
    codec.headers_first = headers_first;
    return projections{std::move(codec), root};
}

}  // namespace quarvel::asn
