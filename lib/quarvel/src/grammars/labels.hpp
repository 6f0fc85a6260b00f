#pragma once
// The member labels of the record, state and command grammars. Labels never reach the wire; they are the
// names in the decoder's "SEQUENCE: missing required: " messages, so they are part of the format. Each
// one is written here, once.

#include <string_view>

namespace quarvel::asn::label {

inline constexpr std::string_view job = "job";
inline constexpr std::string_view uuid = "uuid";
inline constexpr std::string_view console = "console";
inline constexpr std::string_view timestamps = "timestamps";
inline constexpr std::string_view started = "started";
inline constexpr std::string_view finished = "finished";
inline constexpr std::string_view result = "result";
inline constexpr std::string_view output = "output";
inline constexpr std::string_view delta = "delta";
inline constexpr std::string_view data = "data";
inline constexpr std::string_view path = "path";
inline constexpr std::string_view name = "name";
inline constexpr std::string_view script = "script";
inline constexpr std::string_view files = "files";
inline constexpr std::string_view platform = "platform";
inline constexpr std::string_view opam_package = "opam_package";
inline constexpr std::string_view next = "next";
inline constexpr std::string_view period = "period";
inline constexpr std::string_view jobs = "jobs";
inline constexpr std::string_view timestamp = "timestamp";
inline constexpr std::string_view schedule = "schedule";
inline constexpr std::string_view queues = "queues";
inline constexpr std::string_view running = "running";
inline constexpr std::string_view dropped_platforms = "dropped-platforms";
inline constexpr std::string_view vesk_build_job = "vesk_build_job";
inline constexpr std::string_view job_name = "job_name";
inline constexpr std::string_view typ = "typ";
inline constexpr std::string_view version = "version";

}  // namespace quarvel::asn::label
