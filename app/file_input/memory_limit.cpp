#include "memory_limit.hpp"

#include <algorithm>
#include <charconv>
#include <fcntl.h>
#include <limits>
#include <string>
#include <string_view>
#include <unistd.h>

#include <quarvel_toolkit/posix.hpp>

namespace file_input {

namespace {

constexpr std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();

// The start of the small file `path` (a control file of the kernel's), empty when it cannot be read. Plain
// reads: the tool's start-up pays for no stream library.
std::string small_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char buffer[4096];
    const quarvel::posix::read_outcome got = quarvel::posix::read_exactly(fd, buffer, sizeof buffer);
    ::close(fd);
    return got.error == 0 ? std::string(buffer, got.count) : std::string();
}

// The number that the control file `path` holds; "max", an absent file or anything else is no limit.
std::uint64_t limit_in(const std::string& path) {
    const std::string text = small_file(path);
    const std::string_view word = std::string_view(text).substr(0, text.find_first_of(" \n"));
    std::uint64_t n = 0;
    const auto [end, err] = std::from_chars(word.data(), word.data() + word.size(), n);
    return !word.empty() && err == std::errc() && end == word.data() + word.size() ? n : unlimited;
}

// The least limit of the group `group` (a path like "/a/b") and of the groups above it, each read from
// `root` + group + "/" + `file`.
std::uint64_t least_limit(const std::string& root, std::string group, const std::string& file) {
    std::uint64_t least = unlimited;
    for (;;) {
        least = std::min(least, limit_in(root + group + "/" + file));
        if (group.empty() || group == "/") return least;
        group.erase(group.rfind('/'));
    }
}

}  // namespace

std::uint64_t memory_limit() {
    std::uint64_t least = unlimited;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0) least = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page);
    // Lines of /proc/self/cgroup: "0::/path" for cgroup v2, "N:memory:/path" (or a list of controllers
    // holding "memory") for v1.
    const std::string groups = small_file("/proc/self/cgroup");
    for (std::size_t at = 0; at < groups.size();) {
        const std::size_t line_end = std::min(groups.find('\n', at), groups.size());
        const std::string_view line = std::string_view(groups).substr(at, line_end - at);
        at = line_end + 1;
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) continue;
        const std::string controllers(line.substr(first + 1, second - first - 1));
        const std::string group(line.substr(second + 1));
        if (controllers.empty())
            least = std::min(least, least_limit("/sys/fs/cgroup", group, "memory.max"));
        else if (("," + controllers + ",").find(",memory,") != std::string::npos)
            least = std::min(least, least_limit("/sys/fs/cgroup/memory", group, "memory.limit_in_bytes"));
    }
    return least;
}

}  // namespace file_input
