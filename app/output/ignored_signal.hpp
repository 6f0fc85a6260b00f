#pragma once
// Ignoring a signal for a while, so that the system call that would raise it fails with its error number
// instead of ending the process: a write to a pipe without a reader fails with EPIPE instead of raising
// SIGPIPE, a write beyond the file-size limit with EFBIG instead of raising SIGXFSZ.

#include <csignal>

namespace output {

// The signal is ignored while the object lives; its former disposition comes back when it goes.
struct ignored_signal {
    int number;
    struct sigaction former {};
    bool changed = false;

    explicit ignored_signal(int signal_number) : number(signal_number) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        changed = ::sigaction(number, &ignore, &former) == 0;
    }
    ~ignored_signal() {
        if (changed) ::sigaction(number, &former, nullptr);
    }
    ignored_signal(const ignored_signal&) = delete;
    ignored_signal& operator=(const ignored_signal&) = delete;
};

}  // namespace output
