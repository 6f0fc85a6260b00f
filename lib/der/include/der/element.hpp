#pragma once
// Reading DER elements. `parse` checks one complete element, every level of it, before any grammar
// looks at it, so every byte-level error wins over a type error. Elements are views into the input:
// nothing is copied. A child is read only from its parent's contents.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <der/result.hpp>
#include <der/tag.hpp>

namespace der {

// Elements nested deeper than this are refused while parsing ("nesting deeper than 64 levels"); the
// outermost element is level 1.
inline constexpr std::size_t max_depth = 64;

struct element {
    der::tag tag;
    der::form form = form::primitive;  // primitive or constructed, never `any`
    std::string_view contents;         // the contents octets, a view into the parsed input
};

struct parsed {
    element root;
    std::size_t size = 0;  // octets the element occupies from offset 0 of the input
};

// Reads and checks one complete element at offset 0 of `input`. The octets after it are not examined.
// Errors carry the exact messages of the DER byte rules ("Unexpected EOF (msg index out of bounds): ...",
// "Header: at ...: redundant form", "Constructed indefinite form", "nesting deeper than 64 levels", ...).
result<parsed> parse(std::string_view input);

// Walks the children of a constructed element that `parse` has accepted, left to right.
struct child_cursor {
    std::string_view rest;  // the contents not yet read

    explicit child_cursor(const element& parent) : rest(parent.contents) {}
    bool done() const { return rest.empty(); }
    // The next child; must not be called when done(). The headers were checked by `parse`.
    element next();
    // The next child without consuming it; must not be called when done().
    element peek() const;
};

// All children of a constructed element that `parse` has accepted.
std::vector<element> children(const element& parent);

// The element list of messages: "[" item texts separated by "," and a break "]"; a break prints as a
// space unless the line would pass the 78-column margin, when it becomes a line feed and indentation.
// `column` is the column at which the list begins.
std::string element_list(const std::vector<element>& elements, std::size_t column);

}  // namespace der
