#pragma once
// What a broken job execution record still holds: quarvel-dump --salvage. Built into the library, not
// installed.

#include <optional>
#include <string_view>
#include <vector>

#include <quarvel/model.hpp>

namespace quarvel::asn {

/// The members of a record that lie whole before its fault, in wire order: each one present only when
/// it, and everything before it, was read; the console lines and output files that are whole, up to the
/// first that is not. Texts are views into the bytes salvaged, as in `execution_record_view`.
struct salvaged_record {
    std::optional<script_job> job;
    std::optional<quarvel::uuid> uuid;
    bool console_reached = false;  ///< the console list's header was read (its whole lines follow)
    std::vector<console_line_view> console;
    std::optional<timestamp> started;
    std::optional<timestamp> finished;
    std::optional<execution_result> result;
    bool output_reached = false;  ///< the output list's header was read (its whole files follow)
    std::vector<output_file_view> output;
};

/// What `bytes`, a record that `exec_view_of_str` refuses (cut short, or with a fault in its middle),
/// hold whole before the fault. Each member, line and file is read by the record's own grammar; the
/// first that is cut, lies past a fault of the element reader, or is refused ends the salvage.
salvaged_record salvage_exec(std::string_view bytes);

}  // namespace quarvel::asn
