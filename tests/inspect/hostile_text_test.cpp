// quarvel-inspect and text from input: every error line shows control bytes as visible escapes and
// printable text exactly as it is; the verbatim outputs (job line, transcript, script) stay verbatim.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include <quarvel/asn.hpp>

#include "cli/eval.hpp"
#include "cli/hostile_text.hpp"
#include "support/process.hpp"

namespace {

const std::string tool = QUARVEL_INSPECT_BINARY;
const std::string usage = "Usage: quarvel-inspect [--help] [OPTION]\xe2\x80\xa6 FILE\n";

quarvel::execution_record small_record() {
    quarvel::execution_record r;
    r.job = {"a", "p", "s"};
    r.started = {1'704'164'645, 123'456'789};  // a fraction: room in its time text for a hostile one
    r.finished = {1'704'164'646, 0};
    r.result = quarvel::Exited{0};
    return r;
}

struct situation {
    std::string what;
    std::function<std::vector<std::string>(const std::string& raw)> arguments;  // after the tool's name
    std::function<std::string(const std::string& shown)> message;              // after "quarvel-inspect: "
    bool usage = true;
    enum class prepare { nothing, directory, file } made = prepare::nothing;
};

// Every error line that quotes an argument, with each text of the tables as the argument. The run takes
// place in a directory of its own, where "rec.der" is a record and nothing else exists unless made.
TEST(HostileText, ErrorLinesQuotingArguments) {
    using args = std::vector<std::string>;
    const std::vector<situation> situations{
        {"no such file", [](const std::string& raw) { return args{raw}; },
         [](const std::string& shown) { return "FILE argument: no '" + shown + "' file or directory"; }},
        {"too many arguments", [](const std::string& raw) { return args{"rec.der", raw}; },
         [](const std::string& shown) { return "too many arguments, don't know what to do with '" + shown + "'"; }},
        {"unknown option", [](const std::string& raw) { return args{"--zz" + raw, "rec.der"}; },
         [](const std::string& shown) { return "unknown option '--zz" + shown + "'"; }},
        {"flag with a value", [](const std::string& raw) { return args{"--job=" + raw, "rec.der"}; },
         [](const std::string& shown) {
             return "option '--job' is a flag, it cannot take the argument '" + shown + "'";
         }},
        {"invalid option value", [](const std::string& raw) { return args{"--verbosity=" + raw, "rec.der"}; },
         [](const std::string& shown) {
             return "option '--verbosity': invalid value '" + shown +
                    "', expected one of 'warning', 'quiet', 'error', 'warning', 'info' or 'debug'";
         }},
        {"no such directory", [](const std::string& raw) { return args{"--output", raw, "rec.der"}; },
         [](const std::string& shown) { return "option '--output': no '" + shown + "' directory"; }},
        {"not a directory", [](const std::string& raw) { return args{"--output", raw, "rec.der"}; },
         [](const std::string& shown) { return "option '--output': '" + shown + "' is not a directory"; }, true,
         situation::prepare::file},
        {"unreadable file", [](const std::string& raw) { return args{raw}; },
         [](const std::string& shown) { return shown + ": Is a directory"; }, false, situation::prepare::directory},
    };
    for (const auto& s : situations) {
        for (const auto& t : test::all_texts()) {
            test::temp_dir dir;
            dir.file("rec.der", quarvel::asn::exec_to_str(small_record()));
            if (s.made == situation::prepare::directory) {
                ASSERT_EQ(::mkdir((dir.path + "/" + t.raw).c_str(), 0755), 0);
            }
            if (s.made == situation::prepare::file) dir.file(t.raw, "x");
            std::vector<std::string> argv{tool};
            for (auto& a : s.arguments(t.raw)) argv.push_back(std::move(a));
            test::run_options in_dir;
            in_dir.cwd = dir.path;
            const auto r = test::run(argv, in_dir);
            const std::string context = s.what + ", " + t.what;
            EXPECT_EQ(r.status, 124) << context;
            EXPECT_EQ(r.out, "") << context;
            EXPECT_EQ(r.err, (s.usage ? usage : "") + cli::message_line("quarvel-inspect", s.message(t.shown)) + "\n")
                << context;
            EXPECT_EQ(test::terminal_hazard(r.err), "") << context;
        }
    }
}

// Styled, the layer's own escape sequences are the only ones on standard error.
TEST(HostileText, StyledErrorLineQuotingAFileName) {
    test::temp_dir dir;
    test::run_options styled;
    styled.env = {{"TERM", "xterm"}};
    styled.cwd = dir.path;
    const auto r = test::run({tool, "no\x1b[5mfile"}, styled);
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err,
              "Usage: \x1b[01mquarvel-inspect\x1b[m [\x1b[01m--help\x1b[m] [\x1b[04mOPTION\x1b[m]\xe2\x80\xa6 "
              "\x1b[04mFILE\x1b[m\n"
              "quarvel-inspect: \x1b[04mFILE\x1b[m argument: no \x1b[01mno\\e[5mfile\x1b[m file or directory\n");
}

// A decoder's message that quotes the input: the text of a malformed time.
TEST(HostileText, DecoderMessageQuotingTheInput) {
    const std::string der = quarvel::asn::exec_to_str(small_record());
    // The time as written, to the millisecond: 19 octets, room for "2024" and each text of the tables.
    ASSERT_NE(der.find("\x18\x13" "20240102030405.123Z"), std::string::npos);
    test::temp_dir dir;
    for (const auto& t : test::all_texts()) {
        const std::string bytes = test::with_time_text(der, "2024" + t.raw);
        ASSERT_NE(bytes, "") << t.what;
        const std::string shown_time = "2024" + test::shown_in_message(t) + std::string(19 - 4 - t.raw.size(), 'Z');
        const auto r = test::run({tool, "--job", dir.file("bad.der", bytes)});
        EXPECT_EQ(r.status, 124) << t.what;
        EXPECT_EQ(r.out, "") << t.what;
        EXPECT_EQ(r.err, cli::message_line("quarvel-inspect", "GeneralizedTime: invalid format: " + shown_time) + "\n")
            << t.what;
        EXPECT_EQ(test::terminal_hazard(r.err), "") << t.what;
    }
}

// The job line, the transcript's result line and the script print the record's texts unchanged, whatever
// they hold: they are the tool's verbatim outputs.
TEST(HostileText, VerbatimOutputsStayVerbatim) {
    test::temp_dir dir;
    for (const auto& t : test::all_texts()) {
        auto record = small_record();
        record.job = {t.raw, t.raw, t.raw};
        record.result = quarvel::Msg{t.raw};
        const auto file = dir.file("rec.der", quarvel::asn::exec_to_str(record));
        const auto r = test::run({tool, "--job", "--console", "--script", file});
        EXPECT_EQ(r.status, 0) << t.what << r.err;
        EXPECT_EQ(r.out, t.raw + " on " + t.raw + "\nstarted at 2024-01-02T03:04:05-00:00\nexecution aborted: " +
                             t.raw + "\nstopped at 2024-01-02T03:04:06-00:00\n" + t.raw + "\n")
            << t.what;
    }
}

}  // namespace
