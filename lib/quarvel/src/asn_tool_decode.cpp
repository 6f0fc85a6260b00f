// What a decoder does once it has failed: the place of a cut, for the located decoders; and the decoders as
// the tools use them (quarvel_toolkit/tool_decode.hpp). Their codecs are built here, apart from the public
// decoders', so that nothing of it is compiled into those decoders' sound paths.
#include <quarvel_toolkit/tool_decode.hpp>

#include <der/consumption.hpp>

#include "grammars/cmd.hpp"
#include "grammars/codec.hpp"
#include "grammars/record.hpp"
#include "grammars/state.hpp"

namespace quarvel::asn {

namespace {

// Built on first use, as the public codecs are: the same grammars, so the same places in their paths. The
// record is read in place, so that running its grammar over a large input copies none of its texts.
const auto& state_projections() {
    static const auto projections = projections_of(state_syntax(), "scheduler_state", "state", true);
    return projections;
}
const auto& cmd_projections() {
    static const auto projections = projections_of(cmd_syntax(), "cmd", "command");
    return projections;
}
const auto& exec_view_projections() {
    static const auto projections = projections_of(exec_view_syntax(), "exec", "record");
    return projections;
}

// When `bytes` end inside their element, the place of the innermost element that the end cuts, into
// `refused` (whose message stays the reader's): its header's offset, and its place in the grammar, found by
// running the grammar over the headers that lie before the end, the cut element turned so that the grammar
// stops there. When the grammar stops earlier, at a fault of its own, the cut has no path.
template <class G>
void locate_cut(const der::codec_t<G>& codec, std::string_view bytes, std::string_view root, decode_error& refused) {
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

// The same for the grammar whose paths begin with `root`.
void locate_cut(std::string_view root, std::string_view bytes, decode_error& refused) {
    if (root == "state") return locate_cut(state_projections().codec, bytes, root, refused);
    if (root == "command") return locate_cut(cmd_projections().codec, bytes, root, refused);
    locate_cut(exec_view_projections().codec, bytes, root, refused);
}

// A decode for a tool: a refusal of the element reader with its dumps cut short and the fault itself, the
// place of a cut found when `how` asks for it.
template <class G>
tool_result<typename G::value_type> decode_for_tool(const der::codec_t<G>& codec, std::string_view bytes,
                                                    std::string_view root, const tool_decode_options& how,
                                                    der::decode_options options = {}) {
    der::tape_lease lease;
    der::tape& headers = lease.get();
    der::pass_outcome outcome;
    auto value = der::decode_in_pass(codec, headers, bytes, outcome, options);
    if (const auto& fault = outcome.reader) [[unlikely]] {
        tool_refusal refused{{der::reader_message(*fault, bytes, how.max_dumped, true), fault->offset, {}}, *fault};
        if (how.locate_cut) locate_cut(codec, bytes, root, refused.error);
        return std::unexpected(std::move(refused));
    }
    if (value && outcome.size != bytes.size())
        return std::unexpected(tool_refusal{{"trailing bytes", outcome.size, {}}, {}});
    if (value) return std::move(*value);
    const der::fault_site& fault = headers.fault;
    return std::unexpected(tool_refusal{
        {std::move(value.error()), fault.offset, fault.in_grammar ? fault_path(root, fault) : std::string()}, {}});
}

}  // namespace

decode_error located_refusal(std::string_view root, std::string_view bytes, const der::tape& headers,
                             std::string&& message) {
    const der::fault_site& fault = headers.fault;
    decode_error refused{std::move(message), fault.offset, fault.in_grammar ? fault_path(root, fault) : std::string()};
    if (!fault.in_grammar) locate_cut(root, bytes, refused);
    return refused;
}

tool_result<state> state_of_str_for_tool(std::string_view bytes, const tool_decode_options& how) {
    return decode_for_tool(state_projections().codec, bytes, "state", how);
}

tool_result<cmd> cmd_of_str_for_tool(std::string_view bytes, const tool_decode_options& how) {
    return decode_for_tool(cmd_projections().codec, bytes, "command", how);
}

tool_result<execution_record_view> exec_view_of_str_for_tool(std::string_view bytes, const tool_decode_options& how) {
    if (how.consumed == nullptr) return decode_for_tool(exec_view_projections().codec, bytes, "record", how);
    der::consumption_watch watch(bytes, how.step, *how.consumed);
    return decode_for_tool(exec_view_projections().codec, bytes, "record", how, {&watch});
}

}  // namespace quarvel::asn
