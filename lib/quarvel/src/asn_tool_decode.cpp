// The decoders as the tools use them (quarvel_internal/tool_decode.hpp). Their codecs are built here, apart
// from the public decoders', so that what the tools need on a refusal costs the public ones nothing.
#include <quarvel_internal/tool_decode.hpp>

#include <der/consumption.hpp>

#include "grammars/cmd.hpp"
#include "grammars/codec.hpp"
#include "grammars/record.hpp"
#include "grammars/state.hpp"

namespace quarvel::asn {

namespace {

// Built on first use, as the public codecs are; the same grammars, so the same names in their paths.
const auto& state_projections() {
    static const auto projections = projections_of(state_syntax(), "scheduler_state", "state");
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

}  // namespace

tool_result<state> state_of_str_for_tool(std::string_view bytes, const tool_decode_options& how) {
    return state_projections().decode_for_tool(bytes, how);
}

tool_result<cmd> cmd_of_str_for_tool(std::string_view bytes, const tool_decode_options& how) {
    return cmd_projections().decode_for_tool(bytes, how);
}

tool_result<execution_record_view> exec_view_of_str_for_tool(std::string_view bytes, const tool_decode_options& how) {
    if (how.consumed == nullptr) return exec_view_projections().decode_for_tool(bytes, how);
    der::consumption_watch watch(bytes, how.step, *how.consumed);
    return exec_view_projections().decode_for_tool(bytes, how, {&watch});
}

}  // namespace quarvel::asn
