#pragma once
// How a grammar becomes the library's pair of functions: the strict decoder and the encoder.

#include <string>
#include <string_view>
#include <utility>

#include <der/grammar.hpp>
#include <quarvel/asn.hpp>
#include <quarvel/basic.hpp>
#include <quarvel_internal/tool_decode.hpp>

namespace quarvel::asn {

// The place of the fault that `headers` recorded, as `decode_error` gives it: the root's name, then the
// steps outermost first, each list index after the list's label.
std::string fault_path(std::string_view root, const der::fault_site& fault);

// The value of the one element that makes up `bytes`: the decoder's message unchanged on failure, and
// "trailing bytes" when anything follows the element. A failure leaves its place on `headers`.
template <class G>
result<typename G::value_type> decode_strict(const der::codec_t<G>& codec, std::string_view bytes, der::tape& headers,
                                             der::decode_options options = {}) {
    auto parsed = der::parse_into(headers, bytes);
    if (!parsed) return der::error(std::move(parsed.error()));
    // The value is returned where it was decoded: a record is not moved on its way out.
    result<typename G::value_type> value = der::decode_root(codec, headers, parsed->root, options);
    if (value && parsed->size != bytes.size()) [[unlikely]] {
        headers.fault = {true, false, parsed->size, {}};
        return der::error("trailing bytes");
    }
    return value;
}

// When `bytes` end inside their element, the place of the innermost element that the end cuts, into
// `refused` (whose message stays the reader's): its header's offset, and its place in the grammar, found by
// running the grammar over the headers that lie before the end, the cut element turned so that the grammar
// stops there. Run on the failure path alone.
template <class G>
[[gnu::cold, gnu::noinline]] void locate_cut(const der::codec_t<G>& codec, std::string_view bytes, std::string_view root,
                                             decode_error& refused) {
    der::tape headers;
    const auto cut = der::read_to_cut(headers, bytes, true);
    if (!cut) return;
    refused.offset = cut->offset;
    refused.path.clear();
    // Nothing at all (an empty input): no grammar has anything to name.
    if (headers.entries.empty()) return;
    const der::element outermost = der::detail::read_entry(headers, 0, 0);
    if (der::decode_root(codec, headers, outermost)) return;
    const der::fault_site& fault = headers.fault;
    if (fault.in_grammar && fault.offset == cut->offset) refused.path = fault_path(root, fault);
}

// The refusal of `bytes` with `message`, at the place that `headers` recorded, or at a cut.
template <class G>
[[gnu::cold, gnu::noinline]] decode_error located_refusal(const der::codec_t<G>& codec, std::string_view bytes,
                                                          std::string_view root, const der::tape& headers,
                                                          std::string&& message) {
    const der::fault_site& fault = headers.fault;
    decode_error refused{std::move(message), fault.offset, fault.in_grammar ? fault_path(root, fault) : std::string()};
    if (!fault.in_grammar) locate_cut(codec, bytes, root, refused);
    return refused;
}

// The same, with the place of a failure; the outermost element is named `root` in its path.
template <class G>
located_result<typename G::value_type> decode_located(const der::codec_t<G>& codec, std::string_view bytes,
                                                      std::string_view root, der::decode_options options = {}) {
    der::tape_lease headers;
    auto value = decode_strict(codec, bytes, headers.get(), options);
    if (value) return std::move(*value);
    return std::unexpected(located_refusal(codec, bytes, root, headers.get(), std::move(value.error())));
}

// The same for a tool: a refusal of the element reader with its dumps cut short and the fault itself
// (quarvel_internal/tool_decode.hpp), the place of a cut found when `how` asks for it.
template <class G>
tool_result<typename G::value_type> decode_for_tool(const der::codec_t<G>& codec, std::string_view bytes,
                                                    std::string_view root, const tool_decode_options& how,
                                                    der::decode_options options = {}) {
    der::tape_lease lease;
    der::tape& headers = lease.get();
    if (const auto fault = der::check_headers(headers, bytes)) [[unlikely]] {
        tool_refusal refused{{der::reader_message(*fault, bytes, how.max_dumped, true), fault->offset, {}}, *fault};
        if (how.locate_cut) locate_cut(codec, bytes, root, refused.error);
        return std::unexpected(std::move(refused));
    }
    const der::element outermost = der::detail::read_entry(headers, 0, 0);
    const std::size_t size =
        static_cast<std::size_t>(outermost.contents.data() - bytes.data()) + outermost.contents.size();
    auto value = der::decode_root(codec, headers, outermost, options);
    if (value && size != bytes.size()) return std::unexpected(tool_refusal{{"trailing bytes", size, {}}, {}});
    if (value) return std::move(*value);
    const der::fault_site& fault = headers.fault;
    return std::unexpected(tool_refusal{
        {std::move(value.error()), fault.offset, fault.in_grammar ? fault_path(root, fault) : std::string()}, {}});
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
        result<value> decode(std::string_view bytes) const {
            der::tape_lease headers;
            return decode_strict(codec, bytes, headers.get());
        }
        located_result<value> decode_located(std::string_view bytes, der::decode_options options = {}) const {
            return asn::decode_located(codec, bytes, root, options);
        }
        tool_result<value> decode_for_tool(std::string_view bytes, const tool_decode_options& how,
                                           der::decode_options options = {}) const {
            return asn::decode_for_tool(codec, bytes, root, how, options);
        }
        std::string encode(const value& v) const { return der::encode(codec, v); }
    };
    return projections{der::codec(name, std::move(grammar)), root};
}

}  // namespace quarvel::asn
