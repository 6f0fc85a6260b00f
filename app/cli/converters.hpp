#pragma once
// The standard conversions of argument values.

#include <any>
#include <string>
#include <utility>
#include <vector>

#include "command.hpp"

namespace cli {

// Any text, unchanged.
converter any_text();

// The name of an existing file or directory (symbolic links followed); "-" (standard input) is accepted
// without a check. The value is the text given.
converter existing_file_or_stdin();

// The name of an existing directory (symbolic links followed). The value is the text given.
converter existing_directory();

// One of the keys, looked up by exact text (by unique prefix with legacy prefixes); when a key appears
// twice the later entry takes precedence. The value is what the matching key stands for. The keys stay in
// declaration order: messages list them so, and `enumeration_keys` gives them back.
struct enumeration_converter {
    std::vector<std::string> keys;
    std::vector<std::any> values;  // what each key stands for, in the order of `keys`

    quarvel::result<converted> operator()(std::string_view text, const presentation& p) const;
};

// An enumeration of keys and the values of type T they stand for; `values::choice<T>` reads the value.
template <class T>
converter enumeration(std::vector<std::pair<std::string, T>> entries) {
    enumeration_converter e;
    for (auto& [key, value] : entries) {
        e.keys.push_back(std::move(key));
        e.values.emplace_back(std::move(value));
    }
    return e;
}

// An enumeration of bare keys: each stands for its index in `keys`.
converter enumeration(std::vector<std::string> keys);

// The keys of an enumeration, in declaration order; null when `c` is another conversion.
const std::vector<std::string>* enumeration_keys(const converter& c);

// What the values of a conversion look like, for shell completion: any text, one of an enumeration's
// keys, a file name or a directory name.
enum class value_shape { text, keys, file, directory };
value_shape shape_of(const converter& c);

}  // namespace cli
