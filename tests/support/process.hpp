#pragma once
// Runs a program with arguments, standard input and environment changes, and captures standard output,
// standard error and the exit status: the black-box view of a tool.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
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

// The launcher below `run`, for a test that drives the child itself: a pipe read in steps or closed early,
// a pseudo-terminal, a file under a size limit. Each descriptor that is not -1 becomes the child's standard
// input, output or error (one descriptor may serve two); `prepare` runs in the child just before the
// program starts (limits, signal dispositions, environment, other descriptors to close).
struct spawn_options {
    int in = -1;
    int out = -1;
    int err = -1;
    std::function<void()> prepare;
};

// The child's process id; the program's failure to start ends the child with 127.
pid_t spawn(const std::vector<std::string>& argv, const spawn_options& options);

// Waits for the child (through interruptions) and returns its exit status, or 128 + the signal number.
int wait_for(pid_t pid);

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

// Every path below `root`, sorted, directories with a trailing "/", symbolic links with a trailing "@".
std::vector<std::string> tree(const std::string& root);

}  // namespace test
