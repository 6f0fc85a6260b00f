#pragma once
/// \file
/// The data model of the build-scheduling service: jobs, how executions end, the timetable and queues,
/// the persisted scheduler state, the protocol commands and the job execution record.
/// Plain values: each owns its fields, and copying a value copies its contents. Texts are octets: the
/// encodings write and read them unchanged, with no UTF-8 check.

#include <quarvel/export.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <quarvel/basic.hpp>

namespace quarvel {

/// One output file of a job: its path and its complete contents.
struct output_file {
    std::string path;  ///< relative or absolute, never empty, no NUL octet: decoders refuse any other path,
                       ///< and collapse runs of "/" (a leading "//" stays) in the ones they accept
    std::string data;  ///< the file's complete contents
    friend bool operator==(const output_file&, const output_file&) = default;
};

/// The output files of a job, in stored order; duplicate paths are allowed.
using data = std::vector<output_file>;

/// A job that runs a shell script on one platform.
struct script_job {
    std::string name;      ///< the job's name: what identifies it (see `job_equal`)
    std::string platform;  ///< "no-platform" when the encoding had none
    std::string script;    ///< the script's text
    friend bool operator==(const script_job&, const script_job&) = default;
};

/// A job that builds one opam package.
struct vesk_build_job {
    std::string name;          ///< the job's name: what identifies it (see `job_equal`)
    std::string opam_package;  ///< the package to build
    friend bool operator==(const vesk_build_job&, const vesk_build_job&) = default;
};

/// Alternatives `Script_job` and `Vesk_build_job`, in this order.
using job = std::variant<script_job, vesk_build_job>;

/// How a job execution ended.
/// The job's process exited. Integers of the results cross DER: -2^62 .. 2^62 - 1 (see `asn::exec_to_str`).
struct Exited {
    std::int64_t code = 0;  ///< its exit status
    friend bool operator==(const Exited&, const Exited&) = default;
};
/// The job's process was killed by a signal.
struct Signalled {
    std::int64_t signal = 0;  ///< the signal's number
    friend bool operator==(const Signalled&, const Signalled&) = default;
};
/// The job's process was stopped by a signal.
struct Stopped {
    std::int64_t signal = 0;  ///< the signal's number
    friend bool operator==(const Stopped&, const Stopped&) = default;
};
/// The execution was aborted; the text says why.
struct Msg {
    std::string text;  ///< the reason, as the service wrote it
    friend bool operator==(const Msg&, const Msg&) = default;
};
/// How a job execution ended: alternatives `Exited`, `Signalled`, `Stopped` and `Msg`, in this order.
using execution_result = std::variant<Exited, Signalled, Stopped, Msg>;

/// How often a scheduled job runs.
enum class period {
    Hourly,  ///< every hour
    Daily,   ///< every day
    Weekly,  ///< every week
    Never,   ///< not again
};

/// One entry of the timetable.
struct schedule_item {
    timestamp next;                           ///< the next run
    quarvel::period period = period::Hourly;  ///< how often it runs
    quarvel::job job;                         ///< what runs
    friend bool operator==(const schedule_item&, const schedule_item&) = default;
};

/// The jobs waiting for a worker of one platform, in queue order.
struct queue_entry {
    std::string platform;            ///< the platform the jobs wait for
    std::vector<quarvel::job> jobs;  ///< the waiting jobs, first to run first
    friend bool operator==(const queue_entry&, const queue_entry&) = default;
};

/// An execution in progress.
struct running_entry {
    timestamp started;    ///< when the execution began
    quarvel::uuid uuid;   ///< the execution's identity
    script_job job;       ///< the job that runs
    friend bool operator==(const running_entry&, const running_entry&) = default;
};

/// The scheduler overview.
struct info {
    std::vector<schedule_item> schedule;         ///< the timetable
    std::vector<queue_entry> queues;             ///< the waiting jobs, per platform
    std::vector<running_entry> running;          ///< the executions in progress
    std::vector<std::string> dropped_platforms;  ///< the platforms no longer served
    friend bool operator==(const info&, const info&) = default;
};

/// One item of the persisted scheduler state. Its alternatives are scoped here: `state_item::Schedule`
/// is not `cmd::Schedule`.
struct state_item {
    /// The waiting jobs of one platform.
    struct Queue {
        std::string platform;            ///< the platform the jobs wait for
        std::vector<quarvel::job> jobs;  ///< the waiting jobs, in queue order
        friend bool operator==(const Queue&, const Queue&) = default;
    };
    /// One entry of the timetable.
    struct Schedule {
        schedule_item item;  ///< the entry
        friend bool operator==(const Schedule&, const Schedule&) = default;
    };
    /// One platform no longer served.
    struct Dropped_platform {
        std::string platform;  ///< its name
        friend bool operator==(const Dropped_platform&, const Dropped_platform&) = default;
    };
    std::variant<Queue, Schedule, Dropped_platform> value;  ///< the item, one of the three alternatives
    friend bool operator==(const state_item&, const state_item&) = default;
};

/// The persisted scheduler state: its items, in stored order.
using state = std::vector<state_item>;

/// What kind of peer sends a `cmd::Client_hello`.
enum class client_or_worker {
    Client,  ///< a client of the service
    Worker,  ///< a worker that runs jobs
};

/// One protocol message between a client or worker and the server.
struct cmd {
    /// A worker asks for a job to run on its platform.
    struct Job_request {
        std::string platform;  ///< the worker's platform
        friend bool operator==(const Job_request&, const Job_request&) = default;
    };
    /// The server assigns a job execution to a worker.
    struct Job_schedule {
        quarvel::uuid uuid;  ///< the execution's identity
        script_job job;      ///< the job to run
        friend bool operator==(const Job_schedule&, const Job_schedule&) = default;
    };
    /// A worker reports the end of an execution.
    struct Job_finished {
        quarvel::uuid uuid;       ///< the execution's identity
        execution_result result;  ///< how it ended
        quarvel::data data;       ///< its output files
        friend bool operator==(const Job_finished&, const Job_finished&) = default;
    };
    /// One console line of an execution, without its time.
    struct Output {
        quarvel::uuid uuid;  ///< the execution's identity
        std::string output;  ///< the line
        friend bool operator==(const Output&, const Output&) = default;
    };
    /// One console line of an execution with its time offset.
    struct Output_timestamped {
        quarvel::uuid uuid;  ///< the execution's identity
        /// The offset, written as the INTEGER of its bit pattern read as signed (a negative INTEGER reads
        /// back as the same pattern). Counts below 2^62 ns and from 3 × 2^62 ns read back as they are; one
        /// in between is written as 2^62 - 1 (below 2^63) or -2^62 (which reads back as 3 × 2^62).
        duration timestamp;
        std::string output;  ///< the line
        friend bool operator==(const Output_timestamped&, const Output_timestamped&) = default;
    };
    /// Schedule a script job with a period.
    struct Schedule {
        quarvel::period period = period::Hourly;  ///< how often it runs
        script_job job;                           ///< the job
        friend bool operator==(const Schedule&, const Schedule&) = default;
    };
    /// Remove the scheduled job with this name.
    struct Unschedule {
        std::string name;  ///< the job's name
        friend bool operator==(const Unschedule&, const Unschedule&) = default;
    };
    /// A request for the scheduler overview.
    struct Info {
        friend bool operator==(const Info&, const Info&) = default;
    };
    /// The scheduler overview.
    struct Info_reply {
        quarvel::info info;  ///< the overview
        friend bool operator==(const Info_reply&, const Info_reply&) = default;
    };
    /// Follow the console output of an execution.
    struct Observe {
        quarvel::uuid uuid;  ///< the execution's identity
        friend bool operator==(const Observe&, const Observe&) = default;
    };
    /// Run the named job now, on the given platform or on any platform.
    struct Execute {
        std::string job_name;  ///< the job's name
        std::optional<std::string> platform;  ///< absent: any platform; the empty text is not absent
        friend bool operator==(const Execute&, const Execute&) = default;
    };
    /// Schedule a vesk build job with a period.
    struct Schedule_vesk_build {
        quarvel::period period = period::Hourly;  ///< how often it runs
        quarvel::vesk_build_job vesk_build_job;   ///< the job
        friend bool operator==(const Schedule_vesk_build&, const Schedule_vesk_build&) = default;
    };
    /// Set the named job's next run and, when present, its period.
    struct Reschedule {
        std::string name;  ///< the job's name
        timestamp next;    ///< its next run
        std::optional<quarvel::period> period;  ///< absent is not `Never`
        friend bool operator==(const Reschedule&, const Reschedule&) = default;
    };
    /// Stop serving a platform.
    struct Drop_platform {
        std::string platform;  ///< its name
        friend bool operator==(const Drop_platform&, const Drop_platform&) = default;
    };
    /// Serve a dropped platform again.
    struct Undrop_platform {
        std::string platform;  ///< its name
        friend bool operator==(const Undrop_platform&, const Undrop_platform&) = default;
    };
    /// The greeting of a client or a worker, with its protocol version.
    struct Client_hello {
        client_or_worker typ = client_or_worker::Client;  ///< the sender's kind
        /// Its protocol version, `client_protocol_version` or `worker_protocol_version`; crosses DER, so
        /// -2^62 .. 2^62 - 1.
        std::int64_t version = 0;
        friend bool operator==(const Client_hello&, const Client_hello&) = default;
    };
    /// The server's greeting.
    struct Server_hello {
        friend bool operator==(const Server_hello&, const Server_hello&) = default;
    };
    /// The request succeeded.
    struct Success {
        friend bool operator==(const Success&, const Success&) = default;
    };
    /// The request failed.
    struct Failure {
        std::string message;  ///< the reason
        friend bool operator==(const Failure&, const Failure&) = default;
    };

    std::variant<Job_request, Job_schedule, Job_finished, Output, Output_timestamped, Schedule, Unschedule,
                 Info, Info_reply, Observe, Execute, Schedule_vesk_build, Reschedule, Drop_platform,
                 Undrop_platform, Client_hello, Server_hello, Success, Failure>
        value;  ///< the command, one of the alternatives above
    friend bool operator==(const cmd&, const cmd&) = default;
};

/// One console line of an execution: its time offset in nanoseconds and its text without terminator.
struct console_line {
    std::int64_t delta = 0;  ///< nanoseconds, stored unchanged; crosses DER, so -2^62 .. 2^62 - 1
    std::string data;        ///< the line's text
    friend bool operator==(const console_line&, const console_line&) = default;
};

/// The stored account of one job execution: the file that quarvel-inspect reads.
struct execution_record {
    script_job job;                     ///< the job that ran
    quarvel::uuid uuid;                 ///< the execution's identity
    std::vector<console_line> console;  ///< the console, stored newest line first (`front()` is the last line)
    timestamp started;                  ///< when the execution began
    timestamp finished;                 ///< when it ended
    execution_result result;            ///< how it ended
    quarvel::data output;               ///< the output files
    friend bool operator==(const execution_record&, const execution_record&) = default;
};

/// One console line read in place: its text is a view into the bytes the record was decoded from.
struct console_line_view {
    std::int64_t delta = 0;  ///< nanoseconds, as in `console_line`
    std::string_view data;   ///< the line's text, where it lies in the decoded bytes
    friend bool operator==(const console_line_view&, const console_line_view&) = default;
};

/// One output file read in place: its path, checked and normalised as `output_file`'s, and its contents
/// where they lie in the decoded bytes.
struct output_file_view {
    std::string path;       ///< as in `output_file`
    std::string_view data;  ///< the file's complete contents, where they lie
    friend bool operator==(const output_file_view&, const output_file_view&) = default;
};

/// A job execution record read in place (`asn::exec_view_of_str`): the same record, but its bulk, the
/// console texts and the output files' contents, is not copied: those are views into the bytes it was
/// decoded from, valid while those bytes live unchanged (a mapped file, a receive buffer). A copy is
/// cheap and refers to the same bytes. `to_record` makes an `execution_record` that owns everything;
/// `view_of` goes the other way, the views then referring to the owned record.
struct execution_record_view {
    script_job job;                          ///< the job that ran
    quarvel::uuid uuid;                      ///< the execution's identity
    std::vector<console_line_view> console;  ///< the console, newest line first, as in `execution_record`
    timestamp started;                       ///< when the execution began
    timestamp finished;                      ///< when it ended
    execution_result result;                 ///< how it ended
    std::vector<output_file_view> output;    ///< the output files
    friend bool operator==(const execution_record_view&, const execution_record_view&) = default;
};

/// The record `view` refers to, owning all its contents.
QUARVEL_API execution_record to_record(const execution_record_view& view);
/// A view of `record`: its texts refer to `record`'s, valid while it lives unchanged.
QUARVEL_API execution_record_view view_of(const execution_record& record);

/// The protocol version that clients announce in `cmd::Client_hello`.
inline constexpr std::int64_t client_protocol_version = 13;
/// The protocol version that workers announce in `cmd::Client_hello`.
inline constexpr std::int64_t worker_protocol_version = 5;

/// The name of a job's payload, for both alternatives: a reference into `j`, valid while `j` lives
/// and is not changed.
QUARVEL_API const std::string& job_name(const job& j);
/// Jobs are identified by name alone: the alternative does not take part.
QUARVEL_API bool job_equal(const job& a, const job& b);
/// The script job's platform (possibly "no-platform"); absent for a vesk build job.
QUARVEL_API std::optional<std::string> job_platform(const job& j);

}  // namespace quarvel
