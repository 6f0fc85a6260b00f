#pragma once
// One value of a KIND decoded from its bytes, for every form quarvel-dump writes. A refusal says where in
// the file the fault lies, after the decoder's own message: "couldn't decode UUID at offset 17
// (record > uuid)" (quarvel-inspect, whose messages are fixed, says the message alone).

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <variant>

#include <quarvel/basic.hpp>
#include <quarvel/model.hpp>
#include <quarvel_toolkit/state_items.hpp>

#include "run.hpp"

namespace dump {

// A record is read in place: its console texts and output contents are views into the bytes decoded, so
// it is used while those are there, and a record larger than memory costs only its structure.
using value = std::variant<quarvel::state, quarvel::cmd, quarvel::execution_record_view>;

// A refusal: the decoder's message (its octet dumps cut short), and where the fault lies: the offset in
// the file, and the place in the grammar ("" when none).
struct refusal {
    std::string message;
    std::uint64_t offset = 0;
    std::string path;
    // "MESSAGE at offset O (PATH)".
    std::string text() const;
};

// Decodes one value of `kind` (state, cmd or exec) from `bytes`, which begin at offset `base` of their file
// (a frame's payload lies after its prefix).
std::expected<value, refusal> decode(input_kind kind, std::string_view bytes, std::uint64_t base = 0);

// A whole file's state, checked as `decode` checks it (the same refusal, the same warnings), to be read
// again item by item (quarvel_toolkit/state_items.hpp); with `count_encoding`, the size of its encoding
// counted.
std::expected<quarvel::asn::checked_state, refusal> check_state(std::string_view bytes, bool count_encoding);

// The value's encoding in the current form.
std::string encoding_of(const value& v);

}  // namespace dump
