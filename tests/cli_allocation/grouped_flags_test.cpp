// Reading the argument vector costs in proportion to its length, also for long groups of short flags
// ("-vvvv…"). Every allocation of this program is counted, so a reader that copied the rest of a group
// for each flag (n²/2 bytes for a group of n) shows up in the count, without timing anything.
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/command.hpp"
#include "cli/reading.hpp"

// The replacements below pair malloc with free themselves; GCC cannot see that through inlining.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> allocated{0};

}  // namespace

void* operator new(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) allocated.fetch_add(size, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

std::vector<cli::argument> declarations() {
    std::vector<cli::argument> a;
    a.push_back(cli::flag({"-q", "--quiet"}, "Quiet."));
    a.push_back(cli::repeatable_flag({"-v", "--verbose"}, "Verbose."));
    a.push_back(cli::option({"-o", "--output"}, "DIR", "Output.", nullptr));
    a.push_back(cli::positional(0, "FILE", "File.", nullptr, true));
    return a;
}

struct counted_reading {
    cli::reading reading;
    std::size_t bytes = 0;
};

counted_reading read_counted(const std::vector<std::string>& args) {
    const auto arguments = declarations();
    allocated = 0;
    counting = true;
    counted_reading out{cli::read_arguments(arguments, args, cli::presentation{}), 0};
    counting = false;
    out.bytes = allocated;
    return out;
}

constexpr std::size_t group = 40000;

// Far below the n²/2 = 800 MB of a copy per flag; well above what the occurrences themselves take.
constexpr std::size_t allowed_bytes_per_character = 400;

TEST(GroupedShortFlags, ALongGroupIsReadFlagByFlagWithoutCopyingItsRest) {
    struct case_ {
        std::vector<std::string> args;
        std::size_t verbose;                 // -v occurrences read
        std::size_t quiet;                   // -q occurrences kept
        std::optional<std::string> output;   // the value -o took
        bool error;
    };
    const std::string vs(group, 'v');
    const std::vector<case_> cases{
        {{"-" + vs, "f"}, group, 0, std::nullopt, false},
        {{"-" + std::string(group, 'q'), "f"}, 0, 2, std::nullopt, false},  // repeated: refused with the first two
        {{"-" + vs + "oDIR", "f"}, group, 0, "DIR", false},
        {{"-" + vs + "o", "DIR", "f"}, group, 0, "DIR", false},
        {{"-" + vs + "z" + vs, "f"}, group, 0, std::nullopt, true},              // unknown -z ends the group
        {{"-" + vs, "-" + vs, "-" + vs, "f"}, 3 * group, 0, std::nullopt, false},
    };
    for (const auto& c : cases) {
        std::size_t characters = 0;
        for (const auto& a : c.args) characters += a.size();
        const auto r = read_counted(c.args);
        EXPECT_EQ(r.reading.occurrences[1].size(), c.verbose);
        EXPECT_EQ(r.reading.occurrences[0].size(), c.quiet);
        if (c.output) {
            ASSERT_EQ(r.reading.occurrences[2].size(), 1u);
            EXPECT_EQ(r.reading.occurrences[2][0].value, c.output);
        }
        EXPECT_EQ(r.reading.positionals, std::vector<std::string>{"f"});
        EXPECT_EQ(r.reading.error.has_value(), c.error);
        EXPECT_LT(r.bytes, allowed_bytes_per_character * characters) << "for " << characters << " characters";
    }
}

TEST(GroupedShortFlags, AGroupEndingInADashIsReadAsItWasBefore) {
    // What follows a flag is read as "-" and the rest: "-q-" ends the options, "-q-verbose" is "--verbose".
    const auto ended = read_counted({"-q-", "-v"});
    EXPECT_EQ(ended.reading.occurrences[0].size(), 1u);
    EXPECT_EQ(ended.reading.positionals, std::vector<std::string>{"-v"});
    const auto long_name = read_counted({"-q-verbose", "f"});
    ASSERT_EQ(long_name.reading.occurrences[1].size(), 1u);
    EXPECT_EQ(long_name.reading.occurrences[1][0].name, "--verbose");
}

}  // namespace
