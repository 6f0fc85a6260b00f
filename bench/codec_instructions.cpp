// The codecs' instruction counts, section by section, for bench/instructions.sh: each section is a
// function of its own, run under callgrind, whose inclusive count is the section's cost. Instruction
// counts do not vary with the load of a shared machine, so two builds can be compared in one sitting.
#include <cstdio>
#include <string>
#include <vector>

#include <quarvel/asn.hpp>

#include "inputs.hpp"

namespace {

using namespace quarvel;

std::vector<bench::named_cmd> commands;
std::vector<std::string> command_octets;
execution_record example;
std::string example_octets;
execution_record console_record;
std::string console_octets;
state large;
std::string large_octets;
std::size_t sink = 0;

// 20,000 console lines of 40 to 100 octets after the worked example's own.
execution_record console_lines() {
    execution_record r = bench::example_record();
    for (int i = 0; i < 20'000; ++i)
        r.console.push_back(console_line{i * 12'345LL, std::string(40 + i % 61, static_cast<char>('a' + i % 26))});
    return r;
}

#define SECTION(name, body) \
    [[gnu::noinline]] void name() { body }

SECTION(section_cmd_decode, for (int k = 0; k < 1000; ++k) for (const auto& b : command_octets) sink += asn::cmd_of_str(b).has_value();)
SECTION(section_cmd_encode, for (int k = 0; k < 1000; ++k) for (const auto& c : commands) sink += asn::cmd_to_str(c.command).size();)
SECTION(section_example_decode, for (int k = 0; k < 10'000; ++k) sink += asn::exec_of_str(example_octets).has_value();)
SECTION(section_example_encode, for (int k = 0; k < 10'000; ++k) sink += asn::exec_to_str(example).size();)
SECTION(section_console_decode, for (int k = 0; k < 3; ++k) sink += asn::exec_of_str(console_octets).has_value();)
SECTION(section_console_encode, for (int k = 0; k < 3; ++k) sink += asn::exec_to_str(console_record).size();)
// The located decoders, whose sound path is the plain one's: a fault's place is found after the fact.
SECTION(section_example_located_decode, for (int k = 0; k < 10'000; ++k) sink += asn::exec_of_str_located(example_octets).has_value();)
SECTION(section_console_view_decode, for (int k = 0; k < 3; ++k) sink += asn::exec_view_of_str(console_octets).has_value();)
SECTION(section_state_decode, for (int k = 0; k < 3; ++k) sink += asn::state_of_str(large_octets).has_value();)
SECTION(section_state_encode, for (int k = 0; k < 3; ++k) sink += asn::state_to_str(large).size();)

}  // namespace

int main() {
    commands = bench::every_cmd();
    for (const auto& c : commands) command_octets.push_back(asn::cmd_to_str(c.command));
    example = bench::example_record();
    example_octets = asn::exec_to_str(example);
    console_record = console_lines();
    console_octets = asn::exec_to_str(console_record);
    large = bench::large_state();
    large_octets = asn::state_to_str(large);

    section_cmd_decode();
    section_cmd_encode();
    section_example_decode();
    section_example_encode();
    section_console_decode();
    section_console_encode();
    section_example_located_decode();
    section_console_view_decode();
    section_state_decode();
    section_state_encode();
    std::printf("%zu\n", sink);
}
