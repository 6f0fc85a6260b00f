#pragma once
// The one layout rule of boxes of text, used by every box of the tree (the codec's octet dumps and element
// lists in messages, the command line's message box): pieces joined by breaks. A break prints as one space
// when the space and the next piece fit before the margin, else as a line feed and indentation to the box's
// column. Linear in the output: the column is tracked, never recomputed.
//
// And the one way such a text is made when it may be large (a decoder's dump of a whole input): laid out
// twice, counted and then written, into a string reserved once at its final size.

#include <cstddef>
#include <string>
#include <string_view>

#include <der/dump.hpp>

namespace quarvel::der {

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
    std::size_t indent;           // the column that lines after a line feed start at
    std::size_t column;           // the current column
    std::size_t width = margin;   // the right margin

    // A piece as wide as its octets.
    void piece(std::string_view text) { piece(text, text.size()); }
    // A piece `columns` wide on a terminal (escape sequences take none, a character of several octets one).
    void piece(std::string_view text, std::size_t columns) {
        out.append(text);
        column += columns;
    }
    // A break before a piece of `columns` columns.
    void brk(std::size_t columns) {
        if (column + 1 + columns <= width) {
            out.push_back(' ');
            ++column;
        } else {
            line_end();
        }
    }
    // A line end whatever fits: the next piece starts the next line, at the box's column.
    void line_end() {
        out.push_back('\n');
        out.append(indent, ' ');
        column = indent;
    }
};

// Appends what `lay_out(o)` writes to `o` (a string or an octet_count, as `auto&`) to `out`, reserved once at
// its size and `extra` octets more (for what the caller appends after it).
template <class LayOut>
void append_measured(std::string& out, LayOut&& lay_out, std::size_t extra = 0) {
    octet_count count;
    lay_out(count);
    out.reserve(out.size() + count.size + extra);
    lay_out(out);
}

}  // namespace quarvel::der
