#include "inspect/export.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include <quarvel/log.hpp>
#include <quarvel/pp.hpp>
#include <quarvel_toolkit/posix.hpp>

#include "output/ignored_signal.hpp"

namespace inspect {

namespace {

// An open directory descriptor that closes itself, unless it is the export's root.
struct directory_handle {
    int fd = -1;
    bool owned = false;
    directory_handle() = default;
    directory_handle(int d, bool own) : fd(d), owned(own) {}
    directory_handle(directory_handle&& other) noexcept : fd(other.fd), owned(other.owned) { other.owned = false; }
    directory_handle& operator=(directory_handle&& other) noexcept {
        if (this != &other) {
            release();
            fd = other.fd;
            owned = other.owned;
            other.owned = false;
        }
        return *this;
    }
    directory_handle(const directory_handle&) = delete;
    directory_handle& operator=(const directory_handle&) = delete;
    ~directory_handle() { release(); }
    void release() {
        if (owned && fd >= 0) ::close(fd);
        owned = false;
    }
};

// Directories are only walked through, never listed: a directory that may be searched and written but
// not read still takes files.
#ifdef O_PATH
constexpr int directory_access = O_PATH;
#else
constexpr int directory_access = O_RDONLY;
#endif
constexpr int directory_flags = directory_access | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool has_parent_segment(std::string_view path) {
    while (!path.empty()) {
        const auto slash = path.find('/');
        if (path.substr(0, slash) == "..") return true;
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return false;
}

// Opens (creating it with 0755 when missing) one directory below `parent` without following a symbolic
// link; a directory created meanwhile by someone else is as good as one created here.
int open_or_create_directory(int parent, const std::string& name) {
    int fd = ::openat(parent, name.c_str(), directory_flags);
    if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(parent, name.c_str(), 0755) != 0 && errno != EEXIST) return -1;
        fd = ::openat(parent, name.c_str(), directory_flags);
    }
    return fd;
}

// Walks `parents` ("a/b/c", possibly empty) down from `root`, creating what is missing, outermost first.
bool open_parent_directory(int root, std::string_view parents, directory_handle& out) {
    directory_handle current(root, false);
    std::string segment;
    while (!parents.empty()) {
        const auto slash = parents.find('/');
        segment.assign(parents.substr(0, slash));
        parents.remove_prefix(slash == std::string_view::npos ? parents.size() : slash + 1);
        if (segment.empty()) continue;
        const int next = open_or_create_directory(current.fd, segment);
        if (next < 0) return false;
        current = directory_handle(next, true);
    }
    out = std::move(current);
    return true;
}

// ".<name>.tmp-<pid>-<counter>", with the name cut so the whole stays within NAME_MAX.
std::string temporary_name(std::string_view name, unsigned long counter) {
    std::string tmp = ".";
    tmp += name.substr(0, 200);
    tmp += ".tmp-";
    tmp += std::to_string(::getpid());
    tmp += '-';
    tmp += std::to_string(counter);
    return tmp;
}

// Creates a new temporary file in `dir`; returns its descriptor and fills `tmp` with its name.
int create_temporary(int dir, std::string_view name, std::string& tmp) {
    static unsigned long counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = temporary_name(name, counter++);
        const int fd = ::openat(dir, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Fails only when the source of `bytes` changed: the temporary file is then removed, the target kept.
quarvel::result<void> write_file_at(int dir, const std::string& name, std::string_view bytes,
                                    const file_input::source_check& source) {
    std::string tmp;
    const int fd = create_temporary(dir, name, tmp);
    if (fd < 0) return {};
    const int write_error = quarvel::posix::write_all(fd, bytes);
    const bool closed = ::close(fd) == 0;
    // What was written is the record's only if its file is still what was read, asked after the last
    // byte left it and before the target is replaced.
    auto unchanged = source(write_error);
    if (write_error != 0 || !closed || !unchanged || ::renameat(dir, tmp.c_str(), dir, name.c_str()) != 0)
        ::unlinkat(dir, tmp.c_str(), 0);
    return unchanged;
}

quarvel::result<void> export_one(int root, std::string_view path, std::string_view data,
                                 const file_input::source_check& source) {
    const auto first = path.find_first_not_of('/');
    const std::string_view relative = first == std::string_view::npos ? std::string_view() : path.substr(first);

    if (has_parent_segment(relative)) {
        quarvel::log::warning(quarvel::log::library,
                              "refusing output file " + quarvel::quoted(path) + ": its path has a \"..\" segment");
        return {};
    }
    if (path.starts_with('/'))
        quarvel::log::warning(quarvel::log::library, "removing leading \"/\" from output file " + quarvel::quoted(path));
    if (relative.empty() || relative.back() == '/') return {};

    const auto slash = relative.rfind('/');
    const std::string_view parents = slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash);
    const std::string name(slash == std::string_view::npos ? relative : relative.substr(slash + 1));

    directory_handle parent;
    if (!open_parent_directory(root, parents, parent)) return {};
    return write_file_at(parent.fd, name, data, source);
}

template <class Files>
quarvel::result<void> export_files(const std::string& directory, const Files& files,
                                   const file_input::source_check& source) {
    if (files.empty()) return {};
    // A file beyond the file-size limit is a failed write like any other (EFBIG): its temporary file is
    // removed and the next entry is written, instead of SIGXFSZ ending the process in the middle of it.
    const output::ignored_signal file_size_limit(SIGXFSZ);
    // The directory itself is the user's choice and may be reached through symbolic links.
    const int root = ::open(directory.c_str(), directory_access | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return {};
    quarvel::result<void> done;
    for (const auto& file : files) {
        done = export_one(root, file.path, file.data, source);
        if (!done) break;  // a changed source: nothing more read from it replaces a target
    }
    ::close(root);
    return done;
}

}  // namespace

quarvel::result<void> export_output(const std::string& directory, std::span<const quarvel::output_file_view> files,
                                    const file_input::source_check& source) {
    return export_files(directory, files, source);
}

}  // namespace inspect
