// quarvel-dump's forms of states and commands with hostile texts from the input: the text forms, alone and
// framed (a live connection's peer writes them), show what a terminal would act on as visible escapes and
// printable text byte for byte; JSON writes it as \uXXXX, still valid and lossless.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/format.hpp>
#include <quarvel/pp.hpp>

#include "cli/hostile_text.hpp"
#include "dump/fixtures.hpp"
#include "support/process.hpp"

namespace {

using dump_test::frame;

const std::string tool = QUARVEL_DUMP_BINARY;

quarvel::uuid example_uuid() {
    quarvel::uuid u;
    for (std::uint8_t i = 0; i < 16; ++i) u.octets[i] = static_cast<std::uint8_t>(i * 0x11);
    return u;
}
const std::string bracketed_uuid = "[00112233-4455-6677-8899-aabbccddeeff]";

// Each command that prints a text of the input, with `text` in every such place; and its text form when
// the input holds `raw` and the tool shows it as `shown`.
struct printed_command {
    quarvel::cmd command;
    std::string line;
};

std::vector<printed_command> commands(const std::string& raw, const std::string& shown) {
    using C = quarvel::cmd;
    const quarvel::timestamp next{1'714'564'800, 0};  // 2024-05-01T12:00:00Z
    return {
        {{C::Failure{raw}}, "failure " + shown},
        {{C::Job_request{raw}}, "job request on " + shown},
        {{C::Job_schedule{example_uuid(), {raw, raw, raw}}},
         bracketed_uuid + " job schedule name " + shown + " on " + shown},
        {{C::Job_finished{example_uuid(), quarvel::Msg{raw}, {{raw, "abc"}}}},
         bracketed_uuid + " job finished with execution aborted: " + shown + ": " + shown + ": 3"},
        {{C::Execute{raw, raw}}, "execute " + shown + " on " + shown},
        {{C::Schedule_vesk_build{quarvel::period::Daily, {raw, raw}}},
         "schedule vesk build at daily: name " + shown + ", opam " + shown},
        {{C::Reschedule{raw, next, std::nullopt}}, "reschedule " + shown + ": 2024-05-01T12:00:00-00:00"},
        {{C::Unschedule{raw}}, "unschedule " + shown},
        {{C::Drop_platform{raw}}, "drop platform " + shown},
        // A console line keeps the quoted form of the text forms, which leaves nothing to escape.
        {{C::Output{example_uuid(), raw}}, bracketed_uuid + " " + quarvel::quoted(raw)},
    };
}

// An overview and a state with `text` in every printed place: the scheduler's own texts.
quarvel::info overview(const std::string& text) {
    const quarvel::timestamp t{1'714'564'800, 0};
    quarvel::info i;
    i.schedule = {{t, quarvel::period::Daily, quarvel::vesk_build_job{text, text}}};
    i.queues = {{text, {quarvel::script_job{text, text, "s"}}}};
    i.running = {{t, example_uuid(), {text, text, "s"}}};
    i.dropped_platforms = {text, "x"};
    return i;
}

quarvel::state state_of(const std::string& text) {
    const quarvel::timestamp t{1'714'564'800, 0};
    return {{quarvel::state_item::Queue{text, {quarvel::script_job{text, text, "s"}, quarvel::vesk_build_job{text, text}}}},
            {quarvel::state_item::Schedule{{t, quarvel::period::Weekly, quarvel::script_job{text, text, "s"}}}},
            {quarvel::state_item::Dropped_platform{text}}};
}

// The layout of a text form is the printers': the value holding the shown texts, laid out by them.
template <class Value>
std::string laid_out(const Value& v, void (*print)(quarvel::formatter&, const Value&)) {
    return quarvel::render([&](quarvel::formatter& f) { print(f, v); }) + "\n";
}

// Every command and a state, alone and framed: exact bytes, and nothing a terminal would act on.
TEST(HostileForms, TextFormsShowTheInputsTextsByTheTerminalRule) {
    for (const auto& t : test::all_texts()) {
        test::temp_dir dir;
        std::vector<std::string> argv{tool, "cmd"};
        std::string capture, alone, framed;
        std::uint64_t offset = 0;
        int number = 0;
        auto printed = commands(t.raw, t.shown);
        printed.push_back({{quarvel::cmd::Info_reply{overview(t.raw)}},
                           laid_out(quarvel::cmd{quarvel::cmd::Info_reply{overview(t.shown)}}, quarvel::pp_cmd)});
        printed.back().line.pop_back();  // the line feed comes below, as for the others
        for (const auto& p : printed) {
            const std::string der = quarvel::asn::cmd_to_str(p.command);
            argv.push_back(dir.file("cmd" + std::to_string(++number) + ".der", der));
            alone += (number == 1 ? "==> " : "\n==> ") + argv.back() + " <==\n" + p.line + "\n";
            framed += "frame " + std::to_string(number) + " at offset " + std::to_string(offset) + "\n" + p.line + "\n";
            capture += frame(der);
            offset = capture.size();
        }
        const auto r = test::run(argv);
        EXPECT_EQ(r.status, 0) << t.what << r.err;
        EXPECT_EQ(r.out, alone) << t.what;
        EXPECT_EQ(test::terminal_hazard(r.out), "") << t.what;
        const auto f = test::run({tool, "--framed", "cmd", dir.file("capture", capture)});
        EXPECT_EQ(f.status, 0) << t.what << f.err;
        EXPECT_EQ(f.out, framed) << t.what;
        EXPECT_EQ(test::terminal_hazard(f.out), "") << t.what;

        const std::string state = quarvel::asn::state_to_str(state_of(t.raw));
        const std::string shown = laid_out(state_of(t.shown), quarvel::pp_state);
        const auto s = test::run({tool, "state", dir.file("state.der", state)});
        EXPECT_EQ(s.status, 0) << t.what << s.err;
        EXPECT_EQ(s.out, shown) << t.what;
        EXPECT_EQ(test::terminal_hazard(s.out), "") << t.what;
        const auto fs = test::run({tool, "--framed", "state", dir.file("states", frame(state) + frame(state))});
        EXPECT_EQ(fs.status, 0) << t.what << fs.err;
        EXPECT_EQ(fs.out, "frame 1 at offset 0\n" + shown + "frame 2 at offset " + std::to_string(8 + state.size()) +
                              "\n" + shown)
            << t.what;
    }
}

// The bytes themselves, for one text: an operator's window title, screen and lines stay as they were.
TEST(HostileForms, AFailureCannotSteerTheTerminal) {
    test::temp_dir dir;
    const std::string message = "\x1b]0;pwned\x07\x1b[2J\r\nexited 0\xc2\x9b\xe2\x80\xae\xff";
    const std::string der = quarvel::asn::cmd_to_str({quarvel::cmd::Failure{message}});
    test::run_options piped;
    piped.input = frame(der);
    const auto r = test::run({tool, "--framed", "cmd", "-"}, piped);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "frame 1 at offset 0\nfailure \\e]0;pwned\\a\\e[2J\\r\\nexited 0\\u009b\\u202e\\xff\n");
}

// JSON: what a terminal would act on as \uXXXX (JSON allows it raw), the rest as before.
struct json_case {
    std::string what, raw, json;
};

const std::vector<json_case>& json_cases() {
    static const std::vector<json_case> cases{
        {"ESC, OSC, BEL", "\x1b]0;T\x07", R"("\u001b]0;T\u0007")"},
        {"CSI", "\x1b[2J", R"("\u001b[2J")"},
        {"CR, LF, TAB", "a\r\n\tb", R"("a\r\n\tb")"},
        {"DEL", "a\x7f", R"("a\u007f")"},
        {"C1, first, CSI and last", "\xc2\x80\xc2\x9b\xc2\x9f", R"("\u0080\u009b\u009f")"},
        {"bidirectional controls", "\xe2\x80\xaa\xe2\x80\xae\xe2\x81\xa6\xe2\x81\xa9\xe2\x80\x8f\xd8\x9c",
         R"("\u202a\u202e\u2066\u2069\u200f\u061c")"},
        {"line and paragraph separators", "a\xe2\x80\xa8" "b\xe2\x80\xa9", R"("a\u2028b\u2029")"},
        {"not UTF-8", "\x1b\xff", R"({"base64":"G/8="})"},
        // Around them, letters stay as they are: no-break space after the C1 range, U+202F after the bidi
        // controls, U+2065 before the isolates.
        {"letters", "caf\xc3\xa9\xc2\xa0\xe2\x80\xaf\xe2\x81\xa5", "\"caf\xc3\xa9\xc2\xa0\xe2\x80\xaf\xe2\x81\xa5\""},
        {"quote and backslash", "\"\\", R"("\"\\")"},
    };
    return cases;
}

TEST(HostileForms, JsonEscapesWhatATerminalWouldActOn) {
    std::string all;
    for (const auto& c : json_cases()) {
        test::temp_dir dir;
        // A command's, a state's and a record's texts, and a FILE's name in a run over several.
        const auto cmd = test::run({tool, "--json", "cmd", dir.file("c.der", quarvel::asn::cmd_to_str({quarvel::cmd::Failure{c.raw}}))});
        EXPECT_EQ(cmd.status, 0) << c.what << cmd.err;
        EXPECT_EQ(cmd.out, R"({"type":"failure","message":)" + c.json + "}\n") << c.what;

        const quarvel::state state{{quarvel::state_item::Dropped_platform{c.raw}}};
        const auto st = test::run({tool, "--json", "state", dir.file("s.der", quarvel::asn::state_to_str(state))});
        EXPECT_EQ(st.status, 0) << c.what << st.err;
        EXPECT_EQ(st.out, R"([{"type":"dropped_platform","platform":)" + c.json + "}]\n") << c.what;

        auto record = dump_test::small_record();
        record.console = {{0, c.raw}};
        record.output = {{c.raw, ""}};
        dir.file(c.raw, quarvel::asn::exec_to_str(record));
        dir.file("b.der", quarvel::asn::exec_to_str(dump_test::small_record()));
        test::run_options in_dir;
        in_dir.cwd = dir.path;
        const auto ex = test::run({tool, "--json", "exec", c.raw, "b.der"}, in_dir);
        EXPECT_EQ(ex.status, 0) << c.what << ex.err;
        const std::string first = ex.out.substr(0, ex.out.find('\n') + 1);
        EXPECT_TRUE(first.starts_with(R"({"file":)" + c.json + R"(,"value":{"job":)")) << c.what << "\n" << first;
        EXPECT_NE(first.find(R"("console":[{"delta":0,"data":)" + c.json + "}]"), std::string::npos) << c.what << "\n" << first;
        EXPECT_NE(first.find(R"("output":[{"path":)" + c.json + R"(,"size":0}]}})"), std::string::npos)
            << c.what << "\n" << first;
        for (const auto* out : {&cmd.out, &st.out, &ex.out}) {
            EXPECT_EQ(test::terminal_hazard(*out), "") << c.what;
            all += *out;
        }
    }
    // Valid JSON that reads back to the same texts.
    dump_test::expect_json_lines(all);
}

// Every text of the tables, as a framed command's JSON: nothing a terminal would act on, and valid JSON.
TEST(HostileForms, FramedJsonOfEveryHostileText) {
    std::string capture;
    for (const auto& t : test::all_texts()) capture += frame(quarvel::asn::cmd_to_str({quarvel::cmd::Execute{t.raw, t.raw}}));
    test::run_options piped;
    piped.input = capture;
    const auto r = test::run({tool, "--framed", "--json", "cmd", "-"}, piped);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::terminal_hazard(r.out), "");
    dump_test::expect_json_lines(r.out);
}

}  // namespace
