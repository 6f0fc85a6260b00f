#pragma once
// Styled text as the command-line layer prints it: spans of normal, bold and italic text, their rendering
// for terminals (SGR escapes or nothing) and the line filling of messages and manual paragraphs.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class text_style { normal, bold, italic };

struct span {
    std::string text;
    text_style style = text_style::normal;
};

using rich_text = std::vector<span>;

// The SGR sequences of the layer. Italic shows as underline on terminals.
inline constexpr std::string_view sgr_bold = "\x1b[01m";
inline constexpr std::string_view sgr_underline = "\x1b[04m";
inline constexpr std::string_view sgr_red = "\x1b[31m";
inline constexpr std::string_view sgr_reset = "\x1b[m";

// Columns a text takes on a terminal: code points, with SGR escape sequences taking none.
std::size_t visible_width(std::string_view text);

// One word of rich text: the spans between two runs of white space.
using rich_word = std::vector<span>;

// Splits rich text into words at runs of white space (line breaks included).
std::vector<rich_word> words_of(const rich_text& text);

// A word for a terminal: styled spans wrapped in SGR sequences when `styled`, bare otherwise.
std::string terminal_word(const rich_word& word, bool styled);

// Rich text for a terminal on one line: words joined by single spaces.
std::string terminal_line(const rich_text& text, bool styled);

// Fills words into lines of at most `width` columns. The first line continues at `column`, where the
// cursor already is; continuation lines are indented to `indent`. A word that fits on no line stands alone.
// `line_end` entries force a line end before the word of the same index. No final line end is written.
std::string fill(const std::vector<std::string>& words, const std::vector<bool>& line_end, std::size_t column,
                 std::size_t indent, std::size_t width);

// The message box: spaces are break points (a run counts as one), a single line break counts as a space,
// two line breaks in a row force a line end; lines fit in `width` columns and continue at `column`.
std::string message_box(std::string_view text, std::size_t column, std::size_t width);

// The same, appended to `out`; room for one more character (a line end) is reserved with it.
void append_message_box(std::string& out, std::string_view text, std::size_t column, std::size_t width);

// The message box laid out as its text comes, in pieces of any size, handed to `out` in pieces as it is laid
// out: `message_box` is this over a whole text, and a message too large to hold (a decoder's dump of a whole
// large input) is written with it as it is made. Only the word being read is held.
// The box is the tree's one layout of breaks (der/layout.hpp); the words and the breaks of the message's
// text are the writer's own.
class message_box_writer {
public:
    message_box_writer(std::size_t column, std::size_t width, std::function<void(std::string_view)> out)
        : out_{std::move(out)}, column_(column), width_(width), col_(column) {}
    // More of the message's text.
    void write(std::string_view text);
    // The end of the message; nothing is written after it.
    void finish();

private:
    void end_word();

    // The box's output: every piece handed on as it is laid out.
    struct piece_output {
        std::function<void(std::string_view)> put;
        void append(std::string_view text) const { put(text); }
        void append(std::size_t count, char c) const { put(std::string(count, c)); }
        void push_back(char c) const { put(std::string_view(&c, 1)); }
    };

    piece_output out_;
    std::size_t column_, width_, col_;
    std::string word_;
    bool line_empty_ = true;
    bool forced_ = false;         // two line breaks in a row since the last word
    bool pending_break_ = false;  // a break point since the last word
    bool after_line_break_ = false;
};

}  // namespace cli
