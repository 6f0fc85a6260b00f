#include "rich_text.hpp"

#include <der/layout.hpp>

namespace cli {

namespace {

bool is_white_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view opening(text_style style) {
    switch (style) {
        case text_style::bold: return sgr_bold;
        case text_style::italic: return sgr_underline;
        case text_style::normal: break;
    }
    return {};
}

}  // namespace

std::size_t visible_width(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0x1b && i + 1 < text.size() && text[i + 1] == '[') {
            // A control sequence ends at its final byte, 0x40 to 0x7e.
            i += 2;
            while (i < text.size() && !(text[i] >= 0x40 && text[i] <= 0x7e)) ++i;
            continue;
        }
        if ((c & 0xc0) != 0x80) ++width;
    }
    return width;
}

std::vector<rich_word> words_of(const rich_text& text) {
    std::vector<rich_word> words;
    rich_word current;
    for (const auto& s : text) {
        bool new_span = true;
        for (const char c : s.text) {
            if (is_white_space(c)) {
                if (!current.empty()) words.push_back(std::move(current));
                current.clear();
                new_span = true;
                continue;
            }
            if (new_span) current.push_back(span{{}, s.style});
            new_span = false;
            current.back().text += c;
        }
    }
    if (!current.empty()) words.push_back(std::move(current));
    return words;
}

std::string terminal_word(const rich_word& word, bool styled) {
    std::string out;
    for (const auto& s : word) {
        if (styled && s.style != text_style::normal) {
            out += opening(s.style);
            out += s.text;
            out += sgr_reset;
        } else {
            out += s.text;
        }
    }
    return out;
}

std::string terminal_line(const rich_text& text, bool styled) {
    std::string out;
    for (const auto& w : words_of(text)) {
        if (!out.empty()) out += ' ';
        out += terminal_word(w, styled);
    }
    return out;
}

std::string fill(const std::vector<std::string>& words, const std::vector<bool>& line_end, std::size_t column,
                 std::size_t indent, std::size_t width) {
    std::string out;
    std::size_t col = column;
    bool line_empty = true;
    const auto new_line = [&] {
        out += '\n';
        out.append(indent, ' ');
        col = indent;
        line_empty = true;
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::size_t w = visible_width(words[i]);
        if (i > 0 && i < line_end.size() && line_end[i]) new_line();
        else if (!line_empty && col + 1 + w > width) new_line();
        if (!line_empty) {
            out += ' ';
            ++col;
        }
        out += words[i];
        col += w;
        line_empty = false;
    }
    return out;
}

std::string message_box(std::string_view text, std::size_t column, std::size_t width) {
    std::string out;
    append_message_box(out, text, column, width);
    return out;
}

void append_message_box(std::string& out, std::string_view text, std::size_t column, std::size_t width) {
    // Decoder messages can hold a dump of a whole large input: no second copy of the text on the way out.
    quarvel::der::append_measured(out, [&](auto& o) {
        message_box_writer box(column, width, [&](std::string_view piece) { o.append(piece); });
        box.write(text);
        box.finish();
    }, 1);
}

// One character at a time, so that the text may come in pieces; only the word being read is held.
void message_box_writer::write(std::string_view text) {
    for (const char c : text) {
        if (c == ' ' || c == '\n') {
            end_word();
            if (c == '\n' && after_line_break_) forced_ = true;
            after_line_break_ = c == '\n';
            pending_break_ = !line_empty_;
            continue;
        }
        after_line_break_ = false;
        word_ += c;
    }
}

void message_box_writer::end_word() {
    if (word_.empty()) return;
    const std::size_t w = visible_width(word_);
    quarvel::der::box<const piece_output> box{out_, column_, col_, width_};
    if (!line_empty_ && forced_) box.line_end();
    else if (!line_empty_) box.brk(w);
    box.piece(word_, w);
    col_ = box.column;
    word_.clear();
    line_empty_ = false;
    forced_ = false;
    pending_break_ = false;
}

void message_box_writer::finish() {
    end_word();
    // A break point that ends the message is still one space ("...: " stays as it is).
    if (pending_break_) out_.push_back(' ');
    pending_break_ = false;
}

}  // namespace cli
