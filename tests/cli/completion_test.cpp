// Shell completion: the layer's answers to completion queries, in process (a table of partial words and
// the candidates they get) and from the built tools, and the installed scripts driven by real shells.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/completion.hpp"
#include "cli/converters.hpp"
#include "cli/eval.hpp"
#include "cli/logging_options.hpp"
#include "support/process.hpp"

namespace {

struct captured {
    int status = -1;
    std::string out, err;
};

captured evaluate(const cli::command& cmd, std::vector<std::string> args, const cli::run_function& run) {
    captured c;
    cli::process_io io;
    io.arguments = std::move(args);
    io.arguments.insert(io.arguments.begin(), cmd.name);
    io.environment = [](const std::string& name) -> std::optional<std::string> {
        if (name == "TERM") return "xterm";
        return std::nullopt;
    };
    io.write_out = [&c](std::string_view s) { c.out += s; };
    io.write_err = [&c](std::string_view s) { c.err += s; };
    c.status = cli::eval(cmd, run, io);
    return c;
}

// A tool declared as the real ones are: logging options, an enumeration and a file positional, a flag,
// a directory option.
struct example_tool {
    cli::command cmd;
    example_tool() {
        cmd.name = "tool";
        cmd.version = "v1";
        cli::declare_logging_options(cmd);
        cli::add(cmd, cli::positional(0, "KIND", "The kind. More text.", cli::enumeration({"state", "cmd", "exec"}),
                                      true));
        cli::add(cmd, cli::positional(1, "FILE", "The file.", cli::existing_file_or_stdin(), true));
        cli::add(cmd, cli::flag({"-j", "--json"}, "Write $(b,JSON)."));
        cli::add(cmd, cli::option({"-o", "--output"}, "DIR", "Into $(docv).", cli::existing_directory()));
        cli::add(cmd, cli::option({"--name"}, "NAME", "Any name.", cli::any_text()));
    }
};

TEST(Completion, TableOfPartialWordsAndTheirCandidates) {
    const example_tool t;
    struct case_ {
        std::vector<std::string> words;  // after --__complete=1; the last is the word under the cursor
        std::string answer;
    };
    const std::vector<case_> cases{
        {{"--c"}, "--color\tColorize the output.\n:0\n"},
        {{"--v"}, "--verbosity\tBe more or less verbose.\n--verbose\tIncrease verbosity.\n--version\tShow version information.\n:0\n"},
        {{"-"}, "--color\tColorize the output.\n-q\tBe quiet.\n--quiet\tBe quiet.\n--verbosity\tBe more or less "
                "verbose.\n-v\tIncrease verbosity.\n--verbose\t"
                "Increase verbosity.\n-j\tWrite JSON.\n--json\t"
                "Write JSON.\n-o\tInto DIR.\n--output\tInto DIR.\n--name\tAny name.\n--help\tShow this help in "
                "format FMT.\n--version\tShow version information.\n:0\n"},
        {{"--he"}, "--help\tShow this help in format FMT.\n:0\n"},
        {{"--x"}, ":0\n"},
        // Enumeration values, after "=" or in the next word; a key given twice is offered once.
        {{"--color="}, "--color=auto\n--color=always\n--color=never\n:0\n"},
        {{"--color=a"}, "--color=auto\n--color=always\n:0\n"},
        {{"--color", "n"}, "never\n:0\n"},
        {{"--verbosity", ""}, "warning\nquiet\nerror\ninfo\ndebug\n:0\n"},
        {{"--help="}, "--help=auto\n--help=pager\n--help=groff\n--help=plain\n:0\n"},
        {{"--help", "g"}, "groff\n:0\n"},
        // An optional value is not taken from an option: what follows is an option name.
        {{"--help", "--ver"}, "--verbosity\tBe more or less verbose.\n--verbose\tIncrease verbosity.\n--version\tShow version information.\n:0\n"},
        // Positional arguments by their conversion: keys, then files.
        {{""}, "state\ncmd\nexec\n:0\n"},
        {{"st"}, "state\n:0\n"},
        {{"-q", "--color", "never", "e"}, "exec\n:0\n"},
        {{"state", ""}, ":4\n"},
        {{"state", "x", ""}, ":0\n"},
        {{"--", "-"}, ":0\n"},
        {{"--", "state", "--j"}, ":4\n"},
        // Directories for a directory, nothing for any text.
        {{"--output", ""}, ":8\n"},
        {{"-o", "sub"}, ":8\n"},
        {{"--output=sub"}, ":8\n"},
        {{"--name", ""}, ":0\n"},
        {{"-ojunk", "st"}, "state\n:0\n"},
        {{"-qv", "-j", "c"}, "cmd\n:0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words));
        std::vector<std::string> args{"--__complete=1"};
        args.insert(args.end(), c.words.begin(), c.words.end());
        bool ran = false;
        const auto r = evaluate(t.cmd, args, [&](const cli::values&) -> quarvel::result<void> {
            ran = true;
            return {};
        });
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.answer);
        EXPECT_EQ(r.err, "");
        EXPECT_FALSE(ran);
    }
}

// A query runs nothing and shows no manual, whatever the words hold, and exits with 0.
TEST(Completion, AQueryNeverRunsTheActionNorShowsTheManual) {
    const example_tool t;
    const std::vector<std::vector<std::string>> cases{
        {"--__complete=1", "--help", "state", "x", ""},
        {"--__complete=1", "--version", ""},
        {"--__complete=1", "--bogus", "--json", "--json", ""},
        {"--__complete=1"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        bool ran = false;
        const auto r = evaluate(t.cmd, args, [&](const cli::values&) -> quarvel::result<void> {
            ran = true;
            return {};
        });
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_FALSE(ran);
        EXPECT_EQ(r.out.find("NAME"), std::string::npos);
        EXPECT_EQ(r.out.find("v1"), std::string::npos);
        EXPECT_TRUE(r.out.ends_with(":0\n") || r.out.ends_with(":1\n") || r.out.ends_with(":4\n")) << r.out;
    }
    // No word at all, not even an empty CURRENT: a malformed query.
    EXPECT_EQ(evaluate(t.cmd, {"--__complete=1"}, nullptr).out, ":1\n");
}

// Only "--__complete=1" first on the line is a query; the other reserved arguments are unknown options.
TEST(Completion, OtherReservedArgumentsAreUnknownOptions) {
    const example_tool t;
    for (const auto& args : std::vector<std::vector<std::string>>{{"--__complete=2", "--c"},
                                                                   {"state", "--__complete=1", "--c"}}) {
        const auto r = evaluate(t.cmd, args, nullptr);
        EXPECT_EQ(r.status, 124);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(r.err.ends_with("tool: \x1b[31munknown\x1b[m option \x1b[01m--__complete\x1b[m\n")) << r.err;
    }
}

TEST(Completion, TheToolsAnswerFromTheirDeclarations) {
    struct case_ {
        std::string tool;
        std::vector<std::string> words;
        std::string answer;
    };
    const std::vector<case_> cases{
        {QUARVEL_INSPECT_BINARY, {"--jo"}, "--job\tPrint job information\n:0\n"},
        {QUARVEL_INSPECT_BINARY, {"--co"}, "--color\tColorize the output.\n--console\tPrint console output\n:0\n"},
        {QUARVEL_INSPECT_BINARY, {"--output", "x"}, ":8\n"},
        {QUARVEL_INSPECT_BINARY, {""}, ":4\n"},
        {QUARVEL_INSPECT_BINARY, {"--color=n"}, "--color=never\n:0\n"},
        {QUARVEL_DUMP_BINARY, {""}, "state\ncmd\nexec\n:0\n"},
        {QUARVEL_DUMP_BINARY, {"--framed", "c"}, "cmd\n:0\n"},
        {QUARVEL_DUMP_BINARY, {"exec", "sam"}, ":4\n"},
        {QUARVEL_DUMP_BINARY, {"--js"}, "--json\tWrite the decoded value as one line of JSON instead of its text "
                                        "form (see JSON OUTPUT).\n:0\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{c.tool, "--__complete=1"};
        argv.insert(argv.end(), c.words.begin(), c.words.end());
        const auto r = test::run(argv);
        EXPECT_EQ(r.status, 0) << c.tool;
        EXPECT_EQ(r.out, c.answer) << testing::PrintToString(c.words);
        EXPECT_EQ(r.err, "");
    }
}

// The scripts as a user gets them: installed below a prefix, the tools on PATH.
struct installed_tree {
    test::temp_dir dir;
    bool ok = false;
    std::string bin() const { return dir.path + "/bin"; }
    std::string share() const { return dir.path + "/share"; }
    installed_tree() {
        const auto r = test::run({QUARVEL_CMAKE_COMMAND, "--install", QUARVEL_BUILD_DIR, "--prefix", dir.path});
        ok = r.status == 0;
        EXPECT_TRUE(ok) << r.out << r.err;
    }
    test::run_options options(const std::string& cwd) const {
        test::run_options o;
        o.env["PATH"] = bin() + ":/usr/bin:/bin";
        o.cwd = cwd;
        return o;
    }
};

// Completes the last word of `words` as bash does on a tab: COMP_WORDS split at "=" as bash splits them.
const char* const bash_driver = R"(
source "$0"
COMP_WORDS=("$@")
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
COMP_LINE="${COMP_WORDS[*]}"
COMP_POINT=${#COMP_LINE}
registration=$(complete -p "$1") || exit 3
function=${registration#*-F }
function=${function%% *}
"$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
printf '%s\n' "${COMPREPLY[@]}"
)";

TEST(Completion, TheInstalledBashScriptCompletesInARealBash) {
    if (!std::filesystem::exists("/bin/bash")) GTEST_SKIP() << "no bash";
    const installed_tree tree;
    ASSERT_TRUE(tree.ok);
    test::temp_dir work;
    work.file("samples/a.der", "");
    work.file("sample.txt", "");
    struct case_ {
        std::string tool;
        std::vector<std::string> words;
        std::string completed;
    };
    const std::vector<case_> cases{
        {"quarvel-dump", {"--fr"}, "--framed\n"},
        {"quarvel-dump", {"--re"}, "--reencode\n"},
        {"quarvel-inspect", {"--jo"}, "--job\n"},
        // In the order of the declarations.
        {"quarvel-inspect", {"-"}, "--color\n-q\n--quiet\n--verbosity\n-v\n--verbose\n--console\n--script\n--output\n"
                                   "--job\n--help\n--version\n"},
        {"quarvel-dump", {"--color", "=", "al"}, "always\n"},
        {"quarvel-dump", {"--verbosity", "de"}, "debug\n"},
        {"quarvel-dump", {"e"}, "exec\n"},
        {"quarvel-dump", {"exec", "sam"}, "sample.txt\nsamples\n"},
        {"quarvel-inspect", {"--output", "sam"}, "samples\n"},
        {"quarvel-inspect", {"--output", "=", "sam"}, "samples\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{"/bin/bash", "-c", bash_driver,
                                      tree.share() + "/bash-completion/completions/" + c.tool, c.tool};
        argv.insert(argv.end(), c.words.begin(), c.words.end());
        const auto r = test::run(argv, tree.options(work.path));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.completed) << c.tool << " " << testing::PrintToString(c.words);
    }
}

TEST(Completion, TheInstalledFishScriptCompletes) {
    if (!std::filesystem::exists("/usr/bin/fish")) GTEST_SKIP() << "no fish";
    const installed_tree tree;
    ASSERT_TRUE(tree.ok);
    test::temp_dir work;
    work.file("samples/a.der", "");
    const std::string script = tree.share() + "/fish/vendor_completions.d/";
    struct case_ {
        std::string tool, line, completed;
    };
    const std::vector<case_> cases{
        {"quarvel-dump", "quarvel-dump --re",
         "--reencode\tWrite the decoded value encoded again, byte for byte in the current form, instead of its "
         "text form.\n"},
        {"quarvel-dump", "quarvel-dump --color=ne", "--color=never\n"},
        {"quarvel-dump", "quarvel-dump state sam", "samples/\n"},
        {"quarvel-inspect", "quarvel-inspect --output=sam", "--output=samples/\n"},
    };
    for (const auto& c : cases) {
        const auto r = test::run({"/usr/bin/fish", "--no-config", "-c", "source $argv[1]; complete -C $argv[2]",
                                  script + c.tool + ".fish", c.line},
                                 tree.options(work.path));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.completed) << c.line;
    }
}

// zsh completes only in an interactive shell: one runs in a pseudo-terminal, a partial line and a tab are
// typed, and the line must come back completed.
const char* const zsh_driver = R"(
zmodload zsh/zpty || exit 3
zpty z zsh -f -i
zpty -w z "fpath=($1 \$fpath); autoload -U compinit; compinit -u; PS1='> '"
zpty -w z "print RE''ADY"
zpty -r z out '*READY*'
zpty -n -w z "$2"$'\t'
zpty -r z out "*$3*" && print completed
zpty -d z
)";

TEST(Completion, TheInstalledZshScriptCompletes) {
    if (!std::filesystem::exists("/usr/bin/zsh") || !std::filesystem::exists("/usr/bin/timeout"))
        GTEST_SKIP() << "no zsh";
    const installed_tree tree;
    ASSERT_TRUE(tree.ok);
    test::temp_dir work;
    work.file("samples/a.der", "");
    struct case_ {
        std::string line, completed;
    };
    const std::vector<case_> cases{
        {"quarvel-dump --fr", "quarvel-dump --framed"},
        {"quarvel-dump --color=al", "quarvel-dump --color=always"},
        {"quarvel-inspect --jo", "quarvel-inspect --job"},
        {"quarvel-dump exec sam", "quarvel-dump exec samples/"},
    };
    for (const auto& c : cases) {
        const auto r = test::run({"/usr/bin/timeout", "20", "/usr/bin/zsh", "-f", "-c", zsh_driver, "zsh",
                                  tree.share() + "/zsh/site-functions", c.line, c.completed},
                                 tree.options(work.path));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "completed\n") << c.line;
    }
}

}  // namespace
