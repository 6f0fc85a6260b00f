#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <string>
#include <unistd.h>

#include "file_input/read_file.hpp"
#include "support/process.hpp"

namespace {

std::string patterned(std::size_t size) {
    std::string bytes;
    bytes.reserve(size);
    for (std::size_t i = 0; i < size; ++i) bytes += static_cast<char>(i * 7 % 256);
    return bytes;
}

// What `with_whole_file` hands to its callback, copied, and how often it called it.
struct seen {
    quarvel::result<void> outcome;
    std::string bytes;
    int calls = 0;
};

seen use_whole_file(const std::string& name) {
    seen s;
    s.outcome = file_input::with_whole_file(name, [&](std::string_view bytes) {
        s.bytes.assign(bytes);
        ++s.calls;
    });
    return s;
}

TEST(ReadFile, BothWaysGiveEveryByteOfARegularFile) {
    test::temp_dir dir;
    for (const std::size_t size : {std::size_t{1}, std::size_t{4096}, std::size_t{300'001}}) {
        const std::string bytes = patterned(size);
        const auto path = dir.file("f" + std::to_string(size), bytes);

        const auto read = file_input::read_whole_file(path);
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(*read, bytes);
        // Read into a buffer of exactly the file's size: never regrown past it.
        if (size >= 32) {
            EXPECT_EQ(read->capacity(), size);
        }

        const auto used = use_whole_file(path);
        ASSERT_TRUE(used.outcome) << used.outcome.error();
        EXPECT_EQ(used.calls, 1);
        EXPECT_EQ(used.bytes, bytes);
    }
}

TEST(ReadFile, EmptyFilesAndFilesThatReportNoSizeAreReadToTheirEnd) {
    test::temp_dir dir;
    const auto empty = dir.file("empty", "");
    EXPECT_EQ(file_input::read_whole_file(empty).value_or("x"), "");
    const auto used = use_whole_file(empty);
    EXPECT_TRUE(used.outcome);
    EXPECT_EQ(used.calls, 1);
    EXPECT_EQ(used.bytes, "");

    // Files of /proc are regular files of size 0 with contents.
    if (::access("/proc/self/status", R_OK) != 0) GTEST_SKIP() << "no /proc";
    const auto status = file_input::read_whole_file("/proc/self/status");
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->starts_with("Name:"));
    const auto mapped = use_whole_file("/proc/self/status");
    ASSERT_TRUE(mapped.outcome);
    EXPECT_TRUE(mapped.bytes.starts_with("Name:"));
}

TEST(ReadFile, FailuresNameTheFileAndNeverReachTheCallback) {
    test::temp_dir dir;
    const auto missing = use_whole_file(dir.path + "//nothing///here");
    ASSERT_FALSE(missing.outcome);
    EXPECT_EQ(missing.outcome.error(), dir.path + "/nothing/here: No such file or directory");
    EXPECT_EQ(missing.calls, 0);

    const auto directory = use_whole_file(dir.path + "//");
    ASSERT_FALSE(directory.outcome);
    EXPECT_EQ(directory.outcome.error(), dir.path + "/: Is a directory");
    EXPECT_EQ(directory.calls, 0);
}

// NAME in a reading error is normalised as a stored path is: runs of "/" collapse, a leading "//" stays.
TEST(ReadFile, FailuresShowTheNameWithItsSlashesNormalised) {
    struct Case {
        std::string name;
        std::string message;
    };
    const Case cases[] = {
        {"//tmp//", "//tmp/: Is a directory"},
        {"///tmp", "//tmp: Is a directory"},
        {"////tmp///", "//tmp/: Is a directory"},
        {"/tmp//", "/tmp/: Is a directory"},
        {"/tmp", "/tmp: Is a directory"},
        {"//no-such-quarvel-dir//x", "//no-such-quarvel-dir/x: No such file or directory"},
        {"no-such-quarvel-dir///a//b/", "no-such-quarvel-dir/a/b/: No such file or directory"},
    };
    for (const auto& c : cases) {
        const auto read = file_input::read_whole_file(c.name);
        ASSERT_FALSE(read) << c.name;
        EXPECT_EQ(read.error(), c.message) << c.name;
        const auto used = use_whole_file(c.name);
        ASSERT_FALSE(used.outcome) << c.name;
        EXPECT_EQ(used.outcome.error(), c.message) << c.name;
    }
}

// Standard input (here a regular file) is read from where it stands and left at its end.
TEST(ReadFile, StandardInputIsReadFromItsOffsetToItsEnd) {
    test::temp_dir dir;
    const std::string bytes = patterned(10'000);
    const auto path = dir.file("in", bytes);
    const int saved = ::dup(STDIN_FILENO);
    const auto redirect = [&] {
        const int fd = ::open(path.c_str(), O_RDONLY);
        ::lseek(fd, 3, SEEK_SET);
        ::dup2(fd, STDIN_FILENO);
        ::close(fd);
    };

    redirect();
    const auto used = use_whole_file("-");
    const off_t used_end = ::lseek(STDIN_FILENO, 0, SEEK_CUR);
    redirect();
    const auto read = file_input::read_whole_file("-");
    const off_t read_end = ::lseek(STDIN_FILENO, 0, SEEK_CUR);
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);

    ASSERT_TRUE(used.outcome);
    EXPECT_EQ(used.bytes, bytes.substr(3));
    EXPECT_EQ(used_end, 10'000);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, bytes.substr(3));
    EXPECT_EQ(read_end, 10'000);
}

// Another process may truncate the file while it is mapped: the pages past the new end read as zeros
// instead of ending the process with SIGBUS, and the read fails.
TEST(ReadFile, AFileTruncatedWhileInUseReadsAsZerosAndFails) {
    test::temp_dir dir;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const auto path = dir.file("shrinking", std::string(16 * page, 'x'));
    std::size_t kept = 0, zeros = 0;
    const auto outcome = file_input::with_whole_file(dir.path + "//shrinking", [&](std::string_view bytes) {
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(page)), 0);
        kept = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), 'x'));
        zeros = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\0'));
    });
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error(), dir.path + "/shrinking: file changed while being read");
    EXPECT_EQ(kept, page);
    EXPECT_EQ(zeros, 15 * page);

    // The guard is gone with the call: the next file is read as usual.
    const auto again = use_whole_file(path);
    ASSERT_TRUE(again.outcome);
    EXPECT_EQ(again.bytes, std::string(page, 'x'));
}

// What a user of mapped contents asks before it lets a write from them count: any change of the file
// (another size, another modification time, written in place at the same size), and a write that found
// the pages gone (EFAULT), is "file changed while being read"; so is the call itself then.
TEST(ReadFile, TheSourceCheckSeesEveryChange) {
    test::temp_dir dir;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    struct case_ {
        std::string what;
        std::function<void(const std::string& path)> change;  // none: the file stays as it is
        int write_error = 0;
    };
    const std::vector<case_> cases{
        {"unchanged", {}},
        {"another write's failure", {}, ENOSPC},
        {"a write that found the pages gone", {}, EFAULT},
        {"shrunk", [&](const std::string& path) { ASSERT_EQ(::truncate(path.c_str(), 10), 0); }},
        {"grown", [&](const std::string& path) { ASSERT_EQ(::truncate(path.c_str(), 8 * page), 0); }},
        {"written in place",
         [&](const std::string& path) {
             struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 678}};
             ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
         }},
    };
    for (const auto& c : cases) {
        const auto path = dir.file("f", std::string(4 * page, 'x'));
        const bool changes = c.change || c.write_error == EFAULT;
        quarvel::result<void> before, after;
        const auto outcome = file_input::with_whole_file(
            path, [&](std::string_view, const file_input::prefix_done&, const file_input::source_check& source) {
                before = source(0);
                if (c.change) c.change(path);
                after = source(c.write_error);
            });
        const std::string changed = path + ": file changed while being read";
        EXPECT_TRUE(before) << c.what;
        EXPECT_EQ(after ? "" : after.error(), changes ? changed : "") << c.what;
        EXPECT_EQ(outcome ? "" : outcome.error(), c.change ? changed : "") << c.what;
    }
    // Contents read into a buffer of our own: nothing changes them.
    const int saved = ::dup(STDIN_FILENO);
    const int file = ::open(dir.file("g", "abc").c_str(), O_RDONLY);
    ::dup2(file, STDIN_FILENO);
    ::close(file);
    quarvel::result<void> own = std::unexpected(std::string("not called"));
    const auto outcome = file_input::with_whole_file(
        "-", [&](std::string_view, const file_input::prefix_done&, const file_input::source_check& source) {
            own = source(EFAULT);
        });
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    EXPECT_TRUE(outcome);
    EXPECT_TRUE(own);
}

// Giving up prefixes of a mapped file changes only what stays resident: every byte reads the same after.
TEST(ReadFile, PrefixesGivenUpStillReadTheSameBytes) {
    test::temp_dir dir;
    const std::string bytes = patterned(1'000'003);
    const auto path = dir.file("f", bytes);
    for (const std::string& name : {path, std::string("-")}) {
        std::string after;
        int calls = 0;
        const int saved = ::dup(STDIN_FILENO);
        const int file = ::open(path.c_str(), O_RDONLY);
        ::dup2(file, STDIN_FILENO);
        ::close(file);
        const auto outcome = file_input::with_whole_file(name, [&](std::string_view view, const file_input::prefix_done& done) {
            ++calls;
            for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{4095}, std::size_t{4096},
                                        std::size_t{200'000}, std::size_t{200'000}, std::size_t{999'999},
                                        view.size(), view.size() + 5000})
                done(n);
            after.assign(view);
        }, 0);
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
        ASSERT_TRUE(outcome) << outcome.error();
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(after == bytes) << name;
    }
}

TEST(ReadWholeFile, ReadsEveryByteUnchanged) {
    test::temp_dir dir;
    std::string bytes;
    for (int i = 0; i < 300'000; ++i) bytes += static_cast<char>(i * 7 % 256);
    const auto path = dir.file("big.bin", bytes);
    auto r = file_input::read_whole_file(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, bytes);
}

TEST(ReadWholeFile, FailuresNameTheFileWithSlashesCollapsed) {
    test::temp_dir dir;
    auto missing = file_input::read_whole_file(dir.path + "//nothing///here");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), dir.path + "/nothing/here: No such file or directory");

    auto directory = file_input::read_whole_file(dir.path + "//");
    ASSERT_FALSE(directory);
    EXPECT_EQ(directory.error(), dir.path + "/: Is a directory");
}

}  // namespace
