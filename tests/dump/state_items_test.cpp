// quarvel-dump reads a file's state item by item: its text form, JSON and encoding are byte for byte those
// of the whole value (which a capture's frames still go through), its refusals and warnings the same, in
// the same order against standard output; and a large state costs about its file, not several times it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/eval.hpp"
#include "dump/decode.hpp"
#include "dump/fixtures.hpp"
#include "quarvel/state_inputs.hpp"
#include "support/process.hpp"

namespace {

using namespace state_inputs;
using dump_test::frame;
using dump_test::prefix;

const std::string tool = QUARVEL_DUMP_BINARY;

std::string said(const std::string& message) { return cli::message_line("quarvel-dump", message) + "\n"; }

// Standard error and output of one run, as one stream: the order in which a reader of both sees them.
test::outcome run_merged(const std::vector<std::string>& arguments) {
    std::string script = "exec \"$0\"";
    for (std::size_t i = 0; i < arguments.size(); ++i) script += " \"$" + std::to_string(i + 1) + "\"";
    std::vector<std::string> argv{"/bin/sh", "-c", script + " 2>&1", tool};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return test::run(argv);
}

TEST(StateItems, EveryFormIsThatOfTheWholeValue) {
    test::temp_dir dir;
    for (const auto& [name, octets] : sound_states()) {
        SCOPED_TRACE(name);
        const std::string file = dir.file("state.der", octets);
        // The whole value's forms: a capture of one frame holding the state.
        const std::string capture = dir.file("capture", frame(octets));

        const auto text = test::run({tool, "state", file});
        const auto whole_text = test::run({tool, "--framed", "state", capture});
        ASSERT_EQ(text.status, 0) << text.err;
        EXPECT_EQ("frame 1 at offset 0\n" + text.out, whole_text.out);
        EXPECT_EQ(text.err, whole_text.err);  // the retired items' warnings

        const auto json = test::run({tool, "--json", "state", file});
        ASSERT_EQ(json.status, 0) << json.err;
        ASSERT_FALSE(json.out.empty());
        EXPECT_EQ(R"({"frame":1,"offset":0,"value":)" + json.out.substr(0, json.out.size() - 1) + "}\n",
                  test::run({tool, "--json", "--framed", "state", capture}).out);
        // In a run over several FILEs, each line names its FILE.
        const std::string other = dir.file("other.der", octets);
        const std::string value = json.out.substr(0, json.out.size() - 1);
        EXPECT_EQ(test::run({tool, "--json", "state", file, other}).out,
                  R"({"file":")" + file + R"(","value":)" + value + "}\n" + R"({"file":")" + other +
                      R"(","value":)" + value + "}\n");

        const auto encoding = test::run({tool, "--reencode", "state", file});
        ASSERT_EQ(encoding.status, 0) << encoding.err;
        EXPECT_EQ(prefix(static_cast<std::int64_t>(encoding.out.size())) + encoding.out,
                  test::run({tool, "--reencode", "--framed", "state", capture}).out);
        EXPECT_EQ(encoding.out, quarvel::asn::state_to_str(*quarvel::asn::state_of_str(octets)));

        // The warnings come before anything of the state, as when the whole value was printed.
        EXPECT_EQ(run_merged({"state", file}).out, text.err + text.out);
    }
}

// A few forms with their exact bytes: the worked example, old and retired items, and a list that the
// margin breaks (the last break before the line end always breaks, as the whole list's did).
TEST(StateItems, ExactForms) {
    test::temp_dir dir;
    const std::string warning = "quarvel-dump: [WARNING] ";
    const auto example = dir.file("example.der", state_of_items({retired_job, schedule_a, old_schedule_a, dropped("x")}));
    auto r = run_merged({"state", example});
    EXPECT_EQ(r.out, warning + "job for queue no longer supported, ignoring\n"
                               "schedule name a on p next 2024-01-02T03:04:05-00:00, scheduled daily;\n"
                               "schedule name a on p next 2024-01-02T03:04:05-00:00, scheduled daily;\n"
                               "dropped platform x\n");
    r = test::run({tool, "--json", "state", example});
    const std::string item = R"({"type":"schedule","next":"2024-01-02T03:04:05-00:00","period":"daily",)"
                             R"("job":{"type":"script_job","name":"a","platform":"p","script":"s"}})";
    EXPECT_EQ(r.out, "[" + item + "," + item + R"(,{"type":"dropped_platform","platform":"x"}])" "\n");
    // The old item is written in the current form, the retired one not at all: the list's length is theirs.
    r = test::run({tool, "--reencode", "state", example});
    EXPECT_EQ(r.out, state_of_items({schedule_a, schedule_a, dropped("x")}));

    state platforms;
    for (int i = 0; i < 12; ++i) platforms.push_back({state_item::Dropped_platform{"platform-" + std::to_string(i)}});
    r = test::run({tool, "state", dir.file("platforms.der", encoded(platforms))});
    EXPECT_EQ(r.out,
              "dropped platform platform-0; dropped platform platform-1;\n"
              "dropped platform platform-2; dropped platform platform-3;\n"
              "dropped platform platform-4; dropped platform platform-5;\n"
              "dropped platform platform-6; dropped platform platform-7;\n"
              "dropped platform platform-8; dropped platform platform-9;\n"
              "dropped platform platform-10;\n"
              "dropped platform platform-11\n");
}

// A refused state prints nothing of its value, and says what the whole decoder says, after the warnings
// of the retired items before the fault.
TEST(StateItems, RefusalsAreThoseOfTheWholeValue) {
    test::temp_dir dir;
    for (const auto& [name, octets] : refused_states()) {
        SCOPED_TRACE(name);
        const std::string file = dir.file("state.der", octets);
        const auto whole = dump::decode(dump::input_kind::state, octets);
        ASSERT_FALSE(whole.has_value());
        // The whole value's warnings: those a capture's frame of the state gives before its refusal.
        const std::string framed_err = test::run({tool, "--framed", "state", dir.file("capture", frame(octets))}).err;
        const std::string warnings = framed_err.substr(0, framed_err.find("quarvel-dump: frame 1"));
        for (const auto& form : std::vector<std::vector<std::string>>{{tool}, {tool, "--json"}, {tool, "--reencode"}}) {
            std::vector<std::string> argv = form;
            argv.insert(argv.end(), {"state", file});
            const auto r = test::run(argv);
            SCOPED_TRACE(form.size() > 1 ? form[1] : "text");
            EXPECT_EQ(r.status, 124);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, warnings + said(whole.error().text()));
        }
    }
}

#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's shadow and quarantine would dominate the figure
// 1.2 M tiny items (6 MB): the list of them held whole took 30 times the file; item by item, every form
// stays within twice the file and a few MiB of the program's own.
TEST(StateItems, ALargeStateCostsAboutItsFile) {
    test::temp_dir dir;
    std::string file;
    long file_kib = 0;
    {
        std::string items;
        for (int i = 0; i < 1'200'000; ++i) items += dropped("x");
        const std::string octets = element(0x30, items);
        file = dir.file("tiny.der", octets);
        file_kib = static_cast<long>(octets.size() / 1024);
    }
    // The output goes to /dev/null: a child's peak counts what it shares of this process when it starts,
    // which must not grow with the output of the runs before.
    for (const std::string form : {"", "--json", "--reencode"}) {
        SCOPED_TRACE(form);
        const std::string option = form.empty() ? "" : " " + form;
        const auto r = test::run({"/bin/sh", "-c", "exec \"$0\"" + option + " state \"$1\" >/dev/null", tool, file});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_LT(r.max_rss_kib, 2 * file_kib + 16 * 1024);
    }
}
#endif

}  // namespace
