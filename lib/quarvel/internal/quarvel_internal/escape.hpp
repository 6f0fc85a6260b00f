#pragma once
// The quoted form's escapes written in place, for output built without a string per line.

#include <string_view>

namespace quarvel {

// The escaped bytes of the quoted form, without the quotes, written at `to`, which has room for
// 4 × s.size() bytes; returns the end.
char* write_escaped(char* to, std::string_view s);

}  // namespace quarvel
