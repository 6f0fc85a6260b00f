// What a broken record still holds, member by member, through the record's own grammars.
#include <quarvel_toolkit/salvage.hpp>

#include <algorithm>

#include <der/element.hpp>
#include <der/grammar.hpp>

#include "grammars/labels.hpp"
#include "grammars/record.hpp"
#include "grammars/record_forms.hpp"

namespace quarvel::asn {

namespace {

// A console line and an output file, read in place, as the record's grammar reads them.
const auto& line_grammar() {
    static const auto g = der::aggregate<console_line_view>(
        der::sequence2(der::required(label::delta, der::int_), der::required(label::data, der::utf8_view)));
    return g;
}
const auto& file_grammar() {
    static const auto g = data_grammar_of<output_file_view, der::utf8_view>().item;
    return g;
}

// Which elements of a tape lie whole before the fault: not cut by the input's end, and ending before
// the header the element reader could not read.
struct whole_before {
    std::vector<std::size_t> cut;  // tape entries of the elements the end cuts, in order
    std::size_t limit = 0;         // elements must end by this offset

    bool operator()(const der::element& e) const {
        if (std::binary_search(cut.begin(), cut.end(), e.index)) return false;
        const auto end = static_cast<std::size_t>(e.contents.data() - e.source->input.data()) + e.contents.size();
        return end <= limit;
    }
};

// The value of `e` by `grammar` when it is whole and read.
template <class G>
auto read_whole(const G& grammar, const der::element& e, const whole_before& whole)
    -> std::optional<typename G::value_type> {
    if (!whole(e)) return std::nullopt;
    auto value = grammar.decode(e);
    if (!value) return std::nullopt;
    return std::move(*value);
}

// The whole items of the list `list` by `grammar`, into `out`, up to the first that is not; whether all
// of them were.
template <class G, class Item>
bool read_items(const G& grammar, const der::element& list, const whole_before& whole, std::vector<Item>& out) {
    if (list.form != der::form::constructed || list.tag != der::tags::sequence) return false;
    for (der::child_cursor items(list); !items.done();) {
        auto item = read_whole(grammar, items.next(), whole);
        if (!item) return false;
        out.push_back(std::move(*item));
    }
    return whole(list);
}

}  // namespace

salvaged_record salvage_exec(std::string_view bytes) {
    salvaged_record r;
    der::tape headers;
    whole_before whole{{}, bytes.size()};
    if (const auto fault = der::check_headers(headers, bytes)) {
        if (auto cut = der::read_to_cut(headers, bytes, false)) {
            for (const auto& c : cut->elements) whole.cut.push_back(c.index);
        } else {
            // The headers before the fault stand on the tape: what ends before it is whole.
            der::check_headers(headers, bytes);
            whole.limit = fault->offset;
        }
    }
    if (headers.entries.empty()) return r;
    const der::element root = der::detail::read_entry(headers, 0, 0);
    if (root.form != der::form::constructed || root.tag != der::context(0)) return r;
    der::child_cursor in_root(root);
    if (in_root.done()) return r;
    const der::element record = in_root.next();
    if (record.form != der::form::constructed || record.tag != der::tags::sequence) return r;
    der::child_cursor members(record);
    const auto next = [&]() -> std::optional<der::element> {
        if (members.done()) return std::nullopt;
        return members.next();
    };

    auto job = next();
    if (!job || !(r.job = read_whole(script_job_syntax(), *job, whole))) return r;
    auto id = next();
    if (!id || !(r.uuid = read_whole(uuid_syntax(), *id, whole))) return r;
    auto console = next();
    if (!console) return r;
    r.console_reached = true;
    if (!read_items(line_grammar(), *console, whole, r.console)) return r;
    auto times = next();
    if (!times || times->form != der::form::constructed) return r;
    der::child_cursor in_times(*times);
    if (in_times.done() || !(r.started = read_whole(time_syntax(), in_times.next(), whole))) return r;
    if (in_times.done() || !(r.finished = read_whole(time_syntax(), in_times.next(), whole))) return r;
    auto result = next();
    if (!result || !(r.result = read_whole(res_syntax(), *result, whole))) return r;
    auto output = next();
    if (!output) return r;
    r.output_reached = true;
    read_items(file_grammar(), *output, whole, r.output);
    return r;
}

}  // namespace quarvel::asn
