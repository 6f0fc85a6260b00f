// quarvel-inspect's command line seen from outside: messages on standard error, exit statuses, styling,
// prefixes, --help and --version.
#include <gtest/gtest.h>

#include <filesystem>

#include <quarvel/version.hpp>

#include "support/process.hpp"

namespace {

const std::string tool = QUARVEL_INSPECT_BINARY;
const std::string sample = std::string(QUARVEL_SOURCE_DIR) + "/samples/hello.der";
const std::string usage = "Usage: quarvel-inspect [--help] [OPTION]\u2026 FILE\n";
const std::string styled_usage =
    "Usage: \x1b[01mquarvel-inspect\x1b[m [\x1b[01m--help\x1b[m] [\x1b[04mOPTION\x1b[m]\u2026 \x1b[04mFILE\x1b[m\n";

// A working directory with a valid record "rec.der", a directory "out" and a plain file "plain.txt", so
// that messages hold short, fixed names.
struct workspace {
    test::temp_dir dir;
    workspace() {
        std::filesystem::copy_file(sample, dir.path + "/rec.der");
        std::filesystem::create_directory(dir.path + "/out");
        dir.file("plain.txt", "x");
    }
    test::outcome run(std::vector<std::string> args, std::map<std::string, std::optional<std::string>> env = {},
                      std::string input = {}) const {
        args.insert(args.begin(), tool);
        test::run_options options;
        options.cwd = dir.path;
        options.env = std::move(env);
        options.input = std::move(input);
        return test::run(args, options);
    }
};

struct error_case {
    std::vector<std::string> args;
    std::string message;  // after "quarvel-inspect: ", as laid out
};

TEST(InspectCommandLine, EveryCommandLineErrorPrintsTheUsageLineAndOneMessage) {
    const error_case cases[] = {
        {{}, "required argument FILE is missing"},
        {{"--job"}, "required argument FILE is missing"},
        {{"missing.der"}, "FILE argument: no 'missing.der' file or directory"},
        {{"rec.der", "extra"}, "too many arguments, don't know what to do with 'extra'"},
        {{"rec.der", "a", "b"}, "too many arguments, don't know what to do with 'a', 'b'"},
        {{"rec.der", "--", "-x"}, "too many arguments, don't know what to do with '-x'"},
        {{"--output"}, "option '--output' needs an argument"},
        {{"rec.der", "--output"}, "option '--output' needs an argument"},
        {{"--output", "--job", "rec.der"}, "option '--output' needs an argument"},
        {{"--output", "nothing", "rec.der"}, "option '--output': no 'nothing' directory"},
        {{"--output", "plain.txt", "rec.der"}, "option '--output': 'plain.txt' is not a directory"},
        {{"--output", "nothing"}, "required argument FILE is missing"},
        {{"--job=yes"}, "required argument FILE is missing"},
        {{"--output", "nothing", "missing.der"}, "FILE argument: no 'missing.der' file or directory"},
        {{"--jo", "rec.der"}, "unknown option '--jo'. Did you mean '--job'?"},
        {{"--consle", "rec.der"}, "unknown option '--consle'. Did you mean '--console'?"},
        {{"--q", "rec.der"}, "unknown option '--q'. Did you mean '-q'?"},
        {{"-output", "out", "rec.der"}, "unknown option '-o'. Did you mean '--output'?"},
        {{"--qv", "rec.der"}, "unknown option '--qv'. Did you mean either '-q' or '-v'?"},
        {{"-x", "rec.der"}, "unknown option '-x'"},
        {{"--zzzzzz", "rec.der"}, "unknown option '--zzzzzz'"},
        {{"--__complete=--j", "rec.der"}, "unknown option '--__complete'"},
        {{"--job", "--job", "rec.der"}, "option '--job' cannot be repeated"},
        {{"-qq", "rec.der"}, "option '-q' cannot be repeated"},
        {{"-q", "--quiet", "rec.der"}, "options '--quiet' and '-q' cannot be present at the same time"},
        {{"--quiet", "rec.der", "-q"}, "options '-q' and '--quiet' cannot be present at the same time"},
        {{"--job=yes", "rec.der"}, "option '--job' is a flag, it cannot take the argument 'yes'"},
        {{"--verbose=2", "rec.der"}, "option '--verbose' is a flag, it cannot take the argument '2'"},
        {{"--output=out", "--output=out", "rec.der"}, "option '--output' cannot be repeated"},
        {{"--verbosity=loud", "rec.der"},
         "option '--verbosity': invalid value 'loud', expected one of\n"
         "                 'warning', 'quiet', 'error', 'warning', 'info' or 'debug'"},
        {{"--verbosity", "deb", "rec.der"},
         "option '--verbosity': invalid value 'deb', expected one of\n"
         "                 'warning', 'quiet', 'error', 'warning', 'info' or 'debug'"},
        {{"--color=red", "rec.der"},
         "option '--color': invalid value 'red', expected one of\n"
         "                 'auto', 'always' or 'never'"},
        {{"--help=bad"},
         "option '--help': invalid value 'bad', expected one of 'auto',\n"
         "                 'pager', 'groff' or 'plain'"},
        {{"--help", "rec.der"},
         "option '--help': invalid value 'rec.der', expected one of\n"
         "                 'auto', 'pager', 'groff' or 'plain'"},
        // The first failing conversion in declaration order wins: --color before FILE, FILE before --output.
        {{"--color=red", "missing.der"},
         "option '--color': invalid value 'red', expected one of\n"
         "                 'auto', 'always' or 'never'"},
        {{"--job", "--job", "--output", "nothing", "rec.der"}, "option '--output': no 'nothing' directory"},
        // Reading errors come before conversions.
        {{"--jo", "missing.der"}, "unknown option '--jo'. Did you mean '--job'?"},
    };
    const workspace w;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto r = w.run(c.args);
        EXPECT_EQ(r.status, 124);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, usage + "quarvel-inspect: " + c.message + "\n");
    }
}

TEST(InspectCommandLine, ValidArgumentsReachTheRun) {
    const workspace w;
    const std::string job_line = "hello on debian-12-amd64\n";
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"rec.der"}, ""},
        {{"--job", "rec.der"}, job_line},
        {{"rec.der", "--job"}, job_line},
        {{"-vvv", "--job", "rec.der"}, job_line},
        {{"-qv", "--job", "rec.der"}, ""},
        {{"-v", "--verbose", "-v", "--job", "rec.der"}, job_line},
        {{"--verbosity=quiet", "--job", "rec.der"}, ""},
        {{"--verbosity", "quiet", "--job", "rec.der"}, ""},
        {{"--color", "never", "--job", "rec.der"}, job_line},
        {{"--output=out", "rec.der"}, ""},
        {{"--", "rec.der"}, ""},
        {{"--job", "-"}, job_line},
    };
    const std::string record = test::read_file(sample);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto r = w.run(c.args, {}, record);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, 0);
    }
}

TEST(InspectCommandLine, LegacyPrefixesAcceptUniquePrefixesOfNamesAndValues) {
    const workspace w;
    for (const char* on : {"1", "true", "YES", "y", "True"}) {
        SCOPED_TRACE(on);
        const auto r = w.run({"--jo", "--verbosity=inf", "rec.der"}, {{"QUARVEL_LEGACY_PREFIXES", on}});
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "hello on debian-12-amd64\n");
        EXPECT_EQ(r.status, 0);
    }
    for (const char* off : {"0", "no", "", "on"}) {
        SCOPED_TRACE(off);
        const auto r = w.run({"--jo", "rec.der"}, {{"QUARVEL_LEGACY_PREFIXES", off}});
        EXPECT_EQ(r.err, usage + "quarvel-inspect: unknown option '--jo'. Did you mean '--job'?\n");
        EXPECT_EQ(r.status, 124);
    }

    const std::map<std::string, std::optional<std::string>> legacy{{"QUARVEL_LEGACY_PREFIXES", "1"}};
    const error_case ambiguous[] = {
        {{"--co", "rec.der"}, "option '--co' ambiguous and could be either '--color' or\n"
                              "                 '--console'"},
        {{"--verb", "rec.der"}, "option '--verb' ambiguous and could be either '--verbose' or\n"
                                "                 '--verbosity'"},
        {{"--color=a", "rec.der"},
         "option '--color': ambiguous value 'a', could be either 'auto'\n"
         "                 or 'always'"},
        {{"--help=p"}, "option '--help': ambiguous value 'p', could be either 'pager'\n"
                       "                 or 'plain'"},
        // Short names are never prefixes.
        {{"-j", "rec.der"}, "unknown option '-j'"},
    };
    for (const auto& c : ambiguous) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto r = w.run(c.args, legacy);
        EXPECT_EQ(r.status, 124);
        EXPECT_EQ(r.err, usage + "quarvel-inspect: " + c.message + "\n");
    }
    // The duplicate "warning" key is one value, not an ambiguity.
    const auto warn = w.run({"--verbosity=warn", "--job", "rec.der"}, legacy);
    EXPECT_EQ(warn.status, 0);
    EXPECT_EQ(warn.out, "hello on debian-12-amd64\n");
}

TEST(InspectCommandLine, MessagesAreStyledWhenTermIsSetWhateverStandardErrorIs) {
    const workspace w;
    const auto repeated = w.run({"--job", "--job", "rec.der"}, {{"TERM", "xterm"}});
    EXPECT_EQ(repeated.err,
              styled_usage + "quarvel-inspect: option \x1b[01m--job\x1b[m \x1b[31mcannot be repeated\x1b[m\n");
    EXPECT_EQ(repeated.status, 124);

    const auto missing = w.run({}, {{"TERM", "xterm"}, {"NO_COLOR", ""}});
    EXPECT_EQ(missing.err,
              styled_usage + "quarvel-inspect: required argument \x1b[04mFILE\x1b[m is \x1b[31mmissing\x1b[m\n");

    const auto file = w.run({"missing.der"}, {{"TERM", "xterm"}});
    EXPECT_EQ(file.err, styled_usage +
                            "quarvel-inspect: \x1b[04mFILE\x1b[m argument: no \x1b[01mmissing.der\x1b[m file or "
                            "directory\n");

    const auto unknown = w.run({"--jo", "rec.der"}, {{"TERM", "xterm"}});
    EXPECT_EQ(unknown.err, styled_usage +
                               "quarvel-inspect: \x1b[31munknown\x1b[m option \x1b[01m--jo\x1b[m. Did you mean "
                               "\x1b[01m--job\x1b[m?\n");

    // --color does not style command-line messages.
    for (const auto& env : std::vector<std::map<std::string, std::optional<std::string>>>{
             {{"TERM", "xterm"}, {"NO_COLOR", "1"}}, {{"TERM", "dumb"}}, {}}) {
        const auto plain = w.run({"--color=always", "--job", "--job", "rec.der"}, env);
        EXPECT_EQ(plain.err, usage + "quarvel-inspect: option '--job' cannot be repeated\n");
    }
}

// Removes SGR escape sequences.
std::string unstyled(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\x1b') {
            while (i < text.size() && text[i] != 'm') ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

TEST(InspectCommandLine, EscapeSequencesTakeNoWidthInTheMessageBox) {
    const workspace w;
    const auto styled = w.run({"--verbosity=loud", "rec.der"}, {{"TERM", "xterm"}});
    const auto plain = w.run({"--verbosity=loud", "rec.der"});
    EXPECT_NE(styled.err, plain.err);
    // Styled, the quotation marks are gone and the lines break before the same words as plain.
    const std::string lines = unstyled(styled.err);
    EXPECT_EQ(lines.substr(lines.find('\n') + 1),
              "quarvel-inspect: option --verbosity: invalid value loud, expected one of\n"
              "                 warning, quiet, error, warning, info or debug\n");
}

TEST(InspectCommandLine, LongMessagesWrapAt78Columns) {
    const workspace w;
    std::vector<std::string> args{"rec.der"};
    for (int i = 0; i < 14; ++i) args.push_back("surplus-" + std::to_string(10 + i));
    const auto r = w.run(args);
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, usage +
                         "quarvel-inspect: too many arguments, don't know what to do with 'surplus-10',\n"
                         "                 'surplus-11', 'surplus-12', 'surplus-13', 'surplus-14',\n"
                         "                 'surplus-15', 'surplus-16', 'surplus-17', 'surplus-18',\n"
                         "                 'surplus-19', 'surplus-20', 'surplus-21', 'surplus-22',\n"
                         "                 'surplus-23'\n");
}

TEST(InspectCommandLine, RunErrorsHaveNoUsageLineAndAreLaidOutInTheBox) {
    const workspace w;
    const auto directory = w.run({"out"});
    EXPECT_EQ(directory.status, 124);
    EXPECT_EQ(directory.err, "quarvel-inspect: out: Is a directory\n");

    // The name is shown as a stored path would be: runs of "/" collapse, a leading "//" stays.
    const auto doubled = w.run({"--job", "//tmp//"});
    EXPECT_EQ(doubled.status, 124);
    EXPECT_EQ(doubled.out, "");
    EXPECT_EQ(doubled.err, "quarvel-inspect: //tmp/: Is a directory\n");

    // A long name wraps at its spaces like any message.
    const std::string name = "a file name with enough words in it to need a second line of the box.derd";
    std::filesystem::create_directory(w.dir.path + "/" + name);
    const auto long_one = w.run({name});
    EXPECT_EQ(long_one.err,
              "quarvel-inspect: a file name with enough words in it to need a second line of\n"
              "                 the box.derd: Is a directory\n");
}

TEST(InspectCommandLine, VersionPrintsTheLibraryVersionLine) {
    const workspace w;
    for (const auto& args : std::vector<std::vector<std::string>>{{"--version"}, {"--version", "--bogus"},
                                                                   {"missing.der", "--version", "x"}}) {
        const auto r = w.run(args);
        EXPECT_EQ(r.out, quarvel::version + "\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
    const auto with_value = w.run({"--version=1"});
    EXPECT_EQ(with_value.err,
              usage + "quarvel-inspect: option '--version' is a flag, it cannot take the argument '1'\n");
    EXPECT_EQ(with_value.status, 124);
}

const std::string plain_manual =
    "NAME\n"
    "       quarvel-inspect\n"
    "\n"
    "SYNOPSIS\n"
    "       quarvel-inspect [OPTION]\u2026 FILE\n"
    "\n"
    "ARGUMENTS\n"
    "       FILE (required)\n"
    "           The file name to inspect\n"
    "\n"
    "OPTIONS\n"
    "       --color=WHEN (absent=auto)\n"
    "           Colorize the output. WHEN must be one of auto, always or never.\n"
    "\n"
    "       --console\n"
    "           Print console output\n"
    "\n"
    "       --job\n"
    "           Print job information\n"
    "\n"
    "       --output=DIR\n"
    "           Output files into a directory\n"
    "\n"
    "       -q, --quiet\n"
    "           Be quiet. Takes over -v and --verbosity.\n"
    "\n"
    "       --script\n"
    "           Print script\n"
    "\n"
    "       -v, --verbose\n"
    "           Increase verbosity. Repeatable, but more than twice does not bring\n"
    "           more.\n"
    "\n"
    "       --verbosity=LEVEL (absent=warning)\n"
    "           Be more or less verbose. LEVEL must be one of quiet, error,\n"
    "           warning, info or debug. Takes over -v.\n"
    "\n"
    "COMMON OPTIONS\n"
    "       --help[=FMT] (default=auto)\n"
    "           Show this help in format FMT. The value FMT must be one of auto,\n"
    "           pager, groff or plain. With auto, the format is pager or plain\n"
    "           whenever the TERM env var is dumb or undefined.\n"
    "\n"
    "       --version\n"
    "           Show version information.\n"
    "\n"
    "EXIT STATUS\n"
    "       quarvel-inspect exits with:\n"
    "\n"
    "       0   on success.\n"
    "\n"
    "       123 on indiscriminate errors reported on standard error.\n"
    "\n"
    "       124 on command line parsing errors.\n"
    "\n"
    "       125 on unexpected internal errors (bugs).\n"
    "\n";

TEST(InspectManual, PlainManualWithTermUnset) {
    const workspace w;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"--help=plain"}, {"rec.der", "--help"}, {"--jo", "--help"}, {"a", "b", "--help"},
             {"--help", "--version"}, {"--version", "--help"}, {"--output", "--help"}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        const auto r = w.run(args);
        EXPECT_EQ(r.out, plain_manual);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

TEST(InspectManual, TermDumbMeansPlain) {
    const workspace w;
    const auto r = w.run({"--help"}, {{"TERM", "dumb"}, {"MANPAGER", "/bin/false"}});
    EXPECT_EQ(r.out, plain_manual);
    EXPECT_EQ(r.status, 0);
}

TEST(InspectManual, StyledPlainManualSetsTitlesAndNamesInBold) {
    const workspace w;
    const auto r = w.run({"--help=plain"}, {{"TERM", "xterm"}});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("\x1b[01mNAME\x1b[m\n       quarvel-inspect\n\n\x1b[01mSYNOPSIS\x1b[m\n"
                                  "       \x1b[01mquarvel-inspect\x1b[m [\x1b[04mOPTION\x1b[m]\u2026 "
                                  "\x1b[04mFILE\x1b[m\n"))
        << r.out;
    EXPECT_NE(r.out.find("       \x1b[01m-q\x1b[m, \x1b[01m--quiet\x1b[m\n"
                         "           Be quiet. Takes over \x1b[01m-v\x1b[m and \x1b[01m--verbosity\x1b[m.\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(unstyled(r.out), plain_manual);
}

TEST(InspectManual, GroffSourceRendersWithoutWarnings) {
    const workspace w;
    const auto r = w.run({"--help=groff"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.find(".TH \"QUARVEL\\-INSPECT\" 1") != std::string::npos) << r.out;
    EXPECT_NE(r.out.find(".SH \"SYNOPSIS\"\n\\fBquarvel\\-inspect\\fR [\\fIOPTION\\fR]\\[u2026] \\fIFILE\\fR\n"),
              std::string::npos);
    EXPECT_NE(r.out.find(".TP 4\n\\fB\\-\\-verbosity\\fR=\\fILEVEL\\fR (absent=warning)\n"), std::string::npos);
    if (std::system("command -v groff >/dev/null 2>&1") != 0) GTEST_SKIP() << "groff is not installed";
    const std::string page = w.dir.file("quarvel-inspect.1", r.out);
    test::run_options options;
    options.env = {{"PATH", "/usr/local/bin:/usr/bin:/bin"}};
    const auto rendered =
        test::run({"/bin/sh", "-c", "groff -man -Tutf8 -ww -P-c \"$0\" 2>&1 >/dev/null", page}, options);
    EXPECT_EQ(rendered.status, 0);
    EXPECT_EQ(rendered.out, "");
}

TEST(InspectManual, PagerGetsTheFormattedPageWithLessSetToFRX) {
    const workspace w;
    const std::string path = "/usr/local/bin:/usr/bin:/bin";
    // The pager sees LESS=FRX only when LESS is unset.
    const auto frx = w.run({"--help=pager"}, {{"PATH", path}, {"MANPAGER", "echo LESS=$LESS; cat >/dev/null"}});
    EXPECT_EQ(frx.out, "LESS=FRX\n");
    EXPECT_EQ(frx.status, 0);
    const auto own = w.run({"--help"}, {{"TERM", "xterm"}, {"PATH", path}, {"PAGER", "echo LESS=$LESS; cat >/dev/null"},
                                        {"LESS", "-S"}});
    EXPECT_EQ(own.out, "LESS=-S\n");
    // MANPAGER comes before PAGER; an empty value counts as unset.
    const auto order = w.run({"--help=pager"}, {{"PATH", path}, {"MANPAGER", "echo manpager; cat >/dev/null"},
                                                {"PAGER", "echo pager; cat >/dev/null"}});
    EXPECT_EQ(order.out, "manpager\n");
    const auto empty = w.run({"--help=pager"}, {{"PATH", path}, {"MANPAGER", ""},
                                                {"PAGER", "echo pager; cat >/dev/null"}});
    EXPECT_EQ(empty.out, "pager\n");

    if (std::system("command -v groff >/dev/null 2>&1") != 0) GTEST_SKIP() << "groff is not installed";
    const auto formatted = w.run({"--help=pager"}, {{"PATH", path}, {"MANPAGER", "cat"}});
    EXPECT_EQ(formatted.status, 0);
    EXPECT_TRUE(formatted.out.starts_with("QUARVEL-INSPECT(1)")) << formatted.out;
}

TEST(InspectManual, PagerFallsBackToPlainTextAndThenToStandardOutput) {
    const workspace w;
    // No formatter on the path: the plain text is paged.
    const auto unformatted = w.run({"--help=pager"}, {{"PATH", "/nonexistent"}, {"MANPAGER", "/bin/cat"}});
    EXPECT_EQ(unformatted.out, plain_manual);
    EXPECT_EQ(unformatted.status, 0);
    // Styled when the styling rule says so (auto with a TERM is the pager).
    const auto styled = w.run({"--help"}, {{"TERM", "xterm"}, {"PATH", "/nonexistent"}, {"MANPAGER", "/bin/cat"}});
    EXPECT_TRUE(styled.out.starts_with("\x1b[01mNAME\x1b[m\n")) << styled.out;
    // No pager at all: standard output.
    const auto no_pager = w.run({"--help=pager"}, {{"PATH", "/nonexistent"}});
    EXPECT_EQ(no_pager.out, plain_manual);
    EXPECT_EQ(no_pager.status, 0);
    // A pager that fails, for the formatted page and the plain text: standard output, status 0.
    const auto failing = w.run({"--help=pager"}, {{"PATH", "/usr/local/bin:/usr/bin:/bin"}, {"MANPAGER", "false"}});
    EXPECT_EQ(failing.out, plain_manual);
    EXPECT_EQ(failing.status, 0);
    // A pager that cannot be found is passed over.
    const auto missing = w.run({"--help=pager"}, {{"PATH", "/nonexistent"}, {"MANPAGER", "no-such-pager"},
                                                  {"PAGER", "/bin/cat"}});
    EXPECT_EQ(missing.out, plain_manual);
}

}  // namespace
