// quarvel-dump and text from input: the summary's fields and every error line show control bytes as
// visible escapes, and printable text exactly as it is.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <quarvel/asn.hpp>

#include "cli/eval.hpp"
#include "cli/hostile_text.hpp"
#include "support/process.hpp"

namespace {

const std::string tool = QUARVEL_DUMP_BINARY;
const std::string usage = "Usage: quarvel-dump [--help] [OPTION]\xe2\x80\xa6 KIND FILE\xe2\x80\xa6\n";

quarvel::execution_record small_record() {
    quarvel::execution_record r;
    r.job = {"a", "p", "s"};
    for (std::uint8_t i = 0; i < 16; ++i) r.uuid.octets[i] = static_cast<std::uint8_t>(i * 0x11);
    r.console = {{5'000'000, "hi"}};
    r.started = {1'704'164'645, 123'456'789};  // a fraction: room in its time text for a hostile one
    r.finished = {1'704'164'646, 123'456'789};
    r.result = quarvel::Exited{0};
    r.output = {{"out.txt", "x"}};
    return r;
}

const std::string summary_tail =
    "uuid 00112233-4455-6677-8899-aabbccddeeff\nstarted at 2024-01-02T03:04:05-00:00\n"
    "stopped at 2024-01-02T03:04:06-00:00\nduration 1.000s\n";

// The job's name, its platform and an aborted execution's message: a crafted record can neither steer
// the terminal nor forge a line (a second "uuid", an "exited 0" over "execution aborted").
TEST(HostileText, SummaryFields) {
    auto texts = test::all_texts();
    texts.push_back({"NUL", std::string("a\0b", 3), "a\\x00b"});
    test::temp_dir dir;
    for (const auto& t : texts) {
        auto record = small_record();
        record.job = {t.raw, t.raw, "script " + t.raw};
        record.result = quarvel::Msg{t.raw};
        record.console = {{0, t.raw}};
        const auto r = test::run({tool, "exec", dir.file("rec.der", quarvel::asn::exec_to_str(record))});
        EXPECT_EQ(r.status, 0) << t.what << r.err;
        EXPECT_EQ(r.out, t.shown + " on " + t.shown + "\n" + summary_tail + "execution aborted: " + t.shown +
                             "\nconsole 1 line, " + std::to_string(t.raw.size()) +
                             (t.raw.size() == 1 ? " byte\n" : " bytes\n") + "output out.txt, 1 byte\n")
            << t.what;
        EXPECT_EQ(test::terminal_hazard(r.out), "") << t.what;
        EXPECT_EQ(r.err, "") << t.what;
    }
}

// Paths keep the quoted form they always had (three-digit escapes, as the text forms write them), which
// leaves nothing for a terminal to act on either.
TEST(HostileText, OutputPathsKeepTheirQuotedForm) {
    test::temp_dir dir;
    auto record = small_record();
    record.output = {{"a\x1b[2Jb", "x"}, {"r\xe2\x80\xae" "txt.exe", ""}};
    for (const auto& t : test::all_texts()) record.output.push_back({t.raw, ""});
    const auto r = test::run({tool, "exec", dir.file("rec.der", quarvel::asn::exec_to_str(record))});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("output ", r.out.find("console"))),
              "a on p\n" + summary_tail + "exited 0\nconsole 1 line, 2 bytes\n");
    EXPECT_NE(r.out.find("output \"a\\027[2Jb\", 1 byte\noutput \"r\\226\\128\\174txt.exe\", 0 bytes\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("output hello-1.0_x, 0 bytes\n"), std::string::npos) << r.out;
    EXPECT_EQ(test::terminal_hazard(r.out), "");
}

struct situation {
    std::string what;
    std::function<std::vector<std::string>(const std::string& raw)> arguments;  // after the tool's name
    std::function<std::string(const std::string& shown)> message;              // after "quarvel-dump: "
    bool usage = true;
    enum class prepare { nothing, directory } made = prepare::nothing;
    bool in_place = false;  // said in its place, after "rec.der" was dumped and under its own heading
};

// Every error line that quotes an argument, with each text of the tables as the argument. The run takes
// place in a directory of its own, where "rec.der" is a record and nothing else exists unless made.
TEST(HostileText, ErrorLinesQuotingArguments) {
    const std::vector<situation> situations{
        {"no such file", [](const std::string& raw) { return std::vector<std::string>{"exec", raw}; },
         [](const std::string& shown) { return "FILE argument: no '" + shown + "' file or directory"; }},
        // Every word after KIND is a FILE: one of several is said in its place, the others still dumped.
        {"a further FILE that does not exist",
         [](const std::string& raw) { return std::vector<std::string>{"exec", "rec.der", raw}; },
         [](const std::string& shown) { return shown + ": No such file or directory"; }, false,
         situation::prepare::nothing, true},
        {"unknown option",
         [](const std::string& raw) { return std::vector<std::string>{"--zz" + raw, "exec", "rec.der"}; },
         [](const std::string& shown) { return "unknown option '--zz" + shown + "'"; }},
        {"flag with a value",
         [](const std::string& raw) { return std::vector<std::string>{"--json=" + raw, "exec", "rec.der"}; },
         [](const std::string& shown) {
             return "option '--json' is a flag, it cannot take the argument '" + shown + "'";
         }},
        {"invalid option value",
         [](const std::string& raw) { return std::vector<std::string>{"--color=" + raw, "exec", "rec.der"}; },
         [](const std::string& shown) {
             return "option '--color': invalid value '" + shown + "', expected one of 'auto', 'always' or 'never'";
         }},
        {"invalid KIND", [](const std::string& raw) { return std::vector<std::string>{raw, "rec.der"}; },
         [](const std::string& shown) {
             return "KIND argument: invalid value '" + shown + "', expected one of 'state', 'cmd', 'exec' or 'der'";
         }},
        {"unreadable file", [](const std::string& raw) { return std::vector<std::string>{"exec", raw}; },
         [](const std::string& shown) { return shown + ": Is a directory"; }, false, situation::prepare::directory},
    };
    for (const auto& s : situations) {
        for (const auto& t : test::all_texts()) {
            test::temp_dir dir;
            dir.file("rec.der", quarvel::asn::exec_to_str(small_record()));
            if (s.made == situation::prepare::directory) {
                ASSERT_EQ(::mkdir((dir.path + "/" + t.raw).c_str(), 0755), 0);
            }
            std::vector<std::string> argv{tool};
            for (auto& a : s.arguments(t.raw)) argv.push_back(std::move(a));
            test::run_options in_dir;
            in_dir.cwd = dir.path;
            const auto r = test::run(argv, in_dir);
            const std::string context = s.what + ", " + t.what;
            EXPECT_EQ(r.status, 124) << context;
            const std::string dumped =
                s.in_place ? "==> rec.der <==\n" + test::run({tool, "exec", dir.path + "/rec.der"}).out + "\n==> " +
                                 t.shown + " <==\n"
                           : "";
            EXPECT_EQ(r.out, dumped) << context;
            EXPECT_EQ(test::terminal_hazard(r.out), "") << context;
            EXPECT_EQ(r.err, (s.usage ? usage : "") + cli::message_line("quarvel-dump", s.message(t.shown)) + "\n")
                << context;
            EXPECT_EQ(test::terminal_hazard(r.err), "") << context;
        }
    }
}

// A decoder's message that quotes the input: the text of a malformed time, in a record and in a command.
TEST(HostileText, DecoderMessagesQuotingTheInput) {
    quarvel::cmd reschedule{quarvel::cmd::Reschedule{"n", {1'704'164'645, 123'456'789}, std::nullopt}};
    // Each with where the time lies, after the decoder's message.
    const std::vector<std::tuple<std::string, std::string, std::string>> inputs{
        {"exec", quarvel::asn::exec_to_str(small_record()), " at offset 50 (record > timestamps > started)"},
        {"cmd", quarvel::asn::cmd_to_str(reschedule), " at offset 7 (command > next)"},
    };
    test::temp_dir dir;
    for (const auto& [kind, der, where] : inputs) {
        // The time as written, to the millisecond: 19 octets, room for "2024" and each text of the tables.
        ASSERT_NE(der.find("\x18\x13" "20240102030405.123Z"), std::string::npos) << kind;
        for (const auto& t : test::all_texts()) {
            const std::string bytes = test::with_time_text(der, "2024" + t.raw);
            ASSERT_NE(bytes, "") << kind << ", " << t.what;
            const std::string shown_time = "2024" + test::shown_in_message(t) + std::string(19 - 4 - t.raw.size(), 'Z');
            const auto r = test::run({tool, kind, dir.file("bad.der", bytes)});
            const std::string context = kind + ", " + t.what;
            EXPECT_EQ(r.status, 124) << context;
            EXPECT_EQ(r.out, "") << context;
            EXPECT_EQ(r.err, cli::message_line("quarvel-dump", "GeneralizedTime: invalid format: " + shown_time + where) + "\n")
                << context;
            EXPECT_EQ(test::terminal_hazard(r.err), "") << context;
        }
    }
}

}  // namespace
