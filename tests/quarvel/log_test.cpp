// Logging never fails its caller: a reporter that throws loses its message, and the log goes on
// delivering the next ones, from this thread and from others.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <ostream>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <quarvel/log.hpp>

namespace {

using quarvel::log::level;

// Leaves the process-wide log as it was found: no reporter, level warning.
struct log_restorer {
    ~log_restorer() {
        quarvel::log::set_reporter({});
        quarvel::log::set_level(level::warning);
    }
};

// A reporter that keeps every text it is handed and throws `fail` for the texts that begin with "throw".
quarvel::log::reporter keeping(std::vector<std::string>& texts, std::function<void()> fail) {
    return [&texts, fail](const quarvel::log::source&, level, std::string_view, std::string_view text) {
        texts.emplace_back(text);
        if (text.starts_with("throw")) fail();
    };
}

struct thrown {
    const char* name;
    std::function<void()> fail;
};

void PrintTo(const thrown& t, std::ostream* out) { *out << t.name; }

const thrown thrown_cases[] = {
    {"runtime_error", [] { throw std::runtime_error("reporter failed"); }},
    {"bad_alloc", [] { throw std::bad_alloc(); }},
    {"not_an_exception_class", [] { throw 42; }},
};

class ThrowingReporterOf : public testing::TestWithParam<thrown> {};

TEST_P(ThrowingReporterOf, LosesThatMessageAndDeliversTheNextOnes) {
    const log_restorer restore;
    std::vector<std::string> texts;
    quarvel::log::set_reporter(keeping(texts, GetParam().fail));

    EXPECT_NO_THROW(quarvel::log::warning(quarvel::log::library, "throw 1"));
    // The same thread again: the delivery lock was released and the re-entrancy guard reset.
    quarvel::log::warning(quarvel::log::library, "after 1");
    EXPECT_NO_THROW(quarvel::log::error(quarvel::log::library, "throw 2"));
    // Another thread: it would wait forever on a lock left held.
    std::thread([] { quarvel::log::warning(quarvel::log::library, "from another thread"); }).join();

    EXPECT_EQ(texts, (std::vector<std::string>{"throw 1", "after 1", "throw 2", "from another thread"}));
}

INSTANTIATE_TEST_SUITE_P(Kind, ThrowingReporterOf, testing::ValuesIn(thrown_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ThrowingReporter, ItsReplacementReceivesTheLaterMessages) {
    const log_restorer restore;
    std::vector<std::string> thrower_texts;
    quarvel::log::set_reporter(keeping(thrower_texts, [] { throw std::runtime_error("reporter failed"); }));
    EXPECT_NO_THROW(quarvel::log::warning(quarvel::log::library, "throw"));

    std::vector<std::pair<level, std::string>> received;
    quarvel::log::set_reporter([&](const quarvel::log::source& from, level lvl, std::string_view, std::string_view text) {
        EXPECT_EQ(from.name, "quarvel");
        received.emplace_back(lvl, std::string(text));
    });
    quarvel::log::error(quarvel::log::library, "later");
    quarvel::log::set_level(level::debug);
    quarvel::log::message(quarvel::log::library, level::info, "later still");

    EXPECT_EQ(thrower_texts, std::vector<std::string>{"throw"});
    EXPECT_EQ(received, (std::vector<std::pair<level, std::string>>{{level::error, "later"}, {level::info, "later still"}}));
}

TEST(ThrowingReporter, WhatItLogsWhileDeliveringIsStillDropped) {
    const log_restorer restore;
    std::vector<std::string> texts;
    quarvel::log::set_reporter([&](const quarvel::log::source&, level, std::string_view, std::string_view text) {
        texts.emplace_back(text);
        quarvel::log::warning(quarvel::log::library, "nested");
        throw std::runtime_error("reporter failed");
    });
    quarvel::log::warning(quarvel::log::library, "first");
    quarvel::log::warning(quarvel::log::library, "second");
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "second"}));
}

// A thread cancelled inside the reporter unwinds through `message` and ends as cancelled; catching the
// cancellation for good would abort the whole process. AddressSanitizer loses track of a stack that a
// cancellation unwinds (with or without `message` in it), so its builds leave this out.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
TEST(ThrowingReporter, ThreadCancelledInTheReporterEndsCancelled) {
    const log_restorer restore;
    std::vector<std::string> texts;
    quarvel::log::set_reporter([&](const quarvel::log::source&, level, std::string_view, std::string_view text) {
        texts.emplace_back(text);
        if (text == "cancel me") {
            pthread_cancel(pthread_self());
            pthread_testcancel();
        }
    });
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, nullptr,
                  [](void*) -> void* {
                      quarvel::log::warning(quarvel::log::library, "cancel me");
                      return nullptr;
                  },
                  nullptr),
              0);
    void* ended = nullptr;
    ASSERT_EQ(pthread_join(thread, &ended), 0);
    EXPECT_EQ(ended, PTHREAD_CANCELED);

    quarvel::log::warning(quarvel::log::library, "after");
    EXPECT_EQ(texts, (std::vector<std::string>{"cancel me", "after"}));
}
#endif

}  // namespace
