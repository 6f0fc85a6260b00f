#pragma once
// The summary of a job execution record, one fact per line: the job line as quarvel-inspect prints it,
// the uuid, the start and stop times, the duration, the result, the number of console lines and their
// octets, and each output file's path and size (never its contents).

#include <string>

#include <quarvel/model.hpp>
#include <quarvel_toolkit/salvage.hpp>

namespace dump {

// The lines, each followed by a line feed:
//   hello on debian-12-amd64
//   uuid 3f2a9c41-07d5-4e8b-9a61-5c0e27b4d318
//   started at 2024-06-01T12:00:00-00:00
//   stopped at 2024-06-01T12:00:01-00:00
//   duration 1.500s
//   exited 0
//   console 6 lines, 187 bytes
//   output result.txt, 10 bytes
// The job's name and platform and an aborted execution's message are shown by the terminal rule
// (text/terminal_text.hpp), so that a crafted record can neither forge a line nor steer the terminal. A
// path made only of the bytes from space to tilde, not starting with a double quote, is written as it
// is; any other path in the quoted form of the text forms (which leaves no control byte either), so that
// every fact stays on its line. A record that stops before it starts shows a duration with a minus sign.
std::string exec_summary(const quarvel::execution_record_view& record);

// The lines of the same summary for what a broken record holds whole (--salvage): each fact whose members
// were read, the console and output lines for the whole lines and files, when their lists were reached.
std::string salvage_summary(const quarvel::asn::salvaged_record& record);

// finished - started as its duration text: "1.500s", "-2.000s", "3a12d".
std::string elapsed_text(quarvel::timestamp started, quarvel::timestamp finished);

}  // namespace dump
