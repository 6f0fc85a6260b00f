#include <gtest/gtest.h>

#include <unistd.h>

#include "inspect/jump.hpp"
#include "support/process.hpp"

namespace {

const std::string tool = QUARVEL_INSPECT_BINARY;

TEST(ReadWholeFile, ReadsEveryByteUnchanged) {
    test::temp_dir dir;
    std::string bytes;
    for (int i = 0; i < 300'000; ++i) bytes += static_cast<char>(i * 7 % 256);
    const auto path = dir.file("big.bin", bytes);
    auto r = inspect::read_whole_file(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, bytes);
}

TEST(ReadWholeFile, FailuresNameTheFileWithSlashesCollapsed) {
    test::temp_dir dir;
    auto missing = inspect::read_whole_file(dir.path + "//nothing///here");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), dir.path + "/nothing/here: No such file or directory");

    auto directory = inspect::read_whole_file(dir.path + "//");
    ASSERT_FALSE(directory);
    EXPECT_EQ(directory.error(), dir.path + "/: Is a directory");
}

TEST(Spine, DirectoryAsFileFailsWithTheReasonAndStatus124) {
    test::temp_dir dir;
    auto r = test::run({tool, dir.path});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quarvel-inspect: " + dir.path + ": Is a directory\n");
}

TEST(Spine, UnreadableFileFailsWithTheReason) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    test::temp_dir dir;
    const auto path = dir.file("rec.der", "x");
    ::chmod(path.c_str(), 0);
    auto r = test::run({tool, path});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, "quarvel-inspect: " + path + ": Permission denied\n");
}

}  // namespace
