// Logging from several threads at once: one reader and one writer on a descriptor (which framing
// allows) that both fail and log, beside threads that log long messages and threads that change the
// log settings. Run under ThreadSanitizer by the tsan preset.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <fcntl.h>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <quarvel/framing.hpp>
#include <quarvel/log.hpp>

#include "log_output/log_setup.hpp"

namespace {

using quarvel::log::level;

constexpr int rounds = 200;

// Leaves the process-wide log as it was found: no reporter, level warning.
struct log_restorer {
    ~log_restorer() {
        quarvel::log::set_reporter({});
        quarvel::log::set_level(level::warning);
    }
};

// Sends standard error into a pipe for the life of the object; a thread drains the pipe, so writes
// larger than the pipe's atomic size are really split and would interleave if two were not kept apart.
struct captured_standard_error {
    int saved = ::dup(STDERR_FILENO);
    std::string bytes;
    std::thread drain;

    captured_standard_error() {
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        ::dup2(ends[1], STDERR_FILENO);
        ::close(ends[1]);
        drain = std::thread([this, from = ends[0]] {
            char chunk[4096];
            for (ssize_t n; (n = ::read(from, chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<std::size_t>(n));
            ::close(from);
        });
    }
    // Everything written so far; standard error goes back to where it was.
    std::string finish() {
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        drain.join();
        return bytes;
    }
};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the output ends inside a message";
    return lines;
}

TEST(ConcurrentLogging, ReaderAndWriterFailingOnOneDescriptorLogEveryFailureWhole) {
    log_restorer restore;
    // A directory: reading it fails with EISDIR, writing it with EBADF.
    const int fd = ::open("/", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    const std::string long_a(10000, 'a'), long_b(10000, 'b');

    captured_standard_error err;
    log_output::setup_log("server", log_output::color_choice::never, level::warning, log_output::diagnostics_stream::standard_error);
    std::array<std::string, 2> last_errors;
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < rounds; ++i) last_errors[0] = quarvel::read(fd).error();
    });
    threads.emplace_back([&] {
        for (int i = 0; i < rounds; ++i) last_errors[1] = quarvel::write(fd, "payload").error();
    });
    for (const std::string* text : {&long_a, &long_b})
        threads.emplace_back([text] {
            for (int i = 0; i < rounds; ++i) quarvel::log::error(quarvel::log::library, *text);
        });
    for (std::thread& t : threads) t.join();
    const std::string out = err.finish();
    ::close(fd);

    EXPECT_EQ(last_errors[0], "unix error in read");
    EXPECT_EQ(last_errors[1], "unix error in write");
    std::map<std::string, int> seen;
    for (const std::string& line : lines_of(out)) ++seen[line];
    const std::map<std::string, int> expected{
        {"server: [ERROR] Unix error in read: Is a directory", rounds},
        {"server: [ERROR] Unix error in write: Bad file descriptor", rounds},
        {"server: [ERROR] " + long_a, rounds},
        {"server: [ERROR] " + long_b, rounds},
    };
    EXPECT_EQ(seen.size(), expected.size());
    for (const auto& [line, count] : expected) EXPECT_EQ(seen[line], count) << line.substr(0, 60);
    EXPECT_EQ(log_output::log_write_error(), 0);
}

TEST(ConcurrentLogging, AReporterSeesOneMessageAtATimeWhileTheSettingsChange) {
    log_restorer restore;
    quarvel::log::set_level(level::debug);
    // No lock of its own: the dispatch hands it one message at a time.
    std::vector<std::string> received;
    int inside = 0, most_inside = 0;
    const quarvel::log::reporter collect = [&](const quarvel::log::source&, level, std::string_view,
                                               std::string_view text) {
        most_inside = std::max(most_inside, ++inside);
        received.emplace_back(text);
        --inside;
    };
    quarvel::log::set_reporter(collect);

    std::atomic<bool> stop{false};
    std::thread settings([&] {
        while (!stop) {
            quarvel::log::set_reporter(collect);
            quarvel::log::set_level(level::debug);
            (void)quarvel::log::enabled(level::info);
            (void)quarvel::log::current_level();
        }
    });
    std::vector<std::thread> loggers;
    for (int t = 0; t < 4; ++t)
        loggers.emplace_back([t] {
            const std::string text = "message from thread " + std::to_string(t);
            for (int i = 0; i < rounds; ++i) quarvel::log::warning(quarvel::log::library, text);
        });
    for (std::thread& t : loggers) t.join();
    stop = true;
    settings.join();

    EXPECT_EQ(most_inside, 1);
    ASSERT_EQ(received.size(), 4u * rounds);
    std::map<std::string, int> seen;
    for (const std::string& text : received) ++seen[text];
    for (int t = 0; t < 4; ++t) EXPECT_EQ(seen["message from thread " + std::to_string(t)], rounds);
}

TEST(ConcurrentLogging, WhatAReporterLogsWhileDeliveringIsDropped) {
    log_restorer restore;
    std::vector<std::string> received;
    quarvel::log::set_reporter([&](const quarvel::log::source&, level, std::string_view, std::string_view text) {
        received.emplace_back(text);
        quarvel::log::error(quarvel::log::library, "from inside the reporter");
    });
    quarvel::log::error(quarvel::log::library, "first");
    quarvel::log::error(quarvel::log::library, "second");
    EXPECT_EQ(received, (std::vector<std::string>{"first", "second"}));
}

}  // namespace
