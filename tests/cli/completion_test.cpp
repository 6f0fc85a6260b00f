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
#include "log_output/logging_options.hpp"
#include "support/process.hpp"
#include "terminal.hpp"

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
    io.write_out = [&c](std::string_view s) {
        c.out += s;
        return 0;
    };
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
        log_output::declare_logging_options(cmd);
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
        // A group ending in an option that takes a value gives it the next word, as the reader does.
        {{"-qo", "sub"}, ":8\n"},
        {{"-qo", "sub", "st"}, "state\n:0\n"},
        // A whole long name that needs a value goes on with "=" and no space; a flag, an optional value and
        // a short name stay as they are.
        {{"--color"}, "--color=\tColorize the output.\n:2\n"},
        {{"-q", "--output"}, "--output=\tInto DIR.\n:2\n"},
        {{"--name"}, "--name=\tAny name.\n:2\n"},
        {{"--help"}, "--help\tShow this help in format FMT.\n:0\n"},
        {{"--json"}, "--json\tWrite JSON.\n:0\n"},
        {{"-o"}, "-o\tInto DIR.\n:0\n"},
        // A word that is an option is not a value, as the reader has it; after "=" a value may begin with "-".
        {{"--output", "--na"}, "--name\tAny name.\n:0\n"},
        {{"--color", "-"}, ":0\n"},
        {{"--output=-d"}, ":8\n"},
        {{"state", "--", "-d"}, ":4\n"},
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

// A repeatable positional argument completes every word from its place on, as its conversion says.
TEST(Completion, ARepeatablePositionalCompletesEveryWordFromItsPlaceOn) {
    cli::command cmd;
    cmd.name = "tool";
    cli::add(cmd, cli::positional(0, "KIND", "The kind.", cli::enumeration({"state", "cmd"}), true));
    cli::add(cmd, cli::repeatable_positional(1, "FILE", "The files.", cli::existing_file_or_stdin(), true));
    cli::add(cmd, cli::option({"-o"}, "DIR", "Into $(docv).", cli::existing_directory()));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"st"}, "state\n:0\n"},
        {{"state", ""}, ":4\n"},
        {{"state", "a", ""}, ":4\n"},
        {{"state", "a", "-", "b", "c"}, ":4\n"},
        {{"state", "a", "-o", "d", "b"}, ":4\n"},
        {{"state", "a", "-o", ""}, ":8\n"},
        {{"state", "a", "--", "b", "-x"}, ":4\n"},
        {{"state", "a", "-"}, "-o\tInto DIR.\n--help\tShow this help in format FMT.\n:0\n"},
    };
    for (const auto& [words, answer] : cases) {
        SCOPED_TRACE(testing::PrintToString(words));
        std::vector<std::string> args{"--__complete=1"};
        args.insert(args.end(), words.begin(), words.end());
        const auto r = evaluate(cmd, args, nullptr);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, answer);
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
        {QUARVEL_DUMP_BINARY, {""}, "state\ncmd\nexec\nder\n:0\n"},
        {QUARVEL_DUMP_BINARY, {"--framed", "c"}, "cmd\n:0\n"},
        {QUARVEL_DUMP_BINARY, {"exec", "sam"}, ":4\n"},
        {QUARVEL_DUMP_BINARY, {"exec", "a.der", "-", "sam"}, ":4\n"},
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
        {"quarvel-dump", {"exec", "sample.txt", "-", "sam"}, "sample.txt\nsamples\n"},
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
        {"quarvel-dump", "quarvel-dump state samples/a.der sam", "samples/\n"},
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
        {"quarvel-dump exec samples/a.der sam", "quarvel-dump exec samples/a.der samples/"},
    };
    for (const auto& c : cases) {
        const auto r = test::run({"/usr/bin/timeout", "20", "/usr/bin/zsh", "-f", "-c", zsh_driver, "zsh",
                                  tree.share() + "/zsh/site-functions", c.line, c.completed},
                                 tree.options(work.path));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "completed\n") << c.line;
    }
}

// Each shell as a user has it, in a pseudo-terminal: a partial line is typed, then a tab, then a key bound
// to print the line the shell holds now, "LINE<...>END" (bash also prints what the registered function
// replied, "REPLY<a|b>END"). The shells split the words themselves: "=" and ":" as bash's COMP_WORDBREAKS
// has them, quotes, backslashes and "~".
struct shell {
    std::string name, program;
    std::vector<std::string> options;
    std::string setup;  // sourced first; it prints READY at its end
};

const std::vector<shell> shells{
    {"bash", "/bin/bash", {"--norc", "--noprofile", "-i"}, R"(PS1='> '
bind 'set bell-style none'
source "$SHARE/bash-completion/completions/quarvel-dump"
source "$SHARE/bash-completion/completions/quarvel-inspect"
# The registered function, wrapped to keep its reply.
registered=$(complete -p quarvel-dump)
registered=${registered#*-F }
registered=${registered%% *}
kept() {
    "$registered" "$@"
    replied=("${COMPREPLY[@]}")
}
complete -F kept quarvel-dump quarvel-inspect
show() {
    local IFS='|'
    printf 'LINE<%s>END REPLY<%s>END\n' "$READLINE_LINE" "${replied[*]}"
    replied=()
}
bind -x '"\C-t": show'
echo READY
)"},
    {"zsh", "/usr/bin/zsh", {"-f", "-i"}, R"(PS1='> '
fpath=($SHARE/zsh/site-functions $fpath)
autoload -U compinit && compinit -u
show() {
    print -r -- ''
    print -r -- "LINE<$BUFFER>END"
}
zle -N show
bindkey '^T' show
print READY
)"},
    {"fish", "/usr/bin/fish", {"--no-config", "-i"}, R"(source $SHARE/fish/vendor_completions.d/quarvel-dump.fish
source $SHARE/fish/vendor_completions.d/quarvel-inspect.fish
bind \ct 'echo; echo LINE\<(commandline)\>END'
echo READY
)"},
};

// Files and directories whose names need care: spaces, quotes, ":" and a leading "-".
struct tricky_tree {
    test::temp_dir work, home;
    tricky_tree() {
        for (const char* name : {"samples/a.der", "my dir/.keep", "x:dir/.keep", "-ddir/.keep", "-dash.der", "a b.der",
                                 "x:y.der", "it's.der"})
            work.file(name, "");
        home.file("notes.der", "");
        home.file("docs/.keep", "");
    }
};

struct typed_line {
    std::string typed;
    std::string completed;                           // the line after one tab, in every shell,
    std::map<std::string, std::string> otherwise{};  // unless the shell has it otherwise
    std::string replied{};                           // bash: what the function replied, "|" between
};

class CompletionInATerminal : public testing::TestWithParam<shell> {};

TEST_P(CompletionInATerminal, OneTabCompletesTheLine) {
    const installed_tree tree;
    ASSERT_TRUE(tree.ok);
    const tricky_tree files;
    const std::vector<typed_line> cases{
        // An option that needs a value is completed with "=" and no space; an optional value's is whole.
        {"quarvel-dump --col", "quarvel-dump --color=", {}, "--color="},
        {"quarvel-inspect --outp", "quarvel-inspect --output=", {}, "--output="},
        {"quarvel-dump --he", "quarvel-dump --help ", {}, "--help"},
        // Values after "=", empty ones included, and in the next word.
        {"quarvel-dump --color=", "quarvel-dump --color=", {}, "auto|always|never"},
        {"quarvel-dump --color=al", "quarvel-dump --color=always ", {}, "always"},
        {"quarvel-dump --verbosity d", "quarvel-dump --verbosity debug ", {}, "debug"},
        {"quarvel-inspect --output=", "quarvel-inspect --output=", {}, "-ddir|my dir|samples|x:dir"},
        {"quarvel-inspect --output=sam", "quarvel-inspect --output=samples/", {}, "samples"},
        {"quarvel-dump --json ", "quarvel-dump --json ", {}, "state|cmd|exec|der"},
        // Names with ":", spaces, quotes, "~" and a leading "-".
        {"quarvel-dump exec x:y", "quarvel-dump exec x:y.der ", {}, "y.der"},
        {"quarvel-dump exec x:", "quarvel-dump exec x:", {}, "dir/|y.der"},
        {"quarvel-inspect --output=x:d", "quarvel-inspect --output=x:dir/", {}, "dir/"},
        {"quarvel-dump exec \"x:y", "quarvel-dump exec \"x:y.der\" ", {}, "x:y.der"},
        {"quarvel-dump exec a\\ ", "quarvel-dump exec a\\ b.der ", {}, "a b.der"},
        {"quarvel-dump exec \"a", "quarvel-dump exec \"a b.der\" ", {}, "a b.der"},
        {"quarvel-dump exec 'a", "quarvel-dump exec 'a b.der' ", {}, "a b.der"},
        {"quarvel-dump exec it", "quarvel-dump exec it\\'s.der ", {}, "it's.der"},
        {"quarvel-inspect --output my\\ ", "quarvel-inspect --output my\\ dir/", {}, "my dir"},
        {"quarvel-inspect --output=\"my", "quarvel-inspect --output=\"my dir\"/",
         {{"zsh", "quarvel-inspect --output=my\\ dir/"}, {"fish", "quarvel-inspect --output=\"my dir/"}}, "my dir"},
        {"quarvel-dump exec ~/n", "quarvel-dump exec ~/notes.der ", {}, "~/notes.der"},
        {"quarvel-inspect --output ~/d", "quarvel-inspect --output ~/docs/", {}, "~/docs"},
        {"quarvel-inspect --output=-d", "quarvel-inspect --output=-ddir/", {}, "-ddir"},
        {"quarvel-dump exec -- -da", "quarvel-dump exec -- -dash.der ", {}, "-dash.der"},
        // Every FILE after KIND, the first and those after it alike.
        {"quarvel-dump exec x:y.der a\\ ", "quarvel-dump exec x:y.der a\\ b.der ", {}, "a b.der"},
        {"quarvel-dump --json exec a\\ b.der - ~/n", "quarvel-dump --json exec a\\ b.der - ~/notes.der ", {},
         "~/notes.der"},
        {"quarvel-dump exec -- -dash.der x:y", "quarvel-dump exec -- -dash.der x:y.der ", {}, "y.der"},
        // Without "--" a word starting with "-" is an option, not a file.
        {"quarvel-dump exec -da", "quarvel-dump exec -da", {}, ""},
    };
    const shell& sh = GetParam();
    if (!std::filesystem::exists(sh.program)) GTEST_SKIP() << "no " << sh.name;
    const std::string setup = files.home.file("setup." + sh.name, sh.setup);
    std::vector<std::string> argv{sh.program};
    argv.insert(argv.end(), sh.options.begin(), sh.options.end());
    test::terminal t(argv,
                     {"PATH=" + tree.bin() + ":/usr/bin:/bin", "HOME=" + files.home.path, "TERM=dumb",
                      "INPUTRC=/dev/null", "SHARE=" + tree.share()},
                     files.work.path);
    ASSERT_TRUE(t.started());
    t.type("source '" + setup + "'\r");
    ASSERT_TRUE(t.read_through("READY\r\n")) << sh.name << " did not start";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        t.type(c.typed + "\t\x14");
        ASSERT_TRUE(t.read_through("LINE<"));
        const auto line = t.read_through(">END");
        ASSERT_TRUE(line);
        const auto other = c.otherwise.find(sh.name);
        EXPECT_EQ(*line, other == c.otherwise.end() ? c.completed : other->second);
        if (sh.name == "bash") {
            ASSERT_TRUE(t.read_through("REPLY<"));
            EXPECT_EQ(t.read_through(">END"), c.replied);
        }
        t.type("\x15");  // the line is emptied for the next case
    }
}

INSTANTIATE_TEST_SUITE_P(Shells, CompletionInATerminal, testing::ValuesIn(shells),
                         [](const testing::TestParamInfo<shell>& info) { return info.param.name; });

struct offered {
    std::string typed;
    std::string fish;              // complete -C, exactly
    std::vector<std::string> zsh;  // each in the list zsh shows when one tab cannot choose
};

const std::vector<offered> offered_candidates{
    {"quarvel-dump --col", "--color=\tColorize the output.\n", {}},
    {"quarvel-dump --color=", "--color=always\n--color=auto\n--color=never\n",
     {"--color=always", "--color=auto", "--color=never"}},
    {"quarvel-inspect --output=", "--output=my dir/\n--output=samples/\n--output=x:dir/\n--output=-ddir/\n",
     {"-ddir/", "my\\ dir/", "samples/", "x:dir/"}},
    {"quarvel-dump --json ", "cmd\nder\nexec\nstate\n", {"cmd", "der", "exec", "state"}},
    {"quarvel-dump exec x:y", "x:y.der\n", {}},
    {"quarvel-dump exec ~/n", "~/notes.der\n", {}},
    {"quarvel-dump exec -- -d", "-dash.der\n-ddir/\n", {"-dash.der", "-ddir/"}},
    {"quarvel-dump exec -da", "", {}},
};

TEST(Completion, FishOffersTheCandidates) {
    if (!std::filesystem::exists("/usr/bin/fish")) GTEST_SKIP() << "no fish";
    const installed_tree tree;
    ASSERT_TRUE(tree.ok);
    const tricky_tree files;
    const std::string script = tree.share() + "/fish/vendor_completions.d/";
    for (const auto& c : offered_candidates) {
        SCOPED_TRACE(c.typed);
        auto options = tree.options(files.work.path);
        options.env["HOME"] = files.home.path;
        const std::string tool = c.typed.substr(0, c.typed.find(' '));
        const auto r = test::run({"/usr/bin/fish", "--no-config", "-c", "source $argv[1]; complete -C $argv[2]",
                                  script + tool + ".fish", c.typed},
                                 options);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.fish);
    }
}

TEST(Completion, ZshListsTheCandidates) {
    const shell& zsh = shells[1];
    if (!std::filesystem::exists(zsh.program)) GTEST_SKIP() << "no zsh";
    const installed_tree tree;
    ASSERT_TRUE(tree.ok);
    const tricky_tree files;
    const std::string setup = files.home.file("setup.zsh", zsh.setup);
    test::terminal t({zsh.program, "-f", "-i"},
                     {"PATH=" + tree.bin() + ":/usr/bin:/bin", "HOME=" + files.home.path, "TERM=dumb",
                      "SHARE=" + tree.share()},
                     files.work.path);
    t.type("source '" + setup + "'\r");
    ASSERT_TRUE(t.read_through("READY\r\n"));
    for (const auto& c : offered_candidates) {
        if (c.zsh.empty()) continue;
        SCOPED_TRACE(c.typed);
        t.type(c.typed + "\t\x14");
        const auto shown = t.read_through("LINE<");
        ASSERT_TRUE(shown);
        ASSERT_TRUE(t.read_through(">END"));
        for (const auto& candidate : c.zsh) EXPECT_NE(shown->find(candidate), std::string::npos) << *shown;
        t.type("\x15");
    }
}

}  // namespace
