#pragma once
// The JSON forms of the decoded values, each on one line (no line feed), for other programs to read.
//
// Basic values: a text that is valid UTF-8 is a JSON string; any other byte string is {"base64": "..."}
// (RFC 4648, with padding), so nothing is lost. In a string, what a terminal would act on (a control
// character, DEL, a C1 or bidirectional control, U+2028, U+2029) is written as \uXXXX. Integers, counts
// of nanoseconds and sizes are JSON numbers; a count of nanoseconds that crosses DER as an INTEGER is that
// INTEGER's signed number, also where the model holds it unsigned (an Output_timestamped timestamp), so
// that one wire number reads the same everywhere. Timestamps are strings in the RFC 3339 form of the text
// output with the fraction of a second kept ("2024-01-02T03:04:05-00:00", "2024-01-02T03:04:05.250-00:00");
// uuids are strings in their text form; a period is "hourly", "daily", "weekly" or "never"; an absent
// optional value is null.
//
// Alternatives carry a "type" member, the alternative's name in lower case ("script_job", "exited",
// "output_timestamped", "dropped_platform"), followed by the payload's fields under their model names.
// An output file is {"path", "size"} and, only when asked for, "data" with its contents.
//
// The forms are written piece by piece into an output buffer, so that a value is never held twice: the JSON
// of a record with a console line of 50 MB goes out through the buffer.

#include <string>
#include <string_view>

#include <quarvel/model.hpp>
#include <quarvel_toolkit/salvage.hpp>

#include "output/buffer.hpp"

namespace dump {

struct json_options {
    bool contents = false;  // output files carry their contents as "data"
};

void write_json(output::buffer& out, const quarvel::execution_record_view& record, const json_options& options);
void write_json(output::buffer& out, const quarvel::state& state, const json_options& options);
// One item of a state, as the array of the state holds it: a state read item by item is written as "[",
// its items separated by ",", then "]".
void write_json(output::buffer& out, const quarvel::state_item& item);
// What a broken record holds whole (--salvage): the record's members that were read, in their places,
// then "cut":{"offset":O,"path":PATH}, the place of the fault ("path" left out when there is none).
void write_json(output::buffer& out, const quarvel::asn::salvaged_record& record, const json_options& options,
                std::uint64_t offset, std::string_view path);
void write_json(output::buffer& out, const quarvel::cmd& command, const json_options& options);

// Writes `bytes` as a JSON string when they are valid UTF-8, else as {"base64": "..."}.
void write_json_text(output::buffer& out, std::string_view bytes);
// The same, appended to a string.
void append_json_text(std::string& out, std::string_view bytes);

// A timestamp's RFC 3339 text: the text output's form, with the fraction of a second, when there is one,
// before the offset, in three digits (milliseconds, all that DER times carry), or six or nine when finer.
std::string json_timestamp_text(quarvel::timestamp t);

}  // namespace dump
