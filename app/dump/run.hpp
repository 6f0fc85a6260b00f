#pragma once
// quarvel-dump's run: decode one value of the chosen kind from each file, or each frame of a capture, and
// write its text form, its JSON form or its encoding in the current form on standard output.

#include <functional>
#include <string>
#include <vector>

#include <quarvel/basic.hpp>

namespace dump {

// What FILE holds (the KIND values, in the order of their keys); `der` is any DER, listed element by
// element.
enum class input_kind { state, cmd, exec, der };

// What is written for each value.
enum class output_form { text, json, encoding };

struct settings {
    input_kind kind = input_kind::cmd;
    output_form form = output_form::text;
    bool framed = false;    // FILE is a capture of frames, each holding one value
    bool contents = false;  // JSON: output files with their contents
    bool salvage = false;   // exec: a broken record's whole members, then the place of its fault
};

// Text and JSON are written whatever the log level: they are the tool's product, not log messages.
// Everything is written through one output buffer (output/buffer.hpp), by its policy: a reader that went
// away (EPIPE) ends the run without a message. An encoding is refused before anything is read when
// standard output is a terminal. An error's text, which may quote the input, is shown by the terminal rule
// (text/terminal_text.hpp).
quarvel::result<void> run(const settings& s, const std::string& file);

// Says the failure of one FILE among several, which does not end the run (cli::values::report_error).
using error_report = std::function<void(std::string message)>;

// Each FILE in turn, in the order given; one FILE alone is `run` on it. With several, the text of each
// FILE follows a line "==> NAME <==" (after an empty line but for the first), each JSON line begins with
// "file":NAME, and encoded frames (--framed) follow each other as one capture; a FILE that cannot be read
// or decoded, or a bad frame, is said as "NAME: MESSAGE" through `report` in its place among the output,
// and the next FILE follows. The run then fails without a message of its own.
quarvel::result<void> run(const settings& s, const std::vector<std::string>& files, const error_report& report);

}  // namespace dump
