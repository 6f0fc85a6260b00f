#pragma once
// The scheduler state and the captured connection shipped as samples/state.der and samples/session.frames:
// the server's timetable and queue around the "hello" job of samples/hello.der, and a worker's session that
// runs it.

#include <cstdint>
#include <string>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>
#include <quarvel/model.hpp>

#include "hello_record.hpp"

namespace samples {

inline quarvel::state scheduler_state() {
    const auto hello = hello_record().job;
    return {
        {quarvel::state_item::Schedule{{{1'717'243'200, 0}, quarvel::period::Daily, hello}}},
        {quarvel::state_item::Schedule{
            {{1'717'286'400, 0}, quarvel::period::Weekly, quarvel::vesk_build_job{"pkg-hello", "hello"}}}},
        {quarvel::state_item::Queue{"debian-12-amd64", {hello, quarvel::vesk_build_job{"pkg-dune", "dune"}}}},
        {quarvel::state_item::Dropped_platform{"freebsd-13-i386"}},
    };
}

// A worker's connection as the server reads and writes it: hello, a job, its console lines and its end.
inline std::vector<quarvel::cmd> session_commands() {
    using C = quarvel::cmd;
    const auto record = hello_record();
    return {
        {C::Client_hello{quarvel::client_or_worker::Worker, quarvel::worker_protocol_version}},
        {C::Server_hello{}},
        {C::Job_request{"debian-12-amd64"}},
        {C::Job_schedule{record.uuid, record.job}},
        {C::Output_timestamped{record.uuid, {3'000'000}, "starting job hello on debian-12-amd64"}},
        {C::Output_timestamped{record.uuid, {1'204'000'000}, "+ cc -O2 -o hello hello.c"}},
        {C::Output_timestamped{record.uuid, {1'480'000'000}, "job finished: exit 0"}},
        {C::Job_finished{record.uuid, record.result, record.output}},
        {C::Success{}},
    };
}

// The commands framed back to back, as they travel: an 8-byte big-endian length, then the encoding.
inline std::string session_capture() {
    std::string capture;
    for (const auto& c : session_commands()) {
        const std::string payload = quarvel::asn::cmd_to_str(c);
        const auto prefix = quarvel::frame_prefix(static_cast<std::int64_t>(payload.size()));
        capture.append(prefix.begin(), prefix.end());
        capture += payload;
    }
    return capture;
}

}  // namespace samples
