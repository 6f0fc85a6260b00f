#pragma once
// The quoted form's escapes written in place, for output built without a string per line.

#include <string_view>

namespace quarvel {

// The escaped bytes of the quoted form, without the quotes, written at `to`, which has room for
// 4 × s.size() bytes; returns the end. Bytes past the end, within that room, may have been written too
// (whole blocks are stored at once): only the bytes before the end returned are the escaped text.
char* write_escaped(char* to, std::string_view s);

}  // namespace quarvel
