#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <quarvel/log.hpp>

#include "inspect/export.hpp"
#include "support/process.hpp"

namespace {

namespace fs = std::filesystem;
using quarvel::output_file;

// Collects what the export logs, and leaves the log as it was found.
struct log_capture {
    std::vector<std::pair<quarvel::log::level, std::string>> messages;
    log_capture() {
        quarvel::log::set_level(quarvel::log::level::warning);
        quarvel::log::set_reporter([this](const quarvel::log::source&, quarvel::log::level lvl, std::string_view,
                                          std::string_view text) { messages.emplace_back(lvl, std::string(text)); });
    }
    ~log_capture() { quarvel::log::set_reporter({}); }
};

// The export of owned entries, as the tool exports the entries it reads in place: through views of them,
// from a source that never changes.
void export_owned(const std::string& directory, const quarvel::data& files) {
    std::vector<quarvel::output_file_view> viewed;
    for (const auto& f : files) viewed.push_back({f.path, f.data});
    const file_input::source_check unchanging = [](int) -> quarvel::result<void> { return {}; };
    ASSERT_TRUE(inspect::export_output(directory, viewed, unchanging));
}

// A temporary directory with the export target "out" inside it, so that escapes would be visible.
struct workspace {
    test::temp_dir top;
    std::string out = top.path + "/out";
    workspace() { fs::create_directory(out); }
};

TEST(Export, WritesNestedEntriesWithTheirExactBytes) {
    workspace w;
    log_capture log;
    const std::string binary("\0\xff\n\r x", 6);
    std::string big(3'000'000, 'q');
    big[1'234'567] = '\0';
    export_owned(w.out, {{"a/b.txt", "hello"},
                                   {"c.txt", binary},
                                   {"deep/x/y/z.bin", big},
                                   {"./d/./e", "dots"},
                                   {"empty", ""},
                                   {std::string(255, 'n'), "longest name"}});
    EXPECT_EQ(test::tree(w.out), (std::vector<std::string>{"a/", "a/b.txt", "c.txt", "d/", "d/e", "deep/", "deep/x/",
                                                     "deep/x/y/", "deep/x/y/z.bin", "empty", std::string(255, 'n')}));
    EXPECT_EQ(test::read_file(w.out + "/" + std::string(255, 'n')), "longest name");
    EXPECT_EQ(test::read_file(w.out + "/a/b.txt"), "hello");
    EXPECT_EQ(test::read_file(w.out + "/c.txt"), binary);
    EXPECT_EQ(test::read_file(w.out + "/deep/x/y/z.bin"), big);
    EXPECT_EQ(test::read_file(w.out + "/d/e"), "dots");
    EXPECT_EQ(test::read_file(w.out + "/empty"), "");
    EXPECT_TRUE(log.messages.empty());
}

TEST(Export, DirectoryWithATrailingSlashWorksToo) {
    workspace w;
    export_owned(w.out + "/", {{"a/b", "1"}});
    EXPECT_EQ(test::read_file(w.out + "/a/b"), "1");
}

TEST(Export, TheLaterOfTwoEntriesWithOnePathWinsAndReplacesAnExistingFile) {
    workspace w;
    w.top.file("out/same", "old contents");
    export_owned(w.out, {{"same", "first"}, {"same", "second"}});
    EXPECT_EQ(test::read_file(w.out + "/same"), "second");
    EXPECT_EQ(test::tree(w.out), (std::vector<std::string>{"same"}));
}

TEST(Export, ModesAre0644And0755ReducedByTheCreationMask) {
    workspace w;
    const mode_t old = ::umask(027);
    export_owned(w.out, {{"d/f", "x"}});
    ::umask(old);
    struct stat st{};
    ASSERT_EQ(::stat((w.out + "/d").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    ASSERT_EQ(::stat((w.out + "/d/f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(Export, FailingEntriesAreSkippedSilentlyAndLaterOnesWritten) {
    workspace w;
    log_capture log;
    w.top.file("out/file", "a regular file");
    fs::create_directories(w.out + "/dir/inner");
    export_owned(w.out, {{"file/x.txt", "under a file"},  // parent is a regular file
                                   {"file/deeper/x", "deeper"},
                                   {"dir", "onto a directory"},      // target is a directory
                                   {"trailing/", "no name"},          // ends with "/"
                                   {"later.txt", "written"}});
    EXPECT_EQ(test::tree(w.out), (std::vector<std::string>{"dir/", "dir/inner/", "file", "later.txt"}));
    EXPECT_EQ(test::read_file(w.out + "/file"), "a regular file");
    EXPECT_EQ(test::read_file(w.out + "/later.txt"), "written");
    EXPECT_TRUE(log.messages.empty());
}

TEST(Export, UnwritableDirectoryIsSkippedAndNothingIsLeftBehind) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    workspace w;
    fs::create_directory(w.out + "/ro");
    w.top.file("out/ro/kept", "old");
    ::chmod((w.out + "/ro").c_str(), 0555);
    export_owned(w.out, {{"ro/kept", "new"}, {"ro/sub/x", "x"}, {"ok", "y"}});
    ::chmod((w.out + "/ro").c_str(), 0755);
    EXPECT_EQ(test::tree(w.out), (std::vector<std::string>{"ok", "ro/", "ro/kept"}));
    EXPECT_EQ(test::read_file(w.out + "/ro/kept"), "old");
}

TEST(Export, DirectoriesThatCannotBeListedStillTakeFiles) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    workspace w;
    fs::create_directory(w.out + "/hidden");
    ::chmod((w.out + "/hidden").c_str(), 0300);
    ::chmod(w.out.c_str(), 0300);
    export_owned(w.out, {{"hidden/x", "1"}, {"y", "2"}});
    ::chmod(w.out.c_str(), 0755);
    ::chmod((w.out + "/hidden").c_str(), 0755);
    EXPECT_EQ(test::tree(w.out), (std::vector<std::string>{"hidden/", "hidden/x", "y"}));
}

TEST(Export, AbsolutePathsAreWrittenBelowTheDirectoryWithAWarning) {
    workspace w;
    log_capture log;
    export_owned(w.out, {{"/abs/x.txt", "1"}, {"//twice", "2"}, {"/", "3"}});
    EXPECT_EQ(test::tree(w.top.path), (std::vector<std::string>{"out/", "out/abs/", "out/abs/x.txt", "out/twice"}));
    EXPECT_EQ(test::read_file(w.out + "/abs/x.txt"), "1");
    EXPECT_EQ(test::read_file(w.out + "/twice"), "2");
    using quarvel::log::level;
    EXPECT_EQ(log.messages, (std::vector<std::pair<level, std::string>>{
                                {level::warning, "removing leading \"/\" from output file \"/abs/x.txt\""},
                                {level::warning, "removing leading \"/\" from output file \"//twice\""},
                                {level::warning, "removing leading \"/\" from output file \"/\""},
                            }));
}

TEST(Export, PathsWithAParentSegmentAreRefusedWithAWarning) {
    workspace w;
    log_capture log;
    export_owned(w.out, {{"../escape.txt", "1"},
                                   {"a/../../escape2.txt", "2"},
                                   {"a/..", "3"},
                                   {"..", "4"},
                                   {"/../root-escape", "5"},
                                   {"..\x1b[31m", "6"},  // not a ".." segment: a name of its own
                                   {"ok..", "7"}});
    EXPECT_EQ(test::tree(w.top.path), (std::vector<std::string>{"out/", "out/..\x1b[31m", "out/ok.."}));
    ASSERT_EQ(log.messages.size(), 5u);
    EXPECT_EQ(log.messages[0].second, "refusing output file \"../escape.txt\": its path has a \"..\" segment");
    EXPECT_EQ(log.messages[1].second, "refusing output file \"a/../../escape2.txt\": its path has a \"..\" segment");
    EXPECT_EQ(log.messages[4].second, "refusing output file \"/../root-escape\": its path has a \"..\" segment");
    for (const auto& [lvl, text] : log.messages) EXPECT_EQ(lvl, quarvel::log::level::warning);
}

TEST(Export, WarningsQuoteThePathSoItCannotDriveTheTerminal) {
    workspace w;
    log_capture log;
    export_owned(w.out, {{"../\x1b]0;owned\x07\n", "x"}});
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].second, "refusing output file \"../\\027]0;owned\\007\\n\": its path has a \"..\" segment");
}

TEST(Export, SymbolicLinksPlantedInsideAreNeverFollowedOut) {
    workspace w;
    log_capture log;
    const std::string outside = w.top.path + "/outside";
    fs::create_directory(outside);
    w.top.file("outside/victim", "untouched");
    fs::create_directory(w.out + "/a");
    fs::create_directory_symlink(outside, w.out + "/link");
    fs::create_directory_symlink(outside, w.out + "/a/link");
    fs::create_symlink(outside + "/victim", w.out + "/file-link");

    export_owned(w.out, {{"link/victim", "through a directory link"},
                                   {"link/new", "through a directory link"},
                                   {"a/link/deeper/new", "through a nested link"},
                                   {"file-link", "replaces the link itself"},
                                   {"after", "written"}});
    EXPECT_EQ(test::tree(outside), (std::vector<std::string>{"victim"}));
    EXPECT_EQ(test::read_file(outside + "/victim"), "untouched");
    EXPECT_EQ(test::tree(w.out), (std::vector<std::string>{"a/", "a/link@", "after", "file-link", "link@"}));
    EXPECT_FALSE(fs::is_symlink(w.out + "/file-link"));
    EXPECT_EQ(test::read_file(w.out + "/file-link"), "replaces the link itself");
    EXPECT_TRUE(log.messages.empty());
}

TEST(Export, MissingOrUnusableDirectoryWritesNothing) {
    workspace w;
    export_owned(w.out + "/missing", {{"a", "1"}});
    w.top.file("plain", "x");
    export_owned(w.top.path + "/plain", {{"a", "1"}});
    EXPECT_EQ(test::tree(w.top.path), (std::vector<std::string>{"out/", "plain"}));
}

}  // namespace
