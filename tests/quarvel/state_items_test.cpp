// A state read item by item says what the whole decoder says: the same items in the same order, the same
// encoding, the same refusal (message, offset, path, a fault of the element reader as such), and the same
// warnings in the same order, all of them logged by the check, none by the reading that follows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <quarvel/log.hpp>
#include <quarvel_toolkit/state_items.hpp>
#include <quarvel_toolkit/tool_decode.hpp>

#include "state_inputs.hpp"

namespace {

using namespace state_inputs;
namespace asn = quarvel::asn;

// The texts of the log's messages while alive.
struct captured_log {
    std::vector<std::string> texts;
    captured_log() {
        quarvel::log::set_level(quarvel::log::level::warning);
        quarvel::log::set_reporter([this](const quarvel::log::source&, quarvel::log::level, std::string_view,
                                          std::string_view text) { texts.emplace_back(text); });
    }
    ~captured_log() { quarvel::log::set_reporter({}); }
};

const asn::tool_decode_options how{};

TEST(StateItems, ReadTheItemsTheWholeDecoderReads) {
    for (const auto& [name, octets] : sound_states()) {
        SCOPED_TRACE(name);
        captured_log whole_log;
        const auto whole = asn::state_of_str_for_tool(octets, how);
        ASSERT_TRUE(whole.has_value()) << whole.error().error.message;
        const std::vector<std::string> whole_warnings = std::move(whole_log.texts);
        whole_log.texts.clear();

        const auto checked = asn::check_state_items(octets, how, true);
        ASSERT_TRUE(checked.has_value()) << checked.error().error.message;
        EXPECT_EQ(whole_log.texts, whole_warnings);
        whole_log.texts.clear();

        quarvel::state items;
        std::string encoding;
        asn::each_state_item(*checked, [&](state_item& item) {
            items.push_back(item);
            asn::append_state_item(encoding, item);
        });
        EXPECT_EQ(items, *whole);
        EXPECT_EQ(whole_log.texts, std::vector<std::string>{}) << "the reading after the check logs nothing";
        EXPECT_EQ(checked->encoded_items_size, encoding.size());
        EXPECT_EQ(asn::state_header(checked->encoded_items_size) + encoding, asn::state_to_str(*whole));
    }
}

TEST(StateItems, RefuseAsTheWholeDecoderRefuses) {
    for (const auto& [name, octets] : refused_states()) {
        SCOPED_TRACE(name);
        captured_log log;
        const auto whole = asn::state_of_str_for_tool(octets, how);
        ASSERT_FALSE(whole.has_value());
        const std::vector<std::string> whole_warnings = std::move(log.texts);
        log.texts.clear();

        const auto checked = asn::check_state_items(octets, how, true);
        ASSERT_FALSE(checked.has_value());
        EXPECT_EQ(log.texts, whole_warnings);
        const asn::decode_error& expected = whole.error().error;
        const asn::decode_error& got = checked.error().error;
        EXPECT_EQ(got.message, expected.message);
        EXPECT_EQ(got.offset, expected.offset);
        EXPECT_EQ(got.path, expected.path);
        EXPECT_EQ(checked.error().reader.has_value(), whole.error().reader.has_value());
    }
}

// What the table above relies on, stated once with its exact words: the places, and the warnings logged
// before a refusal (those of the retired items before the fault, none when the element reader refuses).
TEST(StateItems, RefusalsKeepTheirPlacesAndWarnings) {
    struct case_ {
        std::string name;
        std::string path;
        std::vector<std::string> warnings;
    };
    const std::string job = "job for queue no longer supported, ignoring";
    const std::string script_job = "script job for queue no longer supported, ignoring";
    const std::vector<case_> cases{
        {"the first item refused", "state[0]", {}},
        {"a middle item refused after retired ones", "state[2] > next", {job}},
        {"the last item refused after retired ones", "state[2]", {script_job}},
        {"an empty path", "state[1] > job > files[0]", {job}},
        {"a header fault after a refused item, retired ones first", "", {}},
        {"trailing bytes after retired ones", "", {script_job}},
        {"trailing bytes after a refused item", "state[1]", {job}},
        {"a fault deep in the last of 3000 items", "state[2999] > next", {}},
    };
    const auto inputs = refused_states();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto input = std::find_if(inputs.begin(), inputs.end(), [&](const auto& s) { return s.name == c.name; });
        ASSERT_NE(input, inputs.end());
        captured_log log;
        const auto checked = asn::check_state_items(input->octets, how);
        ASSERT_FALSE(checked.has_value());
        EXPECT_EQ(checked.error().error.path, c.path) << checked.error().error.message;
        EXPECT_EQ(log.texts, c.warnings);
    }
}

// Octets that change after the check (a mapped file written meanwhile) stop the items where they no
// longer read, whatever they became: a header that does not read, an item that overruns, one the grammar
// refuses; the items before are handed over, and the reading says it stopped short.
TEST(StateItems, OctetsChangedSinceTheCheckStopTheItems) {
    struct case_ {
        std::string name;
        std::string second;  // what the second item's five octets became
    };
    const std::vector<case_> cases{
        {"a header that does not read", hex("A5 80 0C 01 78")},
        {"an item that overruns the list", hex("A5 7F 0C 01 78")},
        {"an item the grammar refuses", hex("A5 03 02 01 78")},
        {"zeros", hex("00 00 00 00 00")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string octets = state_of_items({dropped("x"), dropped("y"), dropped("z")});
        const auto checked = asn::check_state_items(octets, how);
        ASSERT_TRUE(checked.has_value());
        octets.replace(7, 5, c.second);
        std::vector<std::string> platforms;
        const bool whole = asn::each_state_item(*checked, [&](state_item& item) {
            platforms.push_back(std::get<state_item::Dropped_platform>(item.value).platform);
        });
        EXPECT_FALSE(whole);
        EXPECT_EQ(platforms, std::vector<std::string>{"x"});
    }
}
}  // namespace
