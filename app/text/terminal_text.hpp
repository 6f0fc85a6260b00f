#pragma once
// Text from input on its way to a terminal, outside the verbatim outputs (the job line, the transcript,
// the script, the library's text forms): a name, a value, a field of a summary, a decoder's message. A
// terminal obeys what it is sent, so a crafted name could set the window title, move the cursor over a
// line already printed, or reorder the text it shows. As `ls` and git quote names, what a terminal would
// act on instead of showing is written as a visible escape; printable text stays exactly as it is, so a
// message about printable input reads byte for byte the same as before.
//
// Escapes:
//   \a \b \t \n \v \f \r \e   BEL, BS, TAB, LF, VT, FF, CR, ESC
//   \xNN                      any other C0 control byte, DEL, and each byte that is no valid UTF-8
//                             (overlong forms, surrogates, beyond U+10FFFF, cut short, stray)
//   \uNNNN                    a C1 control (U+0080 to U+009F) written in UTF-8; a bidirectional
//                             control (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069),
//                             which would reorder what follows; U+2028 and U+2029, which break lines
// Hexadecimal digits are lowercase. A backslash stays a single backslash: the escaped text is for a reader,
// never parsed back, and doubling it would change every message that quotes a printable name holding one.
// So the rule is idempotent: an escaped text has nothing left to escape, and a message that passes two
// layers that apply it reads the same as after one. Where distinct texts must never read alike (a preview
// between double quotes), `append_quoted_terminal_text` doubles the backslash and escapes the quote too.

#include <string>
#include <string_view>

namespace text {

// Whether a terminal acts on the code point instead of showing it: a C0 control, DEL, a C1 control, a
// bidirectional control, U+2028 or U+2029 (the code points the rule above writes as escapes). Other
// outputs that must keep such characters off a terminal (the JSON strings) ask the same question.
bool acts_on_terminal(char32_t code);

// `text` safe for a terminal, by the rule above.
std::string terminal_text(std::string_view text);

// The same, appended to `out`.
void append_terminal_text(std::string& out, std::string_view text);

// The same in place: `text` is left as it is, without a copy, when it has nothing to escape.
void make_terminal_text(std::string& text);

// `text` between double quotes, by the rule above and losslessly: a backslash is written as two and a
// double quote as a backslash and the quote, so that an escape always begins with a lone backslash and no
// two texts read alike: the octet 0xff shows as "\xff", the four characters \xff as "\\xff".
void append_quoted_terminal_text(std::string& out, std::string_view text);

// An error message that may quote input, for the message box of the command-line layer: the rule above,
// except that a line feed stays, because the box lays each one out as a break point (a decoder's octet
// dump is laid out over several lines) and never writes it as it is. A message with nothing to escape
// is returned as it is, without a copy: a decoder's message can hold a dump of a whole large input.
std::string terminal_message(std::string message);

}  // namespace text
