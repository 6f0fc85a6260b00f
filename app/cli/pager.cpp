#include "pager.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <quarvel/framing.hpp>
#include <quarvel_internal/posix.hpp>

extern char** environ;

namespace cli {

namespace {

std::optional<std::string> non_empty(const environment_lookup& env, const std::string& name) {
    auto v = env(name);
    if (v && v->empty()) return std::nullopt;
    return v;
}

bool is_executable_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The path of a program named like a shell command word: as given when it holds a "/", else from PATH.
std::optional<std::string> find_program(const std::string& name, const environment_lookup& env) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) {
        if (is_executable_file(name)) return name;
        return std::nullopt;
    }
    const std::string path = env("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(':', start), path.size());
        // Built from a view and appended piecewise: g++ 12 at -O2 misreads assigning "." to the
        // substring as an overlapping copy (-Wrestrict).
        const std::string_view dir = std::string_view(path).substr(start, end - start);
        std::string candidate(dir.empty() ? std::string_view(".") : dir);
        candidate += '/';
        candidate += name;
        if (is_executable_file(candidate)) return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

std::string first_word(const std::string& command) {
    const std::size_t start = command.find_first_not_of(" \t\n");
    if (start == std::string::npos) return {};
    const std::size_t end = command.find_first_of(" \t\n", start);
    return command.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

struct program {
    std::vector<std::string> argv;
};

// MANPAGER and PAGER hold shell commands (they may carry options); less and more are run directly.
std::optional<program> find_pager(const environment_lookup& env) {
    for (const char* variable : {"MANPAGER", "PAGER"}) {
        const auto command = non_empty(env, variable);
        if (command && find_program(first_word(*command), env)) return program{{"/bin/sh", "-c", *command}};
    }
    for (const char* name : {"less", "more"})
        if (auto path = find_program(name, env)) return program{{*path}};
    return std::nullopt;
}

std::optional<program> find_formatter(const environment_lookup& env) {
    if (auto groff = find_program("groff", env)) return program{{*groff, "-m", "man", "-T", "utf8"}};
    if (auto mandoc = find_program("mandoc", env)) return program{{*mandoc, "-T", "utf8"}};
    if (auto nroff = find_program("nroff", env)) return program{{*nroff, "-man"}};
    return std::nullopt;
}

// A temporary file, removed when the object goes.
struct temporary_file {
    std::string path;
    int fd = -1;

    explicit temporary_file(const environment_lookup& env) {
        std::string pattern = non_empty(env, "TMPDIR").value_or("/tmp") + "/quarvel-manual-XXXXXX";
        fd = ::mkstemp(pattern.data());
        if (fd >= 0) path = pattern;
    }
    ~temporary_file() {
        if (fd >= 0) {
            ::close(fd);
            ::unlink(path.c_str());
        }
    }
    temporary_file(const temporary_file&) = delete;
    temporary_file& operator=(const temporary_file&) = delete;

    bool write_all(std::string_view data) const {
        return quarvel::posix::write_all(fd, data) == 0 && ::lseek(fd, 0, SEEK_SET) == 0;
    }
};

// Runs a program with its standard input from `input_fd` and its standard output to `output_fd` (-1:
// inherited); true when it exits with status 0.
bool run_program(const program& p, int input_fd, int output_fd, const std::vector<std::string>& extra_env) {
    posix_spawn_file_actions_t actions;
    if (::posix_spawn_file_actions_init(&actions) != 0) return false;
    ::posix_spawn_file_actions_adddup2(&actions, input_fd, 0);
    if (output_fd >= 0) ::posix_spawn_file_actions_adddup2(&actions, output_fd, 1);

    std::vector<char*> argv;
    for (const auto& a : p.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) envp.push_back(*e);
    for (const auto& e : extra_env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    if (quarvel::ign_intr(::waitpid, pid, &status, 0) < 0) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool page(const program& pager, std::string_view text, const environment_lookup& env,
          const std::vector<std::string>& pager_env) {
    temporary_file input(env);
    if (input.fd < 0 || !input.write_all(text)) return false;
    return run_program(pager, input.fd, -1, pager_env);
}

bool format_and_page(const program& pager, const std::string& groff_source, const environment_lookup& env,
                     const std::vector<std::string>& pager_env) {
    const auto formatter = find_formatter(env);
    if (!formatter) return false;
    temporary_file source(env), formatted(env);
    if (source.fd < 0 || formatted.fd < 0 || !source.write_all(groff_source)) return false;
    if (!run_program(*formatter, source.fd, formatted.fd, {})) return false;
    if (::lseek(formatted.fd, 0, SEEK_SET) != 0) return false;
    return run_program(pager, formatted.fd, -1, pager_env);
}

}  // namespace

void show_paged(const std::string& groff_source, const std::string& plain_text, const environment_lookup& env,
                const std::function<void(std::string_view)>& write_out) {
    std::fflush(stdout);
    if (const auto pager = find_pager(env)) {
        std::vector<std::string> pager_env;
        if (!env("LESS")) pager_env.push_back("LESS=FRX");
        if (format_and_page(*pager, groff_source, env, pager_env)) return;
        if (page(*pager, plain_text, env, pager_env)) return;
    }
    write_out(plain_text);
}

}  // namespace cli
