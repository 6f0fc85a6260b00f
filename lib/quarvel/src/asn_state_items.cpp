// A state read item by item (quarvel_toolkit/state_items.hpp): each item is read from a tape of its own
// headers, with the item grammar that the state's SEQUENCE OF applies to it, so that what the whole decode
// would say of an item (its message, the offset and path of its fault, its warning) is said the same way.
#include <quarvel_toolkit/state_items.hpp>

#include <optional>
#include <utility>

#include <der/element.hpp>
#include <der/grammar.hpp>
#include <der/writer.hpp>

#include "grammars/codec.hpp"
#include "grammars/state.hpp"

namespace quarvel::asn {

namespace {

const auto& item_codec() {
    static const auto codec = der::codec("state_item", state_item_syntax());
    return codec;
}

// The item at the start of `octets` (the items not read yet), header and contents; none when its header
// does not read or its contents overrun the octets. Once the check has walked every header this never
// fails, but for octets that change under a mapping meanwhile (the caller's source check then says so).
struct next_item {
    std::string_view octets;
    der::tag tag;
};
std::optional<next_item> item_at(std::string_view octets) {
    const der::header_start h = der::read_header_start(octets);
    if (h.fault || h.fields.length > octets.size() - h.fields.size) [[unlikely]] return std::nullopt;
    return next_item{octets.substr(0, h.fields.size + static_cast<std::size_t>(h.fields.length)), h.fields.tag};
}

// Whether an item of this tag is one of the retired forms that read as nothing: the item grammar's choice
// goes by the tag alone, and those alternatives never yield an item.
bool retired(der::tag t) { return t == der::context(0) || t == der::context(2); }

// What the whole decoder says of `bytes`, for what it refuses before any item is decoded.
tool_refusal whole_refusal(std::string_view bytes, const tool_decode_options& how) {
    auto whole = state_of_str_for_tool(bytes, how);
    if (!whole) return std::move(whole.error());
    // Never for the same octets: the whole decoder refuses every input that is refused here.
    return tool_refusal{{"internal error: the state's decoders disagree", 0, {}}, {}};
}

// The item at the start of `octets` decoded on `headers`, in one pass.
der::result<std::optional<state_item>> decode_item(der::tape& headers, std::string_view octets) {
    der::pass_outcome outcome;
    auto value = der::decode_in_pass(item_codec(), headers, octets, outcome);
    if (outcome.reader) [[unlikely]] return der::error(der::reader_message(*outcome.reader, octets));
    return value;
}

std::size_t encoded_size(const state_item& item) {
    der::size_plan plan;
    return item_codec().grammar.emit(item, der::count_pass{plan});
}

}  // namespace

tool_result<checked_state> check_state_items(std::string_view bytes, const tool_decode_options& how,
                                             bool count_encoding) {
    // What refuses the state before any item is decoded (a fault of the element reader anywhere, which
    // wins over every fault of the grammar; a list that is no SEQUENCE) is said by the whole decoder
    // itself, which logs nothing then: the same message, place and cut short dumps, by one hand.
    const bool headers_sound = !der::first_fault(bytes);
    const der::header_start list = der::read_header_start(bytes);
    if (!headers_sound || list.fields.tag != der::tags::sequence || list.fields.form != der::form::constructed)
        return std::unexpected(whole_refusal(bytes, how));
    const std::size_t items_begin = list.fields.size;
    checked_state checked{bytes.substr(items_begin, static_cast<std::size_t>(list.fields.length)), 0};

    der::tape headers;
    std::size_t at = 0;
    for (std::size_t index = 0; at < checked.items.size(); ++index) {
        const auto item = item_at(checked.items.substr(at));
        if (!item) [[unlikely]] return std::unexpected(whole_refusal(bytes, how));
        auto read = decode_item(headers, item->octets);
        if (!read) [[unlikely]] {
            // As the list marks a failing item: its index after the steps inside it, the offset of the
            // innermost element refused, here in the item's own octets.
            der::fault_site& fault = headers.fault;
            fault.path.push_back({{}, index});
            return std::unexpected(tool_refusal{
                {std::move(read.error()), items_begin + at + fault.offset, fault_path("state", fault)}, {}});
        }
        if (count_encoding && *read) checked.encoded_items_size += encoded_size(**read);
        at += item->octets.size();
    }
    // Checked after every item, as the whole decoder checks it after the value.
    const std::size_t size = items_begin + checked.items.size();
    if (size != bytes.size()) return std::unexpected(tool_refusal{{"trailing bytes", size, {}}, {}});
    return checked;
}

bool each_state_item(const checked_state& state, const std::function<void(state_item&)>& visit) {
    der::tape headers;
    for (std::size_t at = 0; at < state.items.size();) {
        const auto item = item_at(state.items.substr(at));
        if (!item) [[unlikely]] return false;
        at += item->octets.size();
        if (retired(item->tag)) continue;
        // The check read this item already: the same octets read the same again.
        auto read = decode_item(headers, item->octets);
        if (!read) [[unlikely]] return false;
        if (*read) visit(**read);
    }
    return true;
}

std::string state_header(std::size_t items_size) {
    std::string out;
    der::write_header(out, der::tags::sequence, der::form::constructed, items_size);
    return out;
}

void append_state_item(std::string& out, const state_item& item) {
    der::size_plan plan;
    // The writing pass reads the lengths that the counting pass planned.
    item_codec().grammar.emit(item, der::count_pass{plan});
    item_codec().grammar.emit(item, der::write_pass{plan, out});
}

}  // namespace quarvel::asn
