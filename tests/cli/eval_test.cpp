// The generic command-line layer, evaluated in process: declarations a second tool uses (enumeration
// positional arguments, optional positional arguments, short options with values), checkpoints, the
// statuses of run errors and exceptions.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <new>
#include <stdexcept>

#include "cli/converters.hpp"
#include "cli/eval.hpp"
#include "log_output/logging_options.hpp"
#include "cli/manual.hpp"
#include "cli/matching.hpp"
#include "cli/rich_text.hpp"
#include "cli/named_command.hpp"
#include "support/process.hpp"

namespace {

using cli_test::named;

struct captured {
    int status = -1;
    std::string out, err;
};

// `out_error`: what every write to standard output fails with (0: they succeed).
captured evaluate(const cli::command& cmd, std::vector<std::string> args, const cli::run_function& run,
                  std::map<std::string, std::string> env = {}, int out_error = 0) {
    captured c;
    cli::process_io io;
    io.arguments = std::move(args);
    io.arguments.insert(io.arguments.begin(), "/some/where/" + cmd.name);
    io.environment = [env](const std::string& name) -> std::optional<std::string> {
        const auto it = env.find(name);
        if (it == env.end()) return std::nullopt;
        return it->second;
    };
    io.write_out = [&c, out_error](std::string_view s) {
        if (out_error == 0) c.out += s;
        return out_error;
    };
    io.write_err = [&c](std::string_view s) { c.err += s; };
    c.status = cli::eval(cmd, run, io);
    return c;
}

quarvel::result<void> success(const cli::values&) { return {}; }

// A command shaped like quarvel-dump: KIND FILE? with -r/--reencode and -o/--out DIR.
struct dump_like {
    cli::command cmd;
    cli::argument_id kind, file, reencode, out;
    dump_like() {
        cmd.name = "dump";
        cmd.version = "v1";
        cmd.description = "show a record";
        kind = cli::add(cmd, cli::positional(0, "KIND", "The kind: $(b,exec), $(b,state) or $(b,cmd).",
                                             cli::enumeration({"exec", "state", "cmd"}), true));
        file = cli::add(cmd, cli::positional(1, "FILE", "The file, $(b,-) for standard input.",
                                             cli::existing_file_or_stdin(), false));
        reencode = cli::add(cmd, cli::flag({"-r", "--reencode"}, "Encode again."));
        out = cli::add(cmd, cli::option({"-o", "--out"}, "DIR", "Write to $(docv).", cli::any_text()));
    }
};

const std::string dump_usage = "Usage: dump [--help] [-r, --reencode] [-o DIR, --out=DIR] [OPTION]\u2026 KIND [FILE]\n";

TEST(Layer, ValuesOfADumpLikeCommand) {
    const dump_like d;
    struct seen {
        std::optional<std::size_t> kind;
        std::optional<std::string> file, out;
        bool reencode = false;
    } s;
    const auto remember = [&](const cli::values& v) -> quarvel::result<void> {
        s = {v.choice(d.kind), v.text(d.file), v.text(d.out), v.flag(d.reencode)};
        return {};
    };
    const struct {
        std::vector<std::string> args;
        std::optional<std::size_t> kind;
        std::optional<std::string> file, out;
        bool reencode;
    } cases[] = {
        {{"state"}, 1, std::nullopt, std::nullopt, false},
        {{"cmd", "-", "--reencode"}, 2, "-", std::nullopt, true},
        {{"-rodir", "exec"}, 0, std::nullopt, "dir", true},
        {{"-o", "-", "exec"}, 0, std::nullopt, "-", false},
        {{"--out=", "exec"}, 0, std::nullopt, "", false},
        {{"--out", "a=b", "exec"}, 0, std::nullopt, "a=b", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        s = {};
        const auto r = evaluate(d.cmd, c.args, remember);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(s.kind, c.kind);
        EXPECT_EQ(s.file, c.file);
        EXPECT_EQ(s.out, c.out);
        EXPECT_EQ(s.reencode, c.reencode);
    }
}

TEST(Layer, ErrorsOfADumpLikeCommand) {
    const dump_like d;
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "required argument KIND is missing"},
        {{"record"}, "KIND argument: invalid value 'record', expected one of 'exec', 'state'\n"
                     "      or 'cmd'"},
        {{"exec", "/no/such/file"}, "FILE argument: no '/no/such/file' file or directory"},
        {{"exec", "-", "x"}, "too many arguments, don't know what to do with 'x'"},
        {{"-o"}, "option '-o' needs an argument"},
        {{"-r", "-r", "exec"}, "option '-r' cannot be repeated"},
        {{"-rr", "exec"}, "option '-r' cannot be repeated"},
        {{"-o", "a", "--out=b", "exec"}, "options '--out' and '-o' cannot be present at the same time"},
        {{"--reencod", "exec"}, "unknown option '--reencod'. Did you mean '--reencode'?"},
        {{"-reencode", "exec"}, "unknown option '-e'. Did you mean '--reencode'?"},
        {{"--version", "x"}, "unknown option '--version'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        dump_like fresh;
        if (c.args.size() == 2 && c.args[0] == "--version") fresh.cmd.version.clear();  // no --version then
        const auto r = evaluate(fresh.cmd, c.args, success);
        EXPECT_EQ(r.status, 124);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, dump_usage + "dump: " + c.message + "\n");
    }
}

TEST(Layer, EnumerationValuesByPrefixOnlyWithLegacyPrefixes) {
    const dump_like d;
    std::optional<std::size_t> kind;
    const auto remember = [&](const cli::values& v) -> quarvel::result<void> {
        kind = v.choice(d.kind);
        return {};
    };
    EXPECT_EQ(evaluate(d.cmd, {"st"}, remember, {{"QUARVEL_LEGACY_PREFIXES", "1"}}).status, 0);
    EXPECT_EQ(kind, 1u);
    const auto plain = evaluate(d.cmd, {"st"}, remember);
    EXPECT_EQ(plain.err, dump_usage + "dump: KIND argument: invalid value 'st', expected one of 'exec', 'state' or\n"
                                      "      'cmd'\n");
}

// A typed enumeration hands over the value its key stands for; its keys stay listable in declaration
// order (messages, completion), the later of two equal keys wins, and the messages are the usual ones.
TEST(Layer, TypedEnumerationGivesTheValueItself) {
    enum class shade { light, dark, unset };
    cli::command cmd = named("paint");
    const auto id = cli::add(cmd, cli::option({"--shade"}, "SHADE", "The shade.",
                                              cli::enumeration<shade>({{"light", shade::light},
                                                                       {"dark", shade::unset},
                                                                       {"dark", shade::dark},
                                                                       {"darker", shade::dark}}),
                                              "light"));
    struct Case {
        std::vector<std::string> args;
        std::optional<shade> value;
        std::string err;
    };
    const Case cases[] = {
        {{}, std::nullopt, ""},
        {{"--shade=light"}, shade::light, ""},
        {{"--shade", "dark"}, shade::dark, ""},
        {{"--shade=darker"}, shade::dark, ""},
        {{"--shade=pale"}, std::nullopt,
         "Usage: paint [--help] [--shade=SHADE] [OPTION]…\n"
         "paint: option '--shade': invalid value 'pale', expected one of 'light',\n"
         "       'dark', 'dark' or 'darker'\n"},
    };
    for (const auto& c : cases) {
        std::optional<shade> seen;
        const auto r = evaluate(cmd, c.args, [&](const cli::values& v) {
            seen = v.choice<shade>(id);
            EXPECT_EQ(v.choice<int>(id), std::nullopt);  // another type is no value
            return quarvel::result<void>{};
        });
        EXPECT_EQ(seen, c.value) << c.args.size();
        EXPECT_EQ(r.err, c.err);
    }

    const auto* keys = cli::enumeration_keys(cmd.arguments[id.index].convert);
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(*keys, (std::vector<std::string>{"light", "dark", "dark", "darker"}));
    EXPECT_EQ(cli::enumeration_keys(cli::any_text()), nullptr);
    const cli::converter bare_keys = cli::enumeration({"x", "y"});
    const auto* bare = cli::enumeration_keys(bare_keys);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(*bare, (std::vector<std::string>{"x", "y"}));
}

TEST(Layer, SuggestionsNameOneOfSeveralAtTheSameDistance) {
    cli::command cmd = named("t");
    for (const char* n : {"--aaa", "--aab", "--aac", "--zzzzzz"}) cli::add(cmd, cli::flag({n}, ""));
    const auto r = evaluate(cmd, {"--aad"}, success);
    EXPECT_EQ(r.err, "Usage: t [--help] [OPTION]\u2026\nt: unknown option '--aad'. Did you mean one of '--aaa', "
                     "'--aab' or '--aac'?\n");
}

TEST(Layer, SynopsisListsOneToThreeOptionsAndOptionalPositionalsInBrackets) {
    cli::command cmd = named("t");
    cli::add(cmd, cli::positional(1, "B", "", cli::any_text(), false));
    cli::add(cmd, cli::positional(0, "A", "", cli::any_text(), true));
    EXPECT_EQ(cli::terminal_line(cli::synopsis(cmd, false), false), "t [OPTION]\u2026 A [B]");
    cli::add(cmd, cli::flag({"--x"}, ""));
    EXPECT_EQ(cli::terminal_line(cli::synopsis(cmd, true), false), "t [--help] [--x] [OPTION]\u2026 A [B]");
    for (const char* n : {"--y", "--z", "--w"}) cli::add(cmd, cli::flag({n}, ""));
    EXPECT_EQ(cli::terminal_line(cli::synopsis(cmd, false), false), "t [OPTION]\u2026 A [B]");
}

// A command shaped like quarvel-dump with several files: KIND FILE… and a flag.
struct files_like {
    cli::command cmd;
    cli::argument_id kind, files, reencode;
    files_like() {
        cmd.name = "dump";
        kind = cli::add(cmd, cli::positional(0, "KIND", "The kind.", cli::enumeration({"exec", "state"}), true));
        files = cli::add(cmd, cli::repeatable_positional(1, "FILE", "The files, $(b,-) for standard input.",
                                                         cli::existing_file_or_stdin(), true));
        reencode = cli::add(cmd, cli::flag({"-r"}, "Encode again."));
    }
};

TEST(Layer, ARepeatablePositionalTakesEveryRemainingWord) {
    test::temp_dir dir;
    const std::string a = dir.file("a", ""), b = dir.file("b", "");
    const files_like d;
    const std::string usage = "Usage: dump [--help] [-r] [OPTION]\u2026 KIND FILE\u2026\n";
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> files;
        std::string err;
    } cases[] = {
        {{"exec", a}, {a}, ""},
        {{"exec", b, "-", a, b}, {b, "-", a, b}, ""},
        {{"exec", a, "-r", b}, {a, b}, ""},
        {{"-r", "--", "state", "-", a}, {"-", a}, ""},
        {{"exec"}, {}, usage + "dump: required argument FILE is missing\n"},
        {{"exec", a, "/no/such", "/no/other"}, {}, usage + "dump: FILE argument: no '/no/such' file or directory\n"},
        // Standard input can be read only once.
        {{"exec", "-", a, "-"}, {}, usage + "dump: FILE argument: '-' (standard input) cannot be repeated\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::vector<std::string> seen;
        const auto r = evaluate(d.cmd, c.args, [&](const cli::values& v) -> quarvel::result<void> {
            seen = v.texts(d.files);
            EXPECT_EQ(v.text(d.files), std::nullopt);
            return {};
        });
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.err.empty() ? 0 : 124);
        EXPECT_EQ(seen, c.files);
    }
}

// "FILE…" as "[OPTION]…" is written, in the usage line, the synopsis and the entry's label; one that may be
// left out is "[NAME]…", and has no texts when it is.
TEST(Layer, ARepeatablePositionalIsShownWithAnEllipsis) {
    const files_like d;
    EXPECT_EQ(cli::terminal_line(cli::synopsis(d.cmd, false), false), "dump [-r] [OPTION]\u2026 KIND FILE\u2026");
    const auto sections = cli::manual_of(cli::with_standard_options(d.cmd));
    const auto text = cli::plain_manual(sections, false);
    EXPECT_NE(text.find("ARGUMENTS\n       KIND (required)\n           The kind.\n\n"
                        "       FILE\u2026 (required)\n           The files, - for standard input.\n\n"),
              std::string::npos)
        << text;
    const auto groff = cli::groff_manual(sections, "dump");
    EXPECT_NE(groff.find(".TP 4\n\\fIFILE\\fR\\[u2026] (required)\n"), std::string::npos) << groff;

    cli::command optional = named("t");
    const auto names = cli::add(optional, cli::repeatable_positional(0, "NAME", "", cli::any_text(), false));
    EXPECT_EQ(cli::terminal_line(cli::synopsis(optional, true), false), "t [--help] [OPTION]\u2026 [NAME]\u2026");
    std::vector<std::vector<std::string>> seen;
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"x", "-", "-"}}) {
        const auto r = evaluate(optional, args, [&](const cli::values& v) -> quarvel::result<void> {
            seen.push_back(v.texts(names));
            return {};
        });
        EXPECT_EQ(r.err, "");
    }
    // Any text, "-" included as often as it comes: only files are read.
    EXPECT_EQ(seen, (std::vector<std::vector<std::string>>{{}, {"x", "-", "-"}}));
}

// Errors the run says on its way are said as the one it ends with: the name, the message box, the
// terminal rule; an empty final error then only sets the status.
TEST(Layer, ARunSaysErrorsThatDoNotEndItAsTheOneItEndsWith) {
    cli::command cmd = named("tool");
    const struct {
        bool fails;
        int status;
    } cases[] = {{true, 124}, {false, 0}};
    for (const auto& c : cases) {
        const auto r = evaluate(cmd, {}, [&](const cli::values& v) -> quarvel::result<void> {
            v.report_error("a\x1b]0;x\x07: it went\n\nwrong");
            v.report_error("b: " + std::string(80, 'w'));
            if (c.fails) return std::unexpected(std::string());
            return {};
        });
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "tool: a\\e]0;x\\a: it went\n      wrong\n"
                         "tool: b:\n      " + std::string(80, 'w') + "\n");
    }
}

TEST(Layer, CheckpointsRunAsSoonAsTheArgumentsBeforeThemAreConverted) {
    std::vector<std::string> events;
    cli::command cmd = named("t");
    const auto a = cli::add(cmd, cli::option({"--a"}, "A", "", cli::enumeration({"x", "y"})));
    cli::add_checkpoint(cmd, [&](const cli::values& v) {
        events.push_back("checkpoint a=" + std::to_string(v.choice(a).value_or(9)));
    });
    cli::add(cmd, cli::positional(0, "B", "", [&](std::string_view text, const cli::presentation&) {
        events.push_back("convert b");
        return quarvel::result<cli::converted>(std::unexpected("bad " + std::string(text)));
    }, true));

    const auto failing_b = evaluate(cmd, {"--a=y", "z"}, success);
    EXPECT_EQ(failing_b.err, "Usage: t [--help] [--a=A] [OPTION]\u2026 B\nt: B argument: bad z\n");
    EXPECT_EQ(events, (std::vector<std::string>{"checkpoint a=1", "convert b"}));

    events.clear();
    const auto failing_a = evaluate(cmd, {"--a=w", "z"}, success);
    EXPECT_EQ(failing_a.status, 124);
    EXPECT_TRUE(events.empty());
}

TEST(Layer, RunErrorsAndExceptions) {
    cli::command cmd = named("tool");
    const auto error = evaluate(cmd, {}, [](const cli::values&) -> quarvel::result<void> {
        return std::unexpected("it went\n\nwrong");
    });
    EXPECT_EQ(error.status, 124);
    EXPECT_EQ(error.err, "tool: it went\n      wrong\n");

    const auto thrown = evaluate(cmd, {}, [](const cli::values&) -> quarvel::result<void> {
        throw std::runtime_error("boom");
    });
    EXPECT_EQ(thrown.status, 125);
    EXPECT_EQ(thrown.err, "tool: internal error, uncaught exception:\n      boom\n");

    const auto odd = evaluate(cmd, {}, [](const cli::values&) -> quarvel::result<void> { throw 7; });
    EXPECT_EQ(odd.status, 125);
    EXPECT_EQ(odd.err, "tool: internal error, uncaught exception:\n      unknown exception\n");

    // Memory refused to what the input asks for is a failure of the input.
    const auto exhausted = evaluate(cmd, {}, [](const cli::values&) -> quarvel::result<void> {
        throw std::bad_alloc();
    });
    EXPECT_EQ(exhausted.status, 124);
    EXPECT_EQ(exhausted.err, "tool: out of memory\n");
}

// What the layer writes itself is the process's product too: a failed write is a failure, said as a run's
// failed output is, and a reader that went away is told nothing.
TEST(Layer, AFailedWriteOfTheManualTheVersionOrACompletionIsAFailure) {
    dump_like d;
    const std::vector<std::vector<std::string>> served{
        {"--version"}, {"--help=plain"}, {"--help=groff"}, {"--help"}, {"--__complete=1", "--re"}};
    for (const auto& args : served) {
        const std::string what = args.front();
        const auto written = evaluate(d.cmd, args, success);
        EXPECT_EQ(written.status, 0) << what;
        EXPECT_NE(written.out, "") << what;
        EXPECT_EQ(written.err, "") << what;
        const auto full = evaluate(d.cmd, args, success, {}, ENOSPC);
        EXPECT_EQ(full.status, 124) << what;
        EXPECT_EQ(full.err, "dump: standard output: No space left on device\n") << what;
        const auto gone = evaluate(d.cmd, args, success, {}, EPIPE);
        EXPECT_EQ(gone.status, 124) << what;
        EXPECT_EQ(gone.err, "") << what;
    }
}

TEST(Layer, LoggingOptionsGiveTheLevelByTheLevelRule) {
    using quarvel::log::level;
    const struct {
        std::vector<std::string> args;
        log_output::logging_settings expected;
    } cases[] = {
        {{}, {log_output::color_choice::automatic, level::warning}},
        {{"-v"}, {log_output::color_choice::automatic, level::info}},
        {{"-vv"}, {log_output::color_choice::automatic, level::debug}},
        {{"-vvv"}, {log_output::color_choice::automatic, level::debug}},
        {{"--verbosity=error", "-v", "-v"}, {log_output::color_choice::automatic, level::error}},
        {{"--verbosity=warning"}, {log_output::color_choice::automatic, level::warning}},
        {{"--verbosity=quiet"}, {log_output::color_choice::automatic, std::nullopt}},
        {{"-q", "--verbosity=debug"}, {log_output::color_choice::automatic, std::nullopt}},
        {{"--color=always", "-qv"}, {log_output::color_choice::always, std::nullopt}},
        {{"--color=never", "--verbose"}, {log_output::color_choice::never, level::info}},
        {{"--color=auto"}, {log_output::color_choice::automatic, level::warning}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        cli::command cmd = named("t");
        const auto logging = log_output::declare_logging_options(cmd);
        // The log is already set up when the next argument is converted.
        std::optional<level> level_at_next;
        cli::add(cmd, cli::positional(0, "X", "", [&](std::string_view, const cli::presentation&) {
            level_at_next = quarvel::log::current_level();
            return quarvel::result<cli::converted>(std::string());
        }, true));
        std::optional<log_output::logging_settings> seen;
        auto args = c.args;
        args.push_back("x");
        const auto r = evaluate(cmd, args, [&](const cli::values& v) -> quarvel::result<void> {
            seen = log_output::logging_settings_of(v, logging);
            return {};
        });
        EXPECT_EQ(r.err, "");
        ASSERT_TRUE(seen);
        EXPECT_EQ(*seen, c.expected);
        EXPECT_EQ(level_at_next, c.expected.level);
    }
    quarvel::log::set_reporter({});
    quarvel::log::set_level(level::warning);
}

// A repeatable flag is counted; what a message names is kept: the first occurrence given a value, however
// many came before it.
TEST(Layer, RepeatableFlagsAreCounted) {
    const std::string many(200'000, 'v');
    const struct {
        std::vector<std::string> args;
        int count;
        std::string err;
    } cases[] = {
        {{}, 0, ""},
        {{"-vvv", "-v", "--verbose", "-qv"}, 6, ""},
        {{"-" + many, "-" + many}, 400'000, ""},
        {{"-" + many, "--verbose=x", "--verbose=y"}, 0,
         "t: option '--verbose' is a flag, it cannot take the argument 'x'\n"},
        {{"-v", "-q", "-q"}, 0, "t: option '-q' cannot be repeated\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size() == 0 ? std::string() : c.args[0].substr(0, 10));
        cli::command cmd = named("t");
        const auto verbose = cli::add(cmd, cli::repeatable_flag({"-v", "--verbose"}, "More."));
        cli::add(cmd, cli::flag({"-q"}, "Less."));
        int count = -1;
        const auto r = evaluate(cmd, c.args, [&](const cli::values& v) -> quarvel::result<void> {
            count = v.count(verbose);
            return {};
        });
        if (c.err.empty()) {
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(count, c.count);
        } else {
            EXPECT_EQ(r.status, 124);
            EXPECT_EQ(r.err, "Usage: t [--help] [-v, --verbose] [-q] [OPTION]\u2026\n" + c.err);
        }
    }
}

// Fifteen groups of 131,000 "-v" are 2 MB of arguments; a list entry for each flag took 155 MB.
TEST(Layer, RepeatableFlagsTakeNoMemoryPerOccurrence) {
    std::vector<std::string> argv{QUARVEL_INSPECT_BINARY};
    for (int i = 0; i < 15; ++i) argv.push_back("-" + std::string(131'000, 'v'));
    argv.push_back("no-such-record.der");
    const auto r = test::run(argv);
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Usage: quarvel-inspect [--help] [OPTION]\u2026 FILE\n"
                     "quarvel-inspect: FILE argument: no 'no-such-record.der' file or directory\n");
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer's shadow memory and quarantine come on top; a list per occurrence took 155 MB
    // without it.
    constexpr long bound_kib = 96 * 1024;
#else
    constexpr long bound_kib = 32 * 1024;
#endif
    EXPECT_LT(r.max_rss_kib, bound_kib) << "peak " << r.max_rss_kib << " KiB";
}

}  // namespace
