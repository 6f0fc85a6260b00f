#pragma once
// The transcript of an owned record as a list of lines, through the tool's own line writer: what the tests
// compare the printed bytes with.

#include <string>
#include <string_view>
#include <vector>

#include <quarvel/model.hpp>

#include "inspect/transcript.hpp"

namespace test {

inline std::vector<std::string> transcript_lines(const std::vector<quarvel::console_line>& console,
                                                 quarvel::timestamp started, quarvel::timestamp finished,
                                                 const quarvel::execution_result& result) {
    std::vector<quarvel::console_line_view> viewed;
    for (const auto& line : console) viewed.push_back({line.delta, line.data});
    std::vector<std::string> lines;
    inspect::for_each_transcript_line(viewed, started, finished, result,
                                      [&](std::string_view text) { lines.emplace_back(text); });
    return lines;
}

}  // namespace test
