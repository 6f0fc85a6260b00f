// The manual in the pager, run as from a terminal: the tool starts in a new session on a pseudo-terminal,
// with a pager script in MANPAGER, and Ctrl-C reaches the whole foreground process group. The pager owns
// the terminal until it exits; the tool waits for it, leaves no temporary file behind, and does not go on
// showing the manual some other way once the user stopped it.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "support/process.hpp"

namespace {

namespace fs = std::filesystem;

const std::string tool = QUARVEL_INSPECT_BINARY;

// Ctrl-C is the pager's: it notes it and goes on until told to quit, as less does.
const std::string surviving_pager = R"(#!/bin/sh
trap 'echo interrupted >> "$PAGER_LOG"' INT
cat > /dev/null
echo started >> "$PAGER_LOG"
while [ ! -e "$PAGER_QUIT" ]; do sleep 0.02; done
echo done >> "$PAGER_LOG"
)";

// Ctrl-C ends the pager, as it ends more.
const std::string ending_pager = R"(#!/bin/sh
cat > /dev/null
echo started >> "$PAGER_LOG"
exec sleep 60
)";

struct terminal_run {
    pid_t pid = -1;
    int master = -1;
};

// Starts `quarvel-inspect --help=pager` as the leader of a new session whose controlling terminal is a
// fresh pseudo-terminal, so its process group is the terminal's foreground group.
terminal_run start_on_terminal(const test::temp_dir& dir, const std::string& pager) {
    terminal_run run;
    run.master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (run.master < 0 || ::grantpt(run.master) != 0 || ::unlockpt(run.master) != 0) return run;
    const std::string terminal = ::ptsname(run.master);
    run.pid = ::fork();
    if (run.pid != 0) return run;
    ::setsid();
    const int slave = ::open(terminal.c_str(), O_RDWR);
    if (slave < 0) ::_exit(126);
    ::ioctl(slave, TIOCSCTTY, 0);
    for (int fd = 0; fd < 3; ++fd) ::dup2(slave, fd);
    ::close(slave);
    ::close(run.master);
    for (int s : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE}) ::signal(s, SIG_DFL);
    ::setenv("TERM", "xterm", 1);
    ::setenv("PATH", "/usr/bin:/bin", 1);
    ::setenv("TMPDIR", (dir.path + "/tmp").c_str(), 1);
    ::setenv("MANPAGER", pager.c_str(), 1);
    ::setenv("PAGER_LOG", (dir.path + "/log").c_str(), 1);
    ::setenv("PAGER_QUIT", (dir.path + "/quit").c_str(), 1);
    ::unsetenv("PAGER");
    ::unsetenv("LESS");
    ::execl(tool.c_str(), tool.c_str(), "--help=pager", static_cast<char*>(nullptr));
    ::_exit(127);
}

bool still_running(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

// Waits, boundedly, until the pager's log holds `line`; false when the tool ended first or it never came.
bool wait_for_log(const test::temp_dir& dir, const std::string& line, pid_t pid) {
    for (int i = 0; i < 2000; ++i) {
        if (test::read_file(dir.path + "/log").find(line + "\n") != std::string::npos) return true;
        if (!still_running(pid)) return false;
        ::usleep(10'000);
    }
    return false;
}

int wait_for_end(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> temporary_files(const test::temp_dir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path + "/tmp")) names.push_back(entry.path().filename());
    return names;
}

std::string terminal_output(int master) {
    std::string out;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(master, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    return out;
}

struct pager_case {
    const char* name;
    const std::string& script;
    bool through_shell;  // MANPAGER needs a shell (here: a quoted argument), which runs the pager
    int signal;
    bool to_group;   // Ctrl-C from the terminal reaches the whole group; SIGTERM is sent to the tool alone
    int status;      // the tool's end: exit status, or 128 + the signal that ended it
    bool pager_done; // the pager ran to its normal end
};

TEST(PagerSignals, ThePagerOwnsTheTerminalAndNothingIsLeftBehind) {
    const std::vector<pager_case> cases{
        {"Ctrl-C that the pager survives", surviving_pager, false, SIGINT, true, 0, true},
        {"Ctrl-\\ that the pager survives", surviving_pager, false, SIGQUIT, true, 0, true},
        {"Ctrl-C that ends the pager", ending_pager, false, SIGINT, true, 128 + SIGINT, false},
        // The shell and the pager it runs ignore Ctrl-C: the shell would not wait for the pager.
        {"Ctrl-C with a pager run by a shell", surviving_pager, true, SIGINT, true, 0, true},
        {"SIGTERM to the tool, which ends once its pager has", surviving_pager, false, SIGTERM, false,
         128 + SIGTERM, true},
    };
    const int probe = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (probe < 0) GTEST_SKIP() << "no pseudo-terminals here";
    ::close(probe);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::temp_dir dir;
        fs::create_directory(dir.path + "/tmp");
        const auto pager = dir.file("pager", c.script);
        ::chmod(pager.c_str(), 0755);
        if (c.signal == SIGQUIT) {
            // The survivor traps SIGQUIT the same way.
            std::string script = c.script;
            script.replace(script.find("' INT"), 5, "' QUIT");
            dir.file("pager", script);
        }
        const terminal_run run = start_on_terminal(dir, c.through_shell ? pager + " 'an argument'" : pager);
        ASSERT_GT(run.pid, 0);
        // Whatever fails below, nothing of the run outlives the case.
        const auto cleanup = [&](void*) {
            ::kill(-run.pid, SIGKILL);
            if (still_running(run.pid)) wait_for_end(run.pid);
        };
        const std::unique_ptr<void, decltype(cleanup)> guard(reinterpret_cast<void*>(1), cleanup);
        ASSERT_TRUE(wait_for_log(dir, "started", run.pid));
        EXPECT_FALSE(temporary_files(dir).empty());  // the page the pager reads

        ::kill(c.to_group ? -run.pid : run.pid, c.signal);
        if (c.pager_done) {
            if (c.to_group && !c.through_shell) {
                ASSERT_TRUE(wait_for_log(dir, "interrupted", run.pid));
            }
            // The tool still waits for its pager.
            EXPECT_TRUE(still_running(run.pid));
            dir.file("quit", "");
        }
        EXPECT_EQ(wait_for_end(run.pid), c.status);
        const std::string log = test::read_file(dir.path + "/log");
        EXPECT_EQ(log.ends_with("done\n"), c.pager_done) << log;
        EXPECT_EQ(temporary_files(dir), std::vector<std::string>{});
        // Stopped is stopped: the manual is not shown again on the terminal.
        EXPECT_EQ(terminal_output(run.master).find("SYNOPSIS"), std::string::npos);
        ::close(run.master);
    }
}

}  // namespace
