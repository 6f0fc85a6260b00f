#pragma once
// The JSON forms of the decoded values, each on one line (no line feed), for other programs to read.
//
// Basic values: a text that is valid UTF-8 is a JSON string; any other byte string is {"base64": "..."}
// (RFC 4648, with padding), so nothing is lost. Integers, counts of nanoseconds and sizes are JSON
// numbers; timestamps are strings in the RFC 3339 form of the text output ("2024-01-02T03:04:05-00:00");
// uuids are strings in their text form; a period is "hourly", "daily", "weekly" or "never"; an absent
// optional value is null.
//
// Alternatives carry a "type" member, the alternative's name in lower case ("script_job", "exited",
// "output_timestamped", "dropped_platform"), followed by the payload's fields under their model names.
// An output file is {"path", "size"} and, only when asked for, "data" with its contents.

#include <string>

#include <quarvel/model.hpp>

namespace dump {

struct json_options {
    bool contents = false;  // output files carry their contents as "data"
};

std::string json_of_exec(const quarvel::execution_record& record, const json_options& options);
std::string json_of_state(const quarvel::state& state, const json_options& options);
std::string json_of_cmd(const quarvel::cmd& command, const json_options& options);

// Appends `bytes` as a JSON string when they are valid UTF-8, else as {"base64": "..."}.
void append_json_text(std::string& out, std::string_view bytes);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool valid_utf8(std::string_view bytes);

}  // namespace dump
