#pragma once
// Runs a program with arguments, standard input and environment changes, and captures standard output,
// standard error and the exit status: the black-box view of a tool.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace test {

struct outcome {
    std::string out;
    std::string err;
    int status = -1;  // the exit status, or 128 + signal number
    long max_rss_kib = 0;  // the child's peak resident memory
};

struct run_options {
    std::string input;                                         // fed to standard input
    std::map<std::string, std::optional<std::string>> env;      // set (value) or unset (nullopt)
    bool clear_style_env = true;                               // unset TERM, NO_COLOR and friends first
    std::optional<std::string> cwd;
};

outcome run(const std::vector<std::string>& argv, const run_options& options = {});

// A fresh temporary directory, removed with everything in it when the object goes.
struct temp_dir {
    std::string path;
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    std::string file(const std::string& name, const std::string& contents) const;  // writes, returns path
};

std::string read_file(const std::string& path);

}  // namespace test
