#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

#include "log_output/log_setup.hpp"
#include "support/process.hpp"

namespace {

using log_output::color_choice;
using quarvel::log::level;

constexpr std::string_view esc = "\x1b";

TEST(LogStyling, DecidedPerStreamFromTheChoiceTermAndTerminals) {
    struct row {
        color_choice color;
        std::optional<std::string_view> term;
        bool out_tty, err_tty;
        bool out_ansi, err_ansi;
    };
    const row rows[] = {
        {color_choice::always, std::nullopt, false, false, true, true},
        {color_choice::always, "dumb", false, true, true, true},
        {color_choice::never, "xterm", true, true, false, false},
        {color_choice::automatic, "xterm", true, true, true, true},
        {color_choice::automatic, "xterm", true, false, true, false},
        {color_choice::automatic, "xterm", false, true, false, true},
        {color_choice::automatic, std::nullopt, true, true, false, false},
        {color_choice::automatic, "", true, true, false, false},
        {color_choice::automatic, "dumb", true, true, false, false},
    };
    for (const auto& r : rows) {
        log_output::log_environment env;
        env.term = r.term;
        env.standard_output_is_terminal = r.out_tty;
        env.standard_error_is_terminal = r.err_tty;
        const auto s = log_output::decide_log_styling(r.color, env);
        EXPECT_EQ(s.standard_output.ansi, r.out_ansi) << "TERM=" << r.term.value_or("(unset)");
        EXPECT_EQ(s.standard_error.ansi, r.err_ansi) << "TERM=" << r.term.value_or("(unset)");
    }
}

TEST(LogStyling, Utf8FlagWhenAnyLocaleVariableUpperCasedContainsUtf8) {
    struct row {
        std::optional<std::string_view> lang, lc_all, lc_ctype;
        bool utf8;
    };
    const row rows[] = {
        {std::nullopt, std::nullopt, std::nullopt, false},
        {"en_US.utf-8", std::nullopt, std::nullopt, true},
        {"C", "C.UTF-8", std::nullopt, true},
        {"C", "POSIX", "de_DE.Utf-8@euro", true},
        {"en_US.utf8", "C", "", false},  // no hyphen: not recognised
    };
    for (const auto& r : rows) {
        log_output::log_environment env{.term = std::nullopt, .lang = r.lang, .lc_all = r.lc_all, .lc_ctype = r.lc_ctype};
        const auto s = log_output::decide_log_styling(color_choice::never, env);
        EXPECT_EQ(s.standard_output.utf8, r.utf8) << r.lang.value_or("-") << " " << r.lc_all.value_or("-");
        EXPECT_EQ(s.standard_error.utf8, r.utf8);
    }
}

TEST(LogMessage, HeadersAndStylingPerLevel) {
    struct row {
        bool ansi;
        level lvl;
        std::string_view header, text;
        std::string expected;
    };
    const std::string e(esc);
    const row rows[] = {
        {false, level::app, "", "a on p", "a on p\n"},
        {true, level::app, "", "a on p", "a on p\n"},
        {false, level::app, "note", "t", "[note] t\n"},
        {true, level::app, "note", "t", "[" + e + "[0;36mnote" + e + "[0m] t\n"},
        {false, level::warning, "", "x", "prog: [WARNING] x\n"},
        {false, level::error, "", "x", "prog: [ERROR] x\n"},
        {false, level::info, "", "x", "prog: [INFO] x\n"},
        {false, level::debug, "", "x", "prog: [DEBUG] x\n"},
        {true, level::error, "", "x", "prog: [" + e + "[0;31mERROR" + e + "[0m] x\n"},
        {true, level::warning, "", "x", "prog: [" + e + "[0;33mWARNING" + e + "[0m] x\n"},
        {true, level::info, "", "x", "prog: [" + e + "[0;34mINFO" + e + "[0m] x\n"},
        {true, level::debug, "", "x", "prog: [" + e + "[0;32mDEBUG" + e + "[0m] x\n"},
        {false, level::warning, "own", "x", "prog: [own] x\n"},
        {true, level::warning, "own", "x", "prog: [" + e + "[0;33mown" + e + "[0m] x\n"},
        {false, level::warning, "", "a\nb", "prog: [WARNING] a\nb\n"},
        {false, level::app, "", "", "\n"},
    };
    for (const auto& r : rows) {
        std::string out = "kept|";
        log_output::append_log_message(out, "prog", r.ansi, r.lvl, r.header, r.text);
        EXPECT_EQ(out, "kept|" + r.expected);
    }
}

TEST(LogMessage, ProgramNameIsTheLastPathComponent) {
    EXPECT_EQ(log_output::program_name_of("/usr/bin/quarvel-inspect"), "quarvel-inspect");
    EXPECT_EQ(log_output::program_name_of("quarvel-inspect"), "quarvel-inspect");
    EXPECT_EQ(log_output::program_name_of("./tools/quarvel-inspect/"), "quarvel-inspect");
    EXPECT_EQ(log_output::program_name_of("a//b"), "b");
    // No argv[0]: the executable's own path names it.
    EXPECT_EQ(log_output::program_name_of(""), "log_output_tests");
}

// Sends standard output to /dev/full for the life of the object, where every write fails with ENOSPC.
struct standard_output_to_full_device {
    int saved;
    standard_output_to_full_device() : saved(::dup(STDOUT_FILENO)) {
        std::fflush(nullptr);
        const int full = ::open("/dev/full", O_WRONLY);
        ::dup2(full, STDOUT_FILENO);
        ::close(full);
    }
    ~standard_output_to_full_device() {
        std::clearerr(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
    }
};

// Sends a descriptor to a file for the life of the object; `text()` flushes and reads what arrived.
struct captured_descriptor {
    int fd;
    int saved;
    std::string path;
    captured_descriptor(int which, const test::temp_dir& dir, const std::string& name)
        : fd(which), saved(::dup(which)), path(dir.file(name, "")) {
        std::fflush(nullptr);
        const int target = ::open(path.c_str(), O_WRONLY | O_TRUNC);
        ::dup2(target, fd);
        ::close(target);
    }
    ~captured_descriptor() {
        std::fflush(nullptr);
        ::dup2(saved, fd);
        ::close(saved);
    }
    std::string text() const {
        std::fflush(nullptr);
        return test::read_file(path);
    }
};

// Leaves the process-wide log as it was found: no reporter, level warning.
struct log_restorer {
    ~log_restorer() {
        quarvel::log::set_reporter({});
        quarvel::log::set_level(level::warning);
    }
};

TEST(SetupLog, SetsTheLevelForEverySourceAndWritesEachMessageToStandardOutput) {
    log_restorer restore;
    test::temp_dir dir;
    const quarvel::log::source tool{"quarvel-inspect", "the tool"};
    std::string out, err;
    {
        captured_descriptor o(STDOUT_FILENO, dir, "out"), e(STDERR_FILENO, dir, "err");
        log_output::setup_log("/usr/bin/quarvel-inspect", color_choice::never, level::warning);
        quarvel::log::app("a on p");
        quarvel::log::warning(quarvel::log::library, "x");
        quarvel::log::error(tool, "first\nsecond");
        quarvel::log::message(quarvel::log::library, level::info, "not shown");
        quarvel::log::message(tool, level::debug, "not shown");
        out = o.text();
        err = e.text();
    }
    EXPECT_EQ(quarvel::log::current_level(), level::warning);
    EXPECT_EQ(out, "a on p\nquarvel-inspect: [WARNING] x\nquarvel-inspect: [ERROR] first\nsecond\n");
    EXPECT_EQ(err, "");
}

TEST(SetupLog, DebugLevelLetsEveryLevelThrough) {
    log_restorer restore;
    test::temp_dir dir;
    std::string out;
    {
        captured_descriptor o(STDOUT_FILENO, dir, "out");
        log_output::setup_log("p", color_choice::never, level::debug);
        quarvel::log::message(quarvel::log::library, level::info, "i");
        quarvel::log::message(quarvel::log::library, level::debug, "d");
        out = o.text();
    }
    EXPECT_EQ(out, "p: [INFO] i\np: [DEBUG] d\n");
}

TEST(SetupLog, QuietWritesNothingAtAll) {
    log_restorer restore;
    test::temp_dir dir;
    std::string out, err;
    {
        captured_descriptor o(STDOUT_FILENO, dir, "out"), e(STDERR_FILENO, dir, "err");
        log_output::setup_log("p", color_choice::always, std::nullopt);
        quarvel::log::app("a on p");
        quarvel::log::error(quarvel::log::library, "x");
        out = o.text();
        err = e.text();
    }
    EXPECT_EQ(quarvel::log::current_level(), std::nullopt);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

TEST(SetupLog, AlwaysStylesLevelWordsOnARedirectedStreamButNeverAppLines) {
    log_restorer restore;
    test::temp_dir dir;
    std::string out;
    {
        captured_descriptor o(STDOUT_FILENO, dir, "out");
        log_output::setup_log("p", color_choice::always, level::warning);
        quarvel::log::app("a on p");
        quarvel::log::warning(quarvel::log::library, "x");
        out = o.text();
    }
    EXPECT_EQ(out, "a on p\np: [\x1b[0;33mWARNING\x1b[0m] x\n");
    EXPECT_TRUE(log_output::current_log_styling().standard_output.ansi);
}

TEST(SetupLog, AutomaticChoiceOnARedirectedStreamIsPlain) {
    log_restorer restore;
    test::temp_dir dir;
    std::string out;
    {
        captured_descriptor o(STDOUT_FILENO, dir, "out");
        log_output::setup_log("p", color_choice::automatic, level::warning);
        quarvel::log::warning(quarvel::log::library, "x");
        out = o.text();
    }
    EXPECT_EQ(out, "p: [WARNING] x\n");
    EXPECT_FALSE(log_output::current_log_styling().standard_output.ansi);
}

TEST(SetupLog, DiagnosticsOnStandardErrorKeepAppLinesOnStandardOutput) {
    log_restorer restore;
    test::temp_dir dir;
    std::string out, err;
    {
        captured_descriptor o(STDOUT_FILENO, dir, "out"), e(STDERR_FILENO, dir, "err");
        log_output::setup_log("tools/quarvel-dump", color_choice::never, level::warning,
                       log_output::diagnostics_stream::standard_error);
        quarvel::log::app("line");
        quarvel::log::warning(quarvel::log::library, "x");
        out = o.text();
        err = e.text();
    }
    EXPECT_EQ(out, "line\n");
    EXPECT_EQ(err, "quarvel-dump: [WARNING] x\n");
}

// Messages go straight to the descriptor; what the stream still buffers from elsewhere goes first.
TEST(SetupLog, MessagesFollowWhatTheStreamStillBuffers) {
    log_restorer restore;
    test::temp_dir dir;
    std::string out;
    {
        captured_descriptor o(STDOUT_FILENO, dir, "out");
        log_output::setup_log("p", color_choice::never, level::warning);
        std::fputs("buffered, ", stdout);
        quarvel::log::app("a on p");
        quarvel::log::app(std::string(100'000, 'x'));
        out = o.text();
    }
    EXPECT_EQ(out, "buffered, a on p\n" + std::string(100'000, 'x') + "\n");
}

TEST(SetupLog, RemembersTheFirstFailedWrite) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    log_restorer restore;
    int before = -1, after = -1;
    {
        const standard_output_to_full_device full;
        log_output::setup_log("p", color_choice::never, level::warning);
        before = log_output::log_write_error();
        quarvel::log::app("lost");
        after = log_output::log_write_error();
    }
    EXPECT_EQ(before, 0);
    EXPECT_EQ(after, ENOSPC);
    // A new setup starts afresh.
    log_output::setup_log("p", color_choice::never, std::nullopt);
    EXPECT_EQ(log_output::log_write_error(), 0);
}

// Sends standard output and standard error to one file, as `2>&1` does, for the life of the object.
struct shared_destination {
    int saved_out, saved_err;
    std::string path;
    shared_destination(const test::temp_dir& dir, const std::string& name)
        : saved_out(::dup(STDOUT_FILENO)), saved_err(::dup(STDERR_FILENO)), path(dir.file(name, "")) {
        std::fflush(nullptr);
        const int target = ::open(path.c_str(), O_WRONLY | O_TRUNC);
        ::dup2(target, STDOUT_FILENO);
        ::dup2(target, STDERR_FILENO);
        ::close(target);
    }
    ~shared_destination() {
        std::fflush(nullptr);
        ::dup2(saved_out, STDOUT_FILENO);
        ::dup2(saved_err, STDERR_FILENO);
        ::close(saved_out);
        ::close(saved_err);
    }
    std::string text() const { return test::read_file(path); }
};

TEST(OutputBatch, HoldsLinesUntilStandardErrorSpeaksOrTheBatchEnds) {
    log_restorer restore;
    test::temp_dir dir;
    std::vector<std::string> seen;
    {
        shared_destination both(dir, "both");
        log_output::setup_log("p", color_choice::never, level::warning, log_output::diagnostics_stream::standard_error);
        {
            const log_output::output_batch batch;
            quarvel::log::app("one");
            quarvel::log::app("two");
            seen.push_back(both.text());
            quarvel::log::warning(quarvel::log::library, "x");  // standard error: what was held goes first
            seen.push_back(both.text());
            quarvel::log::app("three");
            seen.push_back(both.text());
            log_output::flush_output_batch();
            seen.push_back(both.text());
            quarvel::log::app("four");
            seen.push_back(both.text());
        }
        seen.push_back(both.text());
        quarvel::log::app("five");  // no batch: at once
        seen.push_back(both.text());
    }
    const std::vector<std::string> expected{
        "",
        "one\ntwo\np: [WARNING] x\n",
        "one\ntwo\np: [WARNING] x\n",
        "one\ntwo\np: [WARNING] x\nthree\n",
        "one\ntwo\np: [WARNING] x\nthree\n",
        "one\ntwo\np: [WARNING] x\nthree\nfour\n",
        "one\ntwo\np: [WARNING] x\nthree\nfour\nfive\n",
    };
    EXPECT_EQ(seen, expected);
}

TEST(OutputBatch, LinesLeaveOnceTheBatchSizeIsPassedWithEveryByteInOrder) {
    log_restorer restore;
    test::temp_dir dir;
    std::string expected, before_end, after_end;
    std::size_t held_most = 0;
    {
        captured_descriptor o(STDOUT_FILENO, dir, "out");
        log_output::setup_log("p", color_choice::never, level::warning);
        {
            const log_output::output_batch batch;
            for (int i = 0; expected.size() < 3 * log_output::output_batch_size; ++i) {
                const std::string line = std::to_string(i) + std::string(static_cast<std::size_t>(i % 200), 'a' + i % 26);
                quarvel::log::app(line);
                expected += line + "\n";
                held_most = std::max(held_most, expected.size() - o.text().size());
            }
            quarvel::log::app(std::string(log_output::output_batch_size * 2, 'z'));  // longer than a batch
            expected += std::string(log_output::output_batch_size * 2, 'z') + "\n";
            quarvel::log::app("last");
            expected += "last\n";
            before_end = o.text();
        }
        after_end = o.text();
    }
    EXPECT_LT(held_most, log_output::output_batch_size + 256);
    EXPECT_EQ(before_end, expected.substr(0, before_end.size()));
    EXPECT_LT(before_end.size(), expected.size());
    EXPECT_EQ(after_end, expected);
}

// The batch's own lines, written past the reporter, keep their place among the thread's other messages; a
// message of another thread waits until the batch ends instead of landing between them.
TEST(OutputBatch, ItsOwnLinesKeepTheirPlaceAndOtherThreadsWaitForIt) {
    const std::string long_line(3 * log_output::output_batch_size, 'z');  // past the buffer, in its place
    std::thread other;
    std::atomic<bool> started{false};
    const auto run = [&] {
        log_output::output_batch batch;
        batch.app("one");
        quarvel::log::warning(quarvel::log::library, "x");
        batch.app_in_place(10, [](char* at) {
            std::memcpy(at, "two", 3);
            return std::size_t{3};
        });
        {
            log_output::output_batch within;  // the same thread's: standard output is held already
            within.app("within");
        }
        other = std::thread([&] {
            started = true;
            quarvel::log::app("other");
        });
        while (!started) std::this_thread::yield();
        quarvel::log::app("three");
        batch.app(long_line);
        batch.app("four");
    };
    log_restorer restore;
    test::temp_dir dir;
    captured_descriptor o(STDOUT_FILENO, dir, "out");
    log_output::setup_log("p", color_choice::never, level::warning);
    run();
    other.join();
    EXPECT_EQ(o.text(), "one\np: [WARNING] x\ntwo\nwithin\nthree\n" + long_line + "\nfour\nother\n");
}

TEST(OutputBatch, AFailedWriteIsRememberedWhenTheBatchLeaves) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    log_restorer restore;
    int during = -1, after = -1;
    {
        const standard_output_to_full_device full;
        log_output::setup_log("p", color_choice::never, level::warning);
        {
            const log_output::output_batch batch;
            quarvel::log::app("lost");
            during = log_output::log_write_error();
        }
        after = log_output::log_write_error();
    }
    EXPECT_EQ(during, 0);  // still held
    EXPECT_EQ(after, ENOSPC);
}

TEST(SetupLog, WritesNothingMoreToAStreamWhoseWriteFailed) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    log_restorer restore;
    test::temp_dir dir;
    std::string after_failure, after_new_setup;
    {
        captured_descriptor o(STDOUT_FILENO, dir, "out");
        const int full = ::open("/dev/full", O_WRONLY);
        ::dup2(full, STDOUT_FILENO);
        ::close(full);
        log_output::setup_log("p", color_choice::never, level::warning);
        quarvel::log::app("lost");
        std::clearerr(stdout);
        // The same descriptor now leads somewhere writable: the output stays cut where it failed.
        const int file = ::open(o.path.c_str(), O_WRONLY | O_TRUNC);
        ::dup2(file, STDOUT_FILENO);
        ::close(file);
        quarvel::log::app("after the failure");
        after_failure = o.text();
        log_output::setup_log("p", color_choice::never, level::warning);
        quarvel::log::app("after a new setup");
        after_new_setup = o.text();
    }
    EXPECT_EQ(after_failure, "");
    EXPECT_EQ(after_new_setup, "after a new setup\n");
}

}  // namespace
