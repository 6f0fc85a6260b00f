// The manual where it is read: through the pager on a terminal, and as plain text wherever else standard
// output goes, so that "--help | grep" finds every line.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/pager.hpp"
#include "support/process.hpp"
#include "terminal.hpp"

namespace {

TEST(ManualOutput, TerminalStylingIsTakenOutOfTheFormattedPage) {
    const struct {
        std::string page, plain;
    } cases[] = {
        {"N\bNA\bAM\bME\bE\n", "NAME\n"},                             // bold
        {"_\bf_\bi_\bl_\be", "file"},                                 // underlined
        {"_\bX\bX", "X"},                                             // both
        {"\u2026\b\u2026 _\b\u00e9", "\u2026 \u00e9"},                // characters beyond ASCII
        {"\x1b[1mbold\x1b[0m and \x1b[4mul\x1b[24m", "bold and ul"},  // SGR
        {"\x1b]8;;man:q(1)\x1b\\link\x1b]8;;\x1b\\ \x1b]8;;x\alink", "link link"},  // OSC 8, ST or BEL
        {"plain text\n  as is\n", "plain text\n  as is\n"},
        {"\bcut\x1b", "cut"},
    };
    for (const auto& c : cases) EXPECT_EQ(cli::without_terminal_styling(c.page), c.plain) << c.page;
}

std::size_t occurrences(const std::string& text, const std::string& word) {
    std::size_t count = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + word.size())) ++count;
    return count;
}

bool groff_installed() { return std::system("command -v groff >/dev/null 2>&1") == 0; }

// With a TERM, --help pages the formatted page; into a pipe what comes out is plain text, every word of it
// as in the plain manual ("grep -c reencode" found one line of five when bold was overstruck).
TEST(ManualOutput, APipeGetsThePlainFormattedPage) {
    if (!groff_installed()) GTEST_SKIP() << "groff is not installed";
    const std::string path = "/usr/local/bin:/usr/bin:/bin";
    struct case_ {
        std::string tool, title, word;
        std::map<std::string, std::optional<std::string>> env;
    };
    std::vector<case_> cases{
        {QUARVEL_DUMP_BINARY, "QUARVEL-DUMP(1)", "reencode", {{"MANPAGER", "cat"}}},
        {QUARVEL_DUMP_BINARY, "QUARVEL-DUMP(1)", "reencode", {{"PAGER", "cat -u"}}},
        {QUARVEL_INSPECT_BINARY, "QUARVEL-INSPECT(1)", "verbos", {{"MANPAGER", "cat"}}},
    };
    if (std::filesystem::exists("/usr/bin/less"))  // the default pager, LESS=FRX: a pipe gets the page as is
        cases.push_back({QUARVEL_DUMP_BINARY, "QUARVEL-DUMP(1)", "reencode", {}});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool + " " + testing::PrintToString(c.env));
        test::run_options options;
        options.env = c.env;
        options.env["TERM"] = "xterm";
        options.env["PATH"] = path;
        const auto paged = test::run({c.tool, "--help"}, options);
        const auto plain = test::run({c.tool, "--help=plain"});
        EXPECT_EQ(paged.status, 0);
        EXPECT_TRUE(paged.out.starts_with(c.title)) << paged.out;
        EXPECT_EQ(paged.out.find('\b'), std::string::npos) << paged.out;
        EXPECT_EQ(paged.out.find('\x1b'), std::string::npos) << paged.out;
        EXPECT_EQ(occurrences(paged.out, c.word), occurrences(plain.out, c.word)) << paged.out;
        EXPECT_GE(occurrences(plain.out, c.word), 3u);
    }
}

// On a terminal the formatted page keeps its bold and underline.
TEST(ManualOutput, ATerminalGetsTheStyledFormattedPage) {
    if (!groff_installed()) GTEST_SKIP() << "groff is not installed";
    test::terminal t({QUARVEL_DUMP_BINARY, "--help"},
                     {"PATH=/usr/local/bin:/usr/bin:/bin", "TERM=xterm", "MANPAGER=cat"}, "/");
    ASSERT_TRUE(t.started());
    const std::string shown = t.read_to_end();
    EXPECT_NE(shown.find("QUARVEL-DUMP(1)"), std::string::npos) << shown;
    EXPECT_TRUE(shown.find('\b') != std::string::npos || shown.find("\x1b[") != std::string::npos) << shown;
}

// quarvel-dump's page says what the tool does: every failure ends with 124, 123 is never used.
TEST(ManualOutput, QuarvelDumpsExitStatusesAreWhatItDoes) {
    const auto manual = test::run({QUARVEL_DUMP_BINARY, "--help=plain"});
    EXPECT_NE(manual.out.find("EXIT STATUS\n"
                              "       quarvel-dump exits with:\n"
                              "\n"
                              "       0   on success.\n"
                              "\n"
                              "       124 on command line parsing errors, and on every failure of the run: a\n"
                              "           FILE that cannot be read or does not decode, a bad frame, binary\n"
                              "           data refused to a terminal, standard output that cannot be written.\n"
                              "\n"
                              "       125 on unexpected internal errors (bugs).\n"
                              "\n"
                              "JSON OUTPUT\n"),
              std::string::npos)
        << manual.out;

    test::temp_dir dir;
    const std::string corrupt = dir.file("corrupt.der", "\x30\x03\x02");
    const std::string sample = std::string(QUARVEL_SOURCE_DIR) + "/samples/state.der";
    const struct {
        std::string shell_command;  // $0 is the tool
        int status;
    } cases[] = {
        {"\"$0\" state '" + sample + "' >/dev/null", 0},
        {"\"$0\" --bogus state '" + sample + "'", 124},
        {"\"$0\" state '" + corrupt + "'", 124},
        {"\"$0\" state '" + dir.path + "'", 124},
        {"\"$0\" --framed cmd '" + corrupt + "'", 124},
        {"\"$0\" state '" + sample + "' >/dev/full", 124},
    };
    for (const auto& c : cases) {
        const auto r = test::run({"/bin/sh", "-c", c.shell_command, QUARVEL_DUMP_BINARY});
        EXPECT_EQ(r.status, c.status) << c.shell_command << "\n" << r.err;
    }
    test::terminal t({QUARVEL_DUMP_BINARY, "--reencode", "state", sample}, {"PATH=/usr/bin:/bin"}, "/");
    EXPECT_NE(t.read_to_end().find("refusing to write binary data to a terminal"), std::string::npos);
    EXPECT_EQ(t.finish(), 124);
}

// The man page's NAME line carries a description, which whatis and apropos read; the manual's NAME shows
// quarvel-inspect's name alone.
TEST(ManualOutput, ManPagesNameWhatTheToolsDo) {
    const struct {
        std::string tool, name_line, whatis;
    } cases[] = {
        {QUARVEL_INSPECT_BINARY, "quarvel\\-inspect \\- print and export what a job execution record holds",
         "quarvel-inspect - print and export what a job execution record holds"},
        {QUARVEL_DUMP_BINARY,
         "quarvel\\-dump \\- print and migrate job execution records, scheduler states and protocol commands",
         "quarvel-dump - print and migrate job execution records, scheduler states and protocol commands"},
    };
    const bool lexgrog = std::system("command -v lexgrog >/dev/null 2>&1") == 0;
    test::temp_dir dir;
    for (const auto& c : cases) {
        const auto groff = test::run({c.tool, "--help=groff"});
        EXPECT_NE(groff.out.find(".SH \"NAME\"\n" + c.name_line + "\n.SH \"SYNOPSIS\"\n"), std::string::npos)
            << groff.out;
        if (!lexgrog) continue;  // man-db's parser of NAME lines, as whatis and apropos read them
        const std::string page = dir.file("page.1", groff.out);
        EXPECT_EQ(test::run({"/bin/sh", "-c", "lexgrog \"$0\"", page}).out, page + ": \"" + c.whatis + "\"\n");
    }
    const auto plain = test::run({QUARVEL_INSPECT_BINARY, "--help=plain"});
    EXPECT_TRUE(plain.out.starts_with("NAME\n       quarvel-inspect\n\nSYNOPSIS\n")) << plain.out;
}

// The manual and the version line are standard output like any other: a full device or a file-size limit
// is a failure, said on standard error, never status 0 (SIGXFSZ at its default disposition, as a shell
// starts the tools).
TEST(ManualOutput, AFailedWriteOfTheManualOrTheVersionIsAFailure) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    struct sigaction former {}, default_action {};
    default_action.sa_handler = SIG_DFL;
    ASSERT_EQ(::sigaction(SIGXFSZ, &default_action, &former), 0);
    test::temp_dir dir;
    const std::string printed = dir.path + "/printed";
    for (const std::string tool : {QUARVEL_INSPECT_BINARY, QUARVEL_DUMP_BINARY}) {
        const std::string name = std::filesystem::path(tool).filename().string();
        for (const std::string option : {"--version", "--help=plain", "--help=groff"}) {
            const std::string what = name + " " + option;
            const auto full = test::run({"/bin/sh", "-c", "exec \"$0\" " + option + " >/dev/full", tool});
            EXPECT_EQ(full.status, 124) << what;
            EXPECT_EQ(full.err, name + ": standard output: No space left on device\n") << what;
            if (option == "--version") continue;  // shorter than any limit
            const auto limited =
                test::run({"/bin/sh", "-c", "ulimit -f 1; exec \"$0\" " + option + " >\"$1\"", tool, printed});
            EXPECT_EQ(limited.status, 124) << what;
            EXPECT_EQ(limited.err, name + ": standard output: File too large\n") << what;
            const auto whole = test::run({tool, option});
            EXPECT_EQ(whole.status, 0) << what;
            EXPECT_TRUE(whole.out.starts_with(test::read_file(printed))) << what;
        }
    }
    ::sigaction(SIGXFSZ, &former, nullptr);
}

}  // namespace
