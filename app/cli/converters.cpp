#include "converters.hpp"

#include <sys/stat.h>

#include <utility>

#include "matching.hpp"
#include "messages.hpp"

namespace cli {

namespace {

// stat needs a terminated string; a name with an embedded NUL names nothing.
bool stat_path(std::string_view path, struct stat& st) {
    const std::string terminated(path);
    if (terminated.find('\0') != std::string::npos) return false;
    return ::stat(terminated.c_str(), &st) == 0;
}

// The file and directory conversions are named types so that `shape_of` can recognise them.
struct file_or_stdin_converter {
    quarvel::result<converted> operator()(std::string_view text, const presentation& p) const {
        struct stat st {};
        if (text != "-" && !stat_path(text, st)) return std::unexpected(no_file_or_directory_reason(p, text));
        return converted{std::string(text)};
    }
};

struct directory_converter {
    quarvel::result<converted> operator()(std::string_view text, const presentation& p) const {
        struct stat st {};
        if (!stat_path(text, st)) return std::unexpected(no_directory_reason(p, text));
        if (!S_ISDIR(st.st_mode)) return std::unexpected(not_a_directory_reason(p, text));
        return converted{std::string(text)};
    }
};

}  // namespace

converter any_text() {
    return [](std::string_view text, const presentation&) -> quarvel::result<converted> {
        return converted{std::string(text)};
    };
}

converter existing_file_or_stdin() { return file_or_stdin_converter{}; }

converter existing_directory() { return directory_converter{}; }

quarvel::result<converted> enumeration_converter::operator()(std::string_view text, const presentation& p) const {
    const match m = find_key(keys, text, p.legacy_prefixes);
    switch (m.outcome) {
        case match_outcome::found: return converted{values[m.index]};
        case match_outcome::ambiguous: return std::unexpected(ambiguous_value_reason(p, text, m.candidates));
        case match_outcome::not_found: break;
    }
    return std::unexpected(invalid_value_reason(p, text, keys));
}

converter enumeration(std::vector<std::string> keys) {
    std::vector<std::pair<std::string, std::size_t>> entries;
    entries.reserve(keys.size());
    for (auto& key : keys) entries.emplace_back(std::move(key), entries.size());
    return enumeration(std::move(entries));
}

value_shape shape_of(const converter& c) {
    if (c.target<enumeration_converter>() != nullptr) return value_shape::keys;
    if (c.target<file_or_stdin_converter>() != nullptr) return value_shape::file;
    if (c.target<directory_converter>() != nullptr) return value_shape::directory;
    return value_shape::text;
}

const std::vector<std::string>* enumeration_keys(const converter& c) {
    const auto* e = c.target<enumeration_converter>();
    return e != nullptr ? &e->keys : nullptr;
}

}  // namespace cli
