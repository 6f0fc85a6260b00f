#include "read_file.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <der/element.hpp>
#include <quarvel/framing.hpp>
#include <quarvel_toolkit/path_rule.hpp>
#include <quarvel_toolkit/posix.hpp>

#include "file_input/memory_limit.hpp"
#include "text/terminal_text.hpp"

namespace file_input {

namespace {

// NAME as it appears in messages: normalised as a stored path is, and shown by the terminal rule, as a
// name from a glob may hold anything.
std::string shown_name(std::string name) {
    quarvel::collapse_slashes(name);
    return text::terminal_text(name);
}

std::string failure(const std::string& name, int err) {
    return shown_name(name) + ": " + quarvel::posix::describe_error(err);
}

// The input's descriptor: standard input is borrowed, a named file is opened here and closed by `close`.
struct input {
    int fd = -1;
    bool owned = false;
    struct stat st{};
    bool stat_ok = false;

    bool regular_with_size() const { return stat_ok && S_ISREG(st.st_mode) && st.st_size > 0; }
    // A pipe, a terminal, a socket or a device: nothing tells where it ends, and it may never end.
    bool stream() const { return !stat_ok || !S_ISREG(st.st_mode); }
    // What remains to be read of a regular file, as far as its size tells (0 when it tells nothing);
    // standard input may have been read from before.
    std::size_t expected_size() const {
        if (!regular_with_size()) return 0;
        const off_t at = owned ? 0 : ::lseek(fd, 0, SEEK_CUR);
        if (at < 0 || at >= st.st_size) return 0;
        return static_cast<std::size_t>(st.st_size - at);
    }
    void close() {
        if (owned && fd >= 0) ::close(fd);
        fd = -1;
    }
};

quarvel::result<input> open_input(const std::string& name) {
    input in;
    in.owned = name != "-";
    in.fd = in.owned ? ::open(name.c_str(), O_RDONLY | O_CLOEXEC) : STDIN_FILENO;
    if (in.fd < 0) return std::unexpected(failure(name, errno));
    in.stat_ok = ::fstat(in.fd, &in.st) == 0;
    return in;
}

// Appends what one read of at most `want` octets returns, without zero-filling the string first.
// Returns the count (0 at the end of the file) or -1 with `err` set.
ssize_t append_read(int fd, std::string& bytes, std::size_t want, int& err) {
    ssize_t got = 0;
    quarvel::posix::append_in_place(bytes, want, [&](char* at) {
        got = quarvel::posix::read_once(fd, at, want);
        if (got < 0) err = errno;
        return static_cast<std::size_t>(std::max<ssize_t>(got, 0));
    });
    return got;
}

// Reads to the end of the file. With `expected` octets announced (a regular file's size), exactly that
// much is reserved and read, and a one-octet probe into a separate buffer confirms the end, so the
// buffer is neither zero-filled nor regrown; a file that has grown meanwhile is read on in chunks.
// Returns 0 or the error number.
int read_to_end(int fd, std::string& bytes, std::size_t expected) {
    int err = 0;
    if (expected > 0) {
        quarvel::posix::append_in_place(bytes, expected, [&](char* at) {
            const auto got = quarvel::posix::read_exactly(fd, at, expected);
            err = got.error;
            return got.count;
        });
        if (err != 0) return err;
        if (bytes.size() < expected) return 0;  // the file shrank meanwhile: what was there is the whole file
        char probe;
        const ssize_t got = quarvel::posix::read_once(fd, &probe, 1);
        if (got == 0) return 0;
        if (got < 0) return errno;
        bytes.push_back(probe);
    }
    for (;;) {
        const std::size_t want = std::max<std::size_t>(65536, bytes.capacity() - bytes.size());
        const ssize_t got = append_read(fd, bytes, want, err);
        if (got == 0) return 0;
        if (got < 0) return err;
    }
}

// What the octets read so far tell of the extent of the first DER element: the header as the element
// reader checks it, only to learn how far to read.
struct element_extent {
    enum class kind { header_incomplete, known, refused } what = kind::header_incomplete;
    std::uint64_t octets = 0;  // known: header and contents; header_incomplete: the octets the header needs at least
};

element_extent first_element_extent(std::string_view in) {
    using kind = element_extent::kind;
    const der::header_start h = der::read_header_start(in);
    if (!h.fault) return {kind::known, h.fields.size + h.fields.length};
    if (*h.fault == der::header_fault::index_out_of_bounds && !h.hopeless) return {kind::header_incomplete, h.needed};
    return {kind::refused, 0};
}

// Reads a stream no further than its first element and one octet more: the tools' inputs are one DER
// element each, and past that octet a decoder only says "trailing bytes". An endless stream (`yes`,
// /dev/zero) so ends as soon as its header is in, and a header that cannot be valid ends the read at once;
// the decoder then says what is wrong with the octets read. Returns 0 or the error number.
int read_first_element(int fd, std::string& bytes) {
    using kind = element_extent::kind;
    int err = 0;
    for (;;) {
        const element_extent extent = first_element_extent(bytes);
        if (extent.what == kind::refused) return 0;
        // A header is read in the octets it needs, so that nothing past the element is taken.
        std::uint64_t want = extent.octets - bytes.size();
        if (extent.what == kind::known) {
            const std::uint64_t limit = extent.octets + 1;
            if (bytes.size() >= limit) return 0;
            want = std::min<std::uint64_t>(limit - bytes.size(),
                                           std::max<std::size_t>(65536, bytes.capacity() - bytes.size()));
        }
        const ssize_t got = append_read(fd, bytes, static_cast<std::size_t>(want), err);
        if (got == 0) return 0;
        if (got < 0) return err;
    }
}

// Reads what the input holds: a regular file to its end, a stream as far as its first element reaches.
// Memory that the input's size (or a stream's claim, followed by endless octets) asks for and the system
// refuses is a failure of this input like any other ("Cannot allocate memory"), not a fault of the tool.
int read_input(const input& in, std::string& bytes) {
    try {
        return in.stream() ? read_first_element(in.fd, bytes) : read_to_end(in.fd, bytes, in.expected_size());
    } catch (const std::bad_alloc&) {
        bytes = std::string();
        return ENOMEM;
    }
}

// While a mapped file is in use, a file that another process truncates would kill this process with
// SIGBUS at the first access past the new end. The guard maps zero pages over the rest of the mapping
// instead and notes the loss, so that the run ends with a message. Single-threaded use, one mapping at
// a time (a nested guard saves and restores the outer one).
struct bus_guard {
    char* begin = nullptr;
    std::size_t size = 0;
    std::size_t page = 4096;
    volatile std::sig_atomic_t lost = 0;
    struct sigaction previous{};
};
constinit bus_guard guard;

void on_bus_error(int signo, siginfo_t* info, void*) {
    char* const at = static_cast<char*>(info->si_addr);
    if (info->si_code > 0 && guard.begin != nullptr && at >= guard.begin && at < guard.begin + guard.size) {
        char* const from = guard.begin + static_cast<std::size_t>(at - guard.begin) / guard.page * guard.page;
        const std::size_t length = static_cast<std::size_t>(guard.begin + guard.size - from);
        if (::mmap(from, length, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            guard.lost = 1;
            return;
        }
    }
    // Not a lost page of the mapping: the signal goes to whoever handled it before. A fault recurs when
    // the access is retried; a signal that was sent is raised again.
    ::sigaction(SIGBUS, &guard.previous, nullptr);
    if (info->si_code <= 0) ::raise(signo);
}

// Installs the guard over one mapping for its lifetime; the outer guard, if any, comes back after it.
class bus_guard_scope {
public:
    bus_guard_scope(const char* mapping, std::size_t size) : outer_(guard) {
        guard.begin = const_cast<char*>(mapping);
        guard.size = size;
        guard.page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        guard.lost = 0;
        struct sigaction handler{};
        handler.sa_sigaction = on_bus_error;
        handler.sa_flags = SA_SIGINFO;
        sigemptyset(&handler.sa_mask);
        ::sigaction(SIGBUS, &handler, &replaced_);
        guard.previous = replaced_;
    }
    ~bus_guard_scope() {
        ::sigaction(SIGBUS, &replaced_, nullptr);
        guard.begin = outer_.begin;
        guard.size = outer_.size;
        guard.page = outer_.page;
        guard.lost = outer_.lost;
        guard.previous = outer_.previous;
    }
    bus_guard_scope(const bus_guard_scope&) = delete;
    bus_guard_scope& operator=(const bus_guard_scope&) = delete;

    bool lost() const { return guard.lost != 0; }

private:
    struct saved {
        char* begin;
        std::size_t size, page;
        std::sig_atomic_t lost;
        struct sigaction previous;
        explicit saved(const bus_guard& g) : begin(g.begin), size(g.size), page(g.page), lost(g.lost), previous(g.previous) {}
    } outer_;
    struct sigaction replaced_{};
};

// Whether the file behind `fd` is no longer what `before` describes: another size or another modification
// time (truncated, grown or written since), or no longer to be asked.
bool changed_since(int fd, const struct stat& before) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) return true;
    return now.st_size != before.st_size || now.st_mtim.tv_sec != before.st_mtim.tv_sec ||
           now.st_mtim.tv_nsec != before.st_mtim.tv_nsec;
}

// A mapped file larger than this share of the memory the process may fill gives up its pages as they
// are done with.
constexpr std::uint64_t large_against_memory = 4;

// A read-only private mapping of a whole regular file, unmapped when it goes.
struct mapped_file {
    void* address = MAP_FAILED;
    std::size_t size = 0;

    mapped_file(int fd, std::size_t n) : address(::mmap(nullptr, n, PROT_READ, MAP_PRIVATE, fd, 0)), size(n) {}
    ~mapped_file() {
        if (address != MAP_FAILED) ::munmap(address, size);
    }
    mapped_file(const mapped_file&) = delete;
    mapped_file& operator=(const mapped_file&) = delete;

    bool ok() const { return address != MAP_FAILED; }
    const char* data() const { return static_cast<const char*>(address); }
};

// Drops the mapping's whole pages below a growing prefix from the process's memory. The page cache keeps
// the file, and a dropped page that is read again comes back from it unchanged (the mapping is private
// and never written), so this only changes what stays resident.
struct prefix_release {
    const mapped_file& mapping;
    std::size_t page;
    std::size_t released = 0;  // the pages below this offset are dropped

    void operator()(std::size_t prefix) {
        const std::size_t until = std::min(prefix, mapping.size) / page * page;
        if (until <= released) return;
        ::madvise(const_cast<char*>(mapping.data()) + released, until - released, MADV_DONTNEED);
        released = until;
    }
};

}  // namespace

quarvel::result<std::string> read_whole_file(const std::string& name) {
    auto in = open_input(name);
    if (!in) return std::unexpected(std::move(in.error()));
    std::string bytes;
    const int err = read_input(*in, bytes);
    in->close();
    if (err != 0) return std::unexpected(failure(name, err));
    return bytes;
}

quarvel::result<void> with_whole_file(const std::string& name, const std::function<void(std::string_view)>& use) {
    return with_whole_file(name, [&](std::string_view bytes, const prefix_done&) { use(bytes); });
}

quarvel::result<void> with_whole_file(const std::string& name,
                                      const std::function<void(std::string_view, const prefix_done&)>& use,
                                      std::optional<std::uint64_t> release_above) {
    return with_whole_file(
        name, [&](std::string_view bytes, const prefix_done& release, const source_check&) { use(bytes, release); },
        release_above);
}

quarvel::result<void> with_whole_file(
    const std::string& name, const std::function<void(std::string_view, const prefix_done&, const source_check&)>& use,
    std::optional<std::uint64_t> release_above) {
    auto in = open_input(name);
    if (!in) return std::unexpected(std::move(in.error()));

    // Standard input is read, not mapped: it may have been read from before, and it must be left at its end.
    if (in->owned && in->regular_with_size() &&
        static_cast<std::uintmax_t>(in->st.st_size) <= std::numeric_limits<std::size_t>::max()) {
        const std::size_t size = static_cast<std::size_t>(in->st.st_size);
        // Pages come in as they are first read (the kernel maps the page cache around each fault in
        // large pieces), so what the decoder never looks at, say past an early error, is never touched.
        const mapped_file mapping(in->fd, size);
        if (mapping.ok()) {
            // The file must end where fstat said; one that has grown since is read below instead.
            char probe;
            const ssize_t got = quarvel::ign_intr(::pread, in->fd, &probe, 1, static_cast<off_t>(size));
            const int err = errno;
            if (got < 0) {
                in->close();
                return std::unexpected(failure(name, err));
            }
            if (got == 0) {
                const bus_guard_scope guarded(mapping.data(), size);
                // Pages given up are read again when the record is printed or exported: worth it only
                // for a file that the memory the process may fill would not hold beside the rest.
                const prefix_done release =
                    size > (release_above ? *release_above : memory_limit() / large_against_memory)
                        ? prefix_done(prefix_release{mapping, static_cast<std::size_t>(::sysconf(_SC_PAGESIZE))})
                        : prefix_done([](std::size_t) {});
                // The descriptor stays open while the contents are used: the file is asked whether it
                // changed, not its name, which may meanwhile name another file.
                const source_check unchanged = [&](int write_error) -> quarvel::result<void> {
                    if (write_error == EFAULT || guarded.lost() || changed_since(in->fd, in->st))
                        return std::unexpected(shown_name(name) + ": file changed while being read");
                    return {};
                };
                use(std::string_view(mapping.data(), size), release, unchanged);
                auto after = unchanged(0);
                in->close();
                return after;
            }
        }
        // Not mappable (some file systems refuse), or grown meanwhile: read it.
    }

    std::string bytes;
    const int err = read_input(*in, bytes);
    in->close();
    if (err != 0) return std::unexpected(failure(name, err));
    // A buffer of our own goes as a whole, and nothing changes it.
    use(bytes, [](std::size_t) {}, [](int) -> quarvel::result<void> { return {}; });
    return {};
}

quarvel::result<int> open_file_or_stdin(const std::string& name) {
    auto in = open_input(name);
    if (!in) return std::unexpected(std::move(in.error()));
    return in->fd;
}

std::string file_failure(const std::string& name, int error_number) { return failure(name, error_number); }

}  // namespace file_input
