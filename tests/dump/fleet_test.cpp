// The README's fleet of records: its commands run as shown, and print what the README says they print.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/process.hpp"

namespace {

const std::string tool = QUARVEL_DUMP_BINARY;

TEST(Fleet, TheReadmesTableIsWhatItShows) {
    if (std::system("command -v sqlite3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no sqlite3";
    const std::string readme = test::read_file(std::string(QUARVEL_SOURCE_DIR) + "/README.md");
    const std::size_t section = readme.find("### A fleet of records");
    ASSERT_NE(section, std::string::npos);
    const std::size_t begin = readme.find("```sh\n", section) + 6;
    const std::size_t end = readme.find("```\n", begin);
    // The commands, and after them as comments what they print.
    std::string script, shown;
    for (std::size_t at = begin; at < end;) {
        const std::size_t eol = readme.find('\n', at);
        const std::string line = readme.substr(at, eol - at);
        at = eol + 1;
        if (line.rfind("# ", 0) == 0) {
            shown += line.substr(2) + "\n";
            continue;
        }
        script += line + "\n";
    }
    for (std::size_t at = script.find("build/tools/app/quarvel-dump"); at != std::string::npos;
         at = script.find("build/tools/app/quarvel-dump", at))
        script.replace(at, std::string("build/tools/app/quarvel-dump").size(), tool);

    test::temp_dir dir;
    std::filesystem::create_directory(dir.path + "/samples");
    std::filesystem::copy_file(std::string(QUARVEL_SOURCE_DIR) + "/samples/hello.der", dir.path + "/samples/hello.der");
    test::run_options in_dir;
    in_dir.cwd = dir.path;
    const auto r = test::run({"/bin/sh", "-c", script}, in_dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, shown);
    EXPECT_EQ(r.err, "");
}

}  // namespace
