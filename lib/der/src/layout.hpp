#pragma once
// The one layout rule of message boxes: pieces joined by breaks. A break prints as one space when the
// space and the next piece fit before the margin, else as a line feed and indentation to the box's
// column. Linear in the output: the column is tracked, never recomputed.

#include <cstddef>
#include <string>
#include <string_view>

#include <der/dump.hpp>

namespace quarvel::der::detail {

// Stands for the string a layout writes and only counts its octets, so that the string can be reserved at
// its final size by laying the same pieces out twice.
struct octet_count {
    std::size_t size = 0;

    void append(std::string_view text) { size += text.size(); }
    void append(std::size_t count, char) { size += count; }
    void push_back(char) { ++size; }
};

template <class Out>
struct box {
    Out& out;
    std::size_t indent;  // the column that lines after a line feed start at
    std::size_t column;  // the current column

    void piece(std::string_view text) {
        out.append(text);
        column += text.size();
    }
    // A break before a piece of `width` columns.
    void brk(std::size_t width) {
        if (column + 1 + width <= margin) {
            out.push_back(' ');
            ++column;
        } else {
            out.push_back('\n');
            out.append(indent, ' ');
            column = indent;
        }
    }
};

}  // namespace quarvel::der::detail
