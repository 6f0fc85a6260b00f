#include "hint.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>
#include <quarvel/log.hpp>
#include <quarvel_toolkit/tool_decode.hpp>

#include "text/terminal_text.hpp"

namespace dump {

namespace {

struct kind_words {
    input_kind kind;
    std::string_view key;   // the KIND value
    std::string_view what;  // what a value of it is
};

constexpr std::array<kind_words, 3> kinds{{
    {input_kind::exec, "exec", "a job execution record"},
    {input_kind::state, "state", "a scheduler state"},
    {input_kind::cmd, "cmd", "a protocol command"},
}};

// A trial says nothing: its refusal is dropped, so it is made short, and no place is looked for.
constexpr quarvel::asn::tool_decode_options trial{0, false, nullptr, 0};

bool reads_as(input_kind kind, std::string_view bytes) {
    switch (kind) {
        case input_kind::exec: return quarvel::asn::exec_view_of_str_for_tool(bytes, trial).has_value();
        case input_kind::state: return quarvel::asn::state_of_str_for_tool(bytes, trial).has_value();
        case input_kind::cmd: return quarvel::asn::cmd_of_str_for_tool(bytes, trial).has_value();
        case input_kind::der: break;
    }
    return false;
}

// The kind whose values every frame of `bytes` holds, when the bytes are whole frames, one at least.
const kind_words* capture_of(std::string_view bytes) {
    const kind_words* found = nullptr;
    while (!bytes.empty()) {
        if (bytes.size() < quarvel::frame_prefix_size) return nullptr;
        const std::int64_t length =
            quarvel::read_frame_prefix(std::span<const char, quarvel::frame_prefix_size>(bytes.data(), quarvel::frame_prefix_size));
        bytes.remove_prefix(quarvel::frame_prefix_size);
        if (length < 0 || static_cast<std::uint64_t>(length) > bytes.size()) return nullptr;
        const std::string_view payload = bytes.substr(0, static_cast<std::size_t>(length));
        bytes.remove_prefix(payload.size());
        if (found == nullptr) {
            for (const kind_words& k : kinds)
                if (reads_as(k.kind, payload)) {
                    found = &k;
                    break;
                }
            if (found == nullptr) return nullptr;
        } else if (!reads_as(found->kind, payload)) {
            return nullptr;
        }
    }
    return found;
}

// The log stays quiet while the bytes are tried: a state's retired items would otherwise be warned about.
struct quiet_log {
    std::optional<quarvel::log::level> was = quarvel::log::current_level();
    quiet_log() { quarvel::log::set_level(std::nullopt); }
    ~quiet_log() { quarvel::log::set_level(was); }
    quiet_log(const quiet_log&) = delete;
    quiet_log& operator=(const quiet_log&) = delete;
};

}  // namespace

std::string other_kind_hint(input_kind asked, std::string_view bytes, const std::string& file) {
    if (asked == input_kind::der) return {};
    const quiet_log quiet;
    std::string how;
    for (const kind_words& k : kinds) {
        if (k.kind == asked || !reads_as(k.kind, bytes)) continue;
        how = " (it reads as " + std::string(k.what) + ": quarvel-dump " + std::string(k.key) + " ";
        break;
    }
    if (how.empty()) {
        const kind_words* framed = capture_of(bytes);
        if (framed == nullptr) return {};
        how = " (it reads as a framed capture: quarvel-dump --framed " + std::string(framed->key) + " ";
    }
    text::append_terminal_text(how, file);
    how += ')';
    return how;
}

}  // namespace dump
