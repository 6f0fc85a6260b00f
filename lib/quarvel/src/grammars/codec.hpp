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
// "trailing bytes" when anything follows the element; with the place of the fault, the outermost element
// being `root`.
template <class G>
located_result<typename G::value_type> decode_strict(const der::codec_t<G>& codec, std::string_view bytes,
                                                     std::string_view root) {
    der::tape_lease headers;
    const der::tape& t = headers.get();
    auto parsed = der::parse_into(headers.get(), bytes);
    if (!parsed) return std::unexpected(decode_error{std::move(parsed.error()), t.fault.offset, {}});
    // The value is returned where it was decoded: a record is not moved on its way out.
    located_result<typename G::value_type> value(std::in_place);
    if (auto decoded = codec.grammar.decode(parsed->root)) [[likely]] {
        *value = std::move(*decoded);
    } else {
        der::detail::fault_at(parsed->root);
        value = std::unexpected(decode_error{std::move(decoded.error()), t.fault.offset, fault_path(root, t.fault)});
    }
    if (value && parsed->size != bytes.size()) return std::unexpected(decode_error{"trailing bytes", parsed->size, {}});
    return value;
}

// The grammar's codec, checked for ambiguity once, as a pair of functions: the strict decoder (bytes to
// value or message, or with the place of the fault, the outermost element being named `root`) and the
// encoder (value to bytes, which cannot fail). An ambiguous grammar stops the program with a message that
// names it.
template <class G>
auto projections_of(G grammar, std::string_view name, std::string_view root) {
    using value = typename G::value_type;
    struct projections {
        der::codec_t<G> codec;
        std::string_view root;
        located_result<value> decode_located(std::string_view bytes) const { return decode_strict(codec, bytes, root); }
        result<value> decode(std::string_view bytes) const {
            auto r = decode_located(bytes);
            if (!r) return std::unexpected(std::move(r.error().message));
            return std::move(*r);
        }
        std::string encode(const value& v) const { return der::encode(codec, v); }
    };
    return projections{der::codec(name, std::move(grammar)), root};
}

}  // namespace quarvel::asn
