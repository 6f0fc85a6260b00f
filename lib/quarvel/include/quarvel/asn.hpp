#pragma once
// The three encodings of the service: the job execution record, the persisted scheduler state and the
// protocol commands. Each pair is built once, on first use and thread-safely, so the functions may be
// called at any time, also from static initialisers and from several threads at once. Decoders are
// strict (the input must be exactly one element) and never return a partial value. The grammars
// themselves are in <quarvel/grammars.hpp>.

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include <der/grammar.hpp>
#include <quarvel/model.hpp>

namespace quarvel::asn {

// The value of the one element that makes up `bytes`: the decoder's message unchanged on failure, and
// "trailing bytes" when anything follows the element.
template <class G>
result<typename G::value_type> decode_strict(const der::codec_t<G>& codec, std::string_view bytes) {
    auto decoded = der::decode(codec, bytes);
    if (!decoded) return der::error(std::move(decoded.error()));
    if (!decoded->second.empty()) return der::error("trailing bytes");
    return std::move(decoded->first);
}

// The grammar's codec, built (and checked for ambiguity) once, as a pair of functions: the strict
// decoder (bytes to value or message) and the encoder (value to bytes, which cannot fail). An ambiguous
// grammar stops the program with a message that names it.
template <class G>
auto projections_of(G grammar, std::string_view name) {
    using value = typename G::value_type;
    auto codec = std::make_shared<const der::codec_t<G>>(der::codec(name, std::move(grammar)));
    return std::pair{[codec](std::string_view bytes) { return decode_strict(*codec, bytes); },
                     [codec](const value& v) { return der::encode(*codec, v); }};
}

result<quarvel::execution_record> exec_of_str(std::string_view bytes);
std::string exec_to_str(const quarvel::execution_record& record);

result<quarvel::state> state_of_str(std::string_view bytes);
std::string state_to_str(const quarvel::state& s);

result<quarvel::cmd> cmd_of_str(std::string_view bytes);
std::string cmd_to_str(const quarvel::cmd& c);

}  // namespace quarvel::asn
