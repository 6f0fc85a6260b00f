#pragma once
// The data model of the build-scheduling service: jobs, how executions end, the timetable and queues,
// the persisted scheduler state, the protocol commands and the job execution record.
// Plain values: each owns its fields, and copying a value copies its contents.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <quarvel/basic.hpp>

namespace quarvel {

// One output file of a job: its path (never empty, no NUL) and its complete contents.
struct output_file {
    std::string path;
    std::string data;
    friend bool operator==(const output_file&, const output_file&) = default;
};

// The output files of a job, in stored order; duplicate paths are allowed.
using data = std::vector<output_file>;

struct script_job {
    std::string name;
    std::string platform;  // "no-platform" when the encoding had none
    std::string script;
    friend bool operator==(const script_job&, const script_job&) = default;
};

struct vesk_build_job {
    std::string name;
    std::string opam_package;
    friend bool operator==(const vesk_build_job&, const vesk_build_job&) = default;
};

// Alternatives `Script_job` and `Vesk_build_job`, in this order.
using job = std::variant<script_job, vesk_build_job>;

// How a job execution ended.
struct Exited {
    std::int64_t code = 0;
    friend bool operator==(const Exited&, const Exited&) = default;
};
struct Signalled {
    std::int64_t signal = 0;
    friend bool operator==(const Signalled&, const Signalled&) = default;
};
struct Stopped {
    std::int64_t signal = 0;
    friend bool operator==(const Stopped&, const Stopped&) = default;
};
struct Msg {
    std::string text;
    friend bool operator==(const Msg&, const Msg&) = default;
};
using execution_result = std::variant<Exited, Signalled, Stopped, Msg>;

enum class period { Hourly, Daily, Weekly, Never };

struct schedule_item {
    timestamp next;
    quarvel::period period = period::Hourly;
    quarvel::job job;
    friend bool operator==(const schedule_item&, const schedule_item&) = default;
};

// The jobs waiting for a worker of one platform, in queue order.
struct queue_entry {
    std::string platform;
    std::vector<quarvel::job> jobs;
    friend bool operator==(const queue_entry&, const queue_entry&) = default;
};

// An execution in progress.
struct running_entry {
    timestamp started;
    quarvel::uuid uuid;
    script_job job;
    friend bool operator==(const running_entry&, const running_entry&) = default;
};

// The scheduler overview.
struct info {
    std::vector<schedule_item> schedule;
    std::vector<queue_entry> queues;
    std::vector<running_entry> running;
    std::vector<std::string> dropped_platforms;
    friend bool operator==(const info&, const info&) = default;
};

// One item of the persisted scheduler state. Its alternatives are scoped here: `state_item::Schedule`
// is not `cmd::Schedule`.
struct state_item {
    struct Queue {
        std::string platform;
        std::vector<quarvel::job> jobs;
        friend bool operator==(const Queue&, const Queue&) = default;
    };
    struct Schedule {
        schedule_item item;
        friend bool operator==(const Schedule&, const Schedule&) = default;
    };
    struct Dropped_platform {
        std::string platform;
        friend bool operator==(const Dropped_platform&, const Dropped_platform&) = default;
    };
    std::variant<Queue, Schedule, Dropped_platform> value;
    friend bool operator==(const state_item&, const state_item&) = default;
};

using state = std::vector<state_item>;

enum class client_or_worker { Client, Worker };

// One protocol message between a client or worker and the server.
struct cmd {
    struct Job_request {
        std::string platform;
        friend bool operator==(const Job_request&, const Job_request&) = default;
    };
    struct Job_schedule {
        quarvel::uuid uuid;
        script_job job;
        friend bool operator==(const Job_schedule&, const Job_schedule&) = default;
    };
    struct Job_finished {
        quarvel::uuid uuid;
        execution_result result;
        quarvel::data data;
        friend bool operator==(const Job_finished&, const Job_finished&) = default;
    };
    struct Output {
        quarvel::uuid uuid;
        std::string output;
        friend bool operator==(const Output&, const Output&) = default;
    };
    struct Output_timestamped {
        quarvel::uuid uuid;
        duration timestamp;
        std::string output;
        friend bool operator==(const Output_timestamped&, const Output_timestamped&) = default;
    };
    struct Schedule {
        quarvel::period period = period::Hourly;
        script_job job;
        friend bool operator==(const Schedule&, const Schedule&) = default;
    };
    struct Unschedule {
        std::string name;
        friend bool operator==(const Unschedule&, const Unschedule&) = default;
    };
    struct Info {
        friend bool operator==(const Info&, const Info&) = default;
    };
    struct Info_reply {
        quarvel::info info;
        friend bool operator==(const Info_reply&, const Info_reply&) = default;
    };
    struct Observe {
        quarvel::uuid uuid;
        friend bool operator==(const Observe&, const Observe&) = default;
    };
    struct Execute {
        std::string job_name;
        std::optional<std::string> platform;  // absent: any platform; the empty text is not absent
        friend bool operator==(const Execute&, const Execute&) = default;
    };
    struct Schedule_vesk_build {
        quarvel::period period = period::Hourly;
        quarvel::vesk_build_job vesk_build_job;
        friend bool operator==(const Schedule_vesk_build&, const Schedule_vesk_build&) = default;
    };
    struct Reschedule {
        std::string name;
        timestamp next;
        std::optional<quarvel::period> period;  // absent is not `Never`
        friend bool operator==(const Reschedule&, const Reschedule&) = default;
    };
    struct Drop_platform {
        std::string platform;
        friend bool operator==(const Drop_platform&, const Drop_platform&) = default;
    };
    struct Undrop_platform {
        std::string platform;
        friend bool operator==(const Undrop_platform&, const Undrop_platform&) = default;
    };
    struct Client_hello {
        client_or_worker typ = client_or_worker::Client;
        std::int64_t version = 0;
        friend bool operator==(const Client_hello&, const Client_hello&) = default;
    };
    struct Server_hello {
        friend bool operator==(const Server_hello&, const Server_hello&) = default;
    };
    struct Success {
        friend bool operator==(const Success&, const Success&) = default;
    };
    struct Failure {
        std::string message;
        friend bool operator==(const Failure&, const Failure&) = default;
    };

    std::variant<Job_request, Job_schedule, Job_finished, Output, Output_timestamped, Schedule, Unschedule,
                 Info, Info_reply, Observe, Execute, Schedule_vesk_build, Reschedule, Drop_platform,
                 Undrop_platform, Client_hello, Server_hello, Success, Failure>
        value;
    friend bool operator==(const cmd&, const cmd&) = default;
};

// One console line of an execution: its time offset in nanoseconds and its text without terminator.
struct console_line {
    std::int64_t delta = 0;
    std::string data;
    friend bool operator==(const console_line&, const console_line&) = default;
};

// The stored account of one job execution: the file that quarvel-inspect reads.
struct execution_record {
    script_job job;
    quarvel::uuid uuid;
    std::vector<console_line> console;
    timestamp started;
    timestamp finished;
    execution_result result;
    quarvel::data output;
    friend bool operator==(const execution_record&, const execution_record&) = default;
};

// The protocol versions that clients and workers announce in `Client_hello`.
inline constexpr std::int64_t client_protocol_version = 13;
inline constexpr std::int64_t worker_protocol_version = 5;

// The name of a job's payload, for both alternatives.
const std::string& job_name(const job& j);
// Jobs are identified by name alone: the alternative does not take part.
bool job_equal(const job& a, const job& b);
// The script job's platform (possibly "no-platform"); absent for a vesk build job.
std::optional<std::string> job_platform(const job& j);

}  // namespace quarvel
