// The decoders read each header as their grammar reaches it, in one pass. What they answer must be what a
// decode answers that checks every header first and then runs the grammar over the checked headers: the
// same value, or the same message at the same offset and path, a broken byte rule anywhere winning over the
// grammar's refusal. Both ways run here over every small change of the samples and of a command.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include <der/grammar.hpp>
#include <quarvel/asn.hpp>
#include <quarvel/log.hpp>

#include "../../samples/hello_record.hpp"
#include "../../samples/operator_samples.hpp"
#include "grammars/cmd.hpp"
#include "grammars/record.hpp"
#include "grammars/state.hpp"
#include "state_inputs.hpp"

namespace {

template <class V>
struct outcome {
    std::optional<V> value;
    std::string message;
    std::size_t offset = 0;
    bool in_grammar = false;
    std::vector<std::string> path;
};

template <class V>
outcome<V> refused(std::string message, const der::tape& headers) {
    outcome<V> o{std::nullopt, std::move(message), headers.fault.offset, headers.fault.in_grammar, {}};
    for (const der::path_step& step : headers.fault.path)
        o.path.push_back(step.label.empty() ? std::to_string(step.index) : std::string(step.label));
    return o;
}

// Every header checked onto a tape first, then the grammar over the tape.
template <class G>
outcome<typename G::value_type> checked_first(const der::codec_t<G>& codec, std::string_view input) {
    der::tape headers;
    auto parsed = der::parse_into(headers, input);
    if (!parsed) return refused<typename G::value_type>(parsed.error(), headers);
    auto value = der::decode_root(codec, headers, parsed->root);
    if (!value) return refused<typename G::value_type>(value.error(), headers);
    return {std::move(*value), {}, 0, false, {}};
}

// The decoders' way: one pass.
template <class G>
outcome<typename G::value_type> in_one_pass(const der::codec_t<G>& codec, std::string_view input) {
    der::tape headers;
    der::pass_outcome outcome;
    auto value = der::decode_in_pass(codec, headers, input, outcome);
    if (outcome.reader) return refused<typename G::value_type>(der::reader_message(*outcome.reader, input), headers);
    if (!value) return refused<typename G::value_type>(value.error(), headers);
    EXPECT_EQ(outcome.size, der::parse(input)->size);
    return {std::move(*value), {}, 0, false, {}};
}

// The input, each octet in turn replaced by a few values that break headers and types; cut at every length;
// with an octet doubled at every place.
std::vector<std::string> changes_of(const std::string& input) {
    std::vector<std::string> all;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const auto octet = static_cast<unsigned char>(input[i]);
        for (const unsigned char to : {0x00, 0xFF, 0x80, 0x81, 0x1F, 0x3F, 0x30, octet ^ 0x20, octet + 1, octet - 1}) {
            std::string changed = input;
            changed[i] = static_cast<char>(to);
            all.push_back(std::move(changed));
        }
        all.push_back(input.substr(0, i));
        std::string doubled = input;
        doubled.insert(i, 1, input[i]);
        all.push_back(std::move(doubled));
    }
    return all;
}

template <class G>
void expect_same_answers(const der::codec_t<G>& codec, const std::string& sound) {
    std::size_t refusals = 0;
    for (const std::string& input : changes_of(sound)) {
        const auto want = checked_first(codec, input);
        const auto got = in_one_pass(codec, input);
        ASSERT_EQ(got.value.has_value(), want.value.has_value()) << want.message;
        if (want.value) {
            EXPECT_TRUE(*got.value == *want.value);
            continue;
        }
        ++refusals;
        EXPECT_EQ(got.message, want.message);
        EXPECT_EQ(got.offset, want.offset) << want.message;
        EXPECT_EQ(got.in_grammar, want.in_grammar) << want.message;
        EXPECT_EQ(got.path, want.path) << want.message;
    }
    EXPECT_GT(refusals, sound.size());
}

TEST(OnePass, TheRecordIsAnsweredAsIfEveryHeaderWereCheckedFirst) {
    const auto codec = der::codec("exec", quarvel::asn::exec_syntax());
    expect_same_answers(codec, quarvel::asn::exec_to_str(samples::hello_record()));
}

TEST(OnePass, TheStateIsAnsweredAsIfEveryHeaderWereCheckedFirst) {
    const auto codec = der::codec("scheduler_state", quarvel::asn::state_syntax());
    expect_same_answers(codec, quarvel::asn::state_to_str(samples::scheduler_state()));
}

TEST(OnePass, CommandsAreAnsweredAsIfEveryHeaderWereCheckedFirst) {
    const auto codec = der::codec("cmd", quarvel::asn::cmd_syntax());
    for (const quarvel::cmd& command : samples::session_commands()) expect_same_answers(codec, quarvel::asn::cmd_to_str(command));
}

// A fault of the byte rules inside an element that the grammar refused by its tag, without reading it,
// still wins.
TEST(OnePass, AByteRuleBrokenPastTheGrammarsRefusalWins) {
    const auto codec = der::codec("cmd", quarvel::asn::cmd_syntax());
    std::string input = quarvel::asn::cmd_to_str(samples::session_commands().front());
    const std::size_t first_child = der::parse(input)->root.header_size;
    input[0] = 0x31;  // a SET where the command's tag is wanted
    const auto by_tag = in_one_pass(codec, input);
    ASSERT_FALSE(by_tag.value);
    EXPECT_TRUE(by_tag.in_grammar);
    input[first_child + 1] = static_cast<char>(0x80);  // and its first child of indefinite length
    const auto got = in_one_pass(codec, input);
    EXPECT_EQ(got.message, checked_first(codec, input).message);
    EXPECT_NE(got.message, by_tag.message);
    EXPECT_FALSE(got.in_grammar);
    EXPECT_EQ(got.offset, first_child);
}

// The state's grammar logs a warning for each retired item it meets: its decoders check every header first,
// so that a state the element reader refuses, past such items, logs nothing.
TEST(OnePass, AStateTheReaderRefusesLogsNoWarning) {
    using namespace state_inputs;
    std::vector<std::string> warnings;
    quarvel::log::set_level(quarvel::log::level::warning);
    quarvel::log::set_reporter([&](const quarvel::log::source&, quarvel::log::level, std::string_view, std::string_view text) {
        warnings.emplace_back(text);
    });
    const std::string refused = state_of_items({retired_job, dropped("x"), hex("0C 81 01 78")});
    const auto plain = quarvel::asn::state_of_str(refused);
    const auto located = quarvel::asn::state_of_str_located(refused);
    const std::string sound = state_of_items({retired_job, dropped("x")});
    const auto accepted = quarvel::asn::state_of_str(sound);
    quarvel::log::set_reporter({});
    ASSERT_FALSE(plain);
    EXPECT_EQ(plain.error().rfind("Header: at ", 0), 0u) << plain.error();
    ASSERT_FALSE(located);
    EXPECT_EQ(located.error().message, plain.error());
    ASSERT_TRUE(accepted);
    EXPECT_EQ(warnings, std::vector<std::string>{"job for queue no longer supported, ignoring"});
}

}  // namespace
