#pragma once
// The library's text forms of a state and a command write most texts from the input as they are: names,
// platforms, an opam package, an aborted execution's message, a failure's message, output paths. Those
// forms are no verbatim output of quarvel-dump, whose `--framed cmd` follows a live connection: an
// untrusted peer's text must neither steer the operator's terminal nor forge a line. Before a value is
// printed, each such text is made safe by the terminal rule (text/terminal_text.hpp), in place: printable
// text stays byte for byte, and a value with nothing to escape is left untouched, without a copy. The
// texts the forms quote already (a console line's output) and those they never print (a script, the
// output files' contents) are left as they are.

#include <quarvel/model.hpp>

namespace dump {

void escape_printed_texts(quarvel::state& state);
void escape_printed_texts(quarvel::state_item& item);
void escape_printed_texts(quarvel::cmd& command);

}  // namespace dump
