#pragma once
// quarvel-dump's run: decode one value of the chosen kind from a file, or each frame of a capture, and
// write its text form, its JSON form or its encoding in the current form on standard output.

#include <string>

#include <quarvel/basic.hpp>

namespace dump {

// What FILE holds (the KIND values, in the order of their keys).
enum class input_kind { state, cmd, exec };

// What is written for each value.
enum class output_form { text, json, encoding };

struct settings {
    input_kind kind = input_kind::cmd;
    output_form form = output_form::text;
    bool framed = false;    // FILE is a capture of frames, each holding one value
    bool contents = false;  // JSON: output files with their contents
};

// Text and JSON are written whatever the log level: they are the tool's product, not log messages.
// An encoding is refused before anything is read when standard output is a terminal. An error's text,
// which may quote the input, is shown by the terminal rule (cli/terminal_text.hpp).
quarvel::result<void> run(const settings& s, const std::string& file);

}  // namespace dump
