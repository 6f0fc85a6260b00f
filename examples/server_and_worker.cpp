// A server of the service and its workers, over a Unix domain socket. They speak framed commands: a worker
// greets with its protocol version and asks for a job, the server assigns one, the worker streams the
// console lines and the result, and the server keeps the job execution record, writing it with exec_to_str
// and reading it back. The server serves every worker at once from one poll loop that never blocks: it
// reads with a frame reader and answers through a frame writer per peer, stops reading from a peer whose
// replies pile up, answers a peer it refuses with a Failure giving the reason, and drops a peer that stays
// silent too long. A worker makes plain blocking calls, each with a timeout.
//
//   server_and_worker [--silent-peer | --bad-hello | --bad-command | --broken-peer] [DIRECTORY]
//
// Three workers, child processes, run one job each. An option adds a fourth peer that misbehaves as named:
// it says nothing, greets with the wrong protocol version, sends a frame that holds no command, or dies in
// the middle of a frame. The socket and the records go to DIRECTORY, else to a fresh directory in /tmp
// that is removed at the end. Once every peer is gone the server prints a report: each job of its table
// in order, kept or not, then what went wrong with peers. Exit status: 0 when every job was kept and every
// worker ended as it should, 1 otherwise, 2 usage.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <expected>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <variant>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>
#include <quarvel/log.hpp>
#include <quarvel/model.hpp>
#include <quarvel/pp.hpp>
#include <quarvel/version.hpp>

namespace {

using steady = std::chrono::steady_clock;

constexpr std::string_view platform = "debian-12-amd64";

// Commands are small: a server facing untrusted peers bounds every frame far below the 256 MiB default.
constexpr std::int64_t max_command_size = 1 << 20;

// A peer must greet within `hello_limit` of connecting; a worker must send each later command within
// `worker_limit` of the one before, and hang up within it once refused. The hello limit is short so that
// the example's tests stay fast (a real server gives a peer a few seconds); the worker limit is long, as a
// job may be quiet for a while (a real server allows minutes, and its workers send a line now and then).
constexpr std::chrono::milliseconds hello_limit{300};
constexpr std::chrono::milliseconds worker_limit{10'000};

// A worker waits this long for each reply of a server that has stopped answering, and for each command to
// leave.
constexpr std::chrono::milliseconds server_patience{30'000};

// The replies a server lets pile up for one peer before it stops reading that peer's requests.
constexpr std::size_t reply_backlog = 64 * 1024;

void fail(std::string_view who, std::string_view what) {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(who.size()), who.data(), static_cast<int>(what.size()),
                 what.data());
}

std::string system_error(std::string_view call) { return std::string(call) + ": " + std::strerror(errno); }

std::expected<sockaddr_un, std::string> address_of(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        return std::unexpected("socket path too long: " + quarvel::quoted(path));
    }
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, path.size());
    return address;
}

// The whole file, or the system's text for the call that failed.
std::expected<std::string, std::string> read_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::unexpected(std::strerror(errno));
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = quarvel::ign_intr(::read, fd, static_cast<void*>(buffer), sizeof buffer);
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            return std::unexpected(std::strerror(error));
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);  // read-only: closing loses nothing
    return bytes;
}

// Writes `bytes` as the whole contents of the file `path`.
std::expected<void, std::string> write_file(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return std::unexpected(std::strerror(errno));
    while (!bytes.empty()) {
        const ssize_t put = quarvel::ign_intr(::write, fd, static_cast<const void*>(bytes.data()), bytes.size());
        if (put < 0) {
            const int error = errno;
            ::close(fd);
            return std::unexpected(std::strerror(error));
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    // A delayed write error (a full disk on a network file system) shows only here.
    if (::close(fd) != 0) return std::unexpected(std::strerror(errno));
    return {};
}

// ---- the workers ----------------------------------------------------------------------------------------

enum class behaviour {
    well,         // runs a job
    silent,       // connects and says nothing
    bad_hello,    // greets with a protocol version the server does not speak
    bad_command,  // sends a frame that holds no command
    broken,       // dies in the middle of a frame
};

bool send_command(int fd, const std::string& who, const quarvel::cmd& c) {
    auto sent = quarvel::write_cmd(fd, c, max_command_size, server_patience);
    if (!sent) fail(who, sent.error().text);
    return sent.has_value();
}

// The server's text reaches the terminal quoted: it comes from a peer.
void print_refusal(const std::string& who, const quarvel::cmd::Failure& refused) {
    fail(who, "the server refused: " + quarvel::quoted(refused.message));
}

// [worker reply]
// The server's next command when it is a `Wanted`; otherwise says why not and gives nothing.
template <class Wanted>
std::optional<Wanted> reply(int fd, const std::string& who) {
    auto got = quarvel::read_cmd(fd, max_command_size, server_patience);
    if (!got) {
        const bool hung_up = got.error().kind == quarvel::frame_error_kind::end_of_file;
        fail(who, hung_up ? "the server hung up" : got.error().text);
        return std::nullopt;
    }
    if (auto* wanted = std::get_if<Wanted>(&got->value)) return std::move(*wanted);
    if (const auto* refused = std::get_if<quarvel::cmd::Failure>(&got->value)) {
        print_refusal(who, *refused);
    } else {
        fail(who, "unexpected reply");
    }
    return std::nullopt;
}
// [worker reply]

// What a peer says first: a worker greets with its protocol version; a misbehaving peer may say something
// else, or nothing.
bool say_first(int fd, const std::string& who, behaviour how) {
    switch (how) {
    case behaviour::silent:
        return true;
    case behaviour::bad_hello:
        return send_command(fd, who, {quarvel::cmd::Client_hello{quarvel::client_or_worker::Worker,
                                                                 quarvel::worker_protocol_version + 1}});
    case behaviour::well:
    case behaviour::bad_command:
    case behaviour::broken:
        break;
    }
    // [worker hello]
    const quarvel::cmd::Client_hello hello{quarvel::client_or_worker::Worker, quarvel::worker_protocol_version};
    return send_command(fd, who, {hello});
    // [worker hello]
}

// A worker that has greeted: it waits for the server's hello, asks for a job and runs it.
int work(int fd, const std::string& who) {
    // [worker asks for a job]
    if (!reply<quarvel::cmd::Server_hello>(fd, who) ||
        !send_command(fd, who, {quarvel::cmd::Job_request{std::string(platform)}})) {
        return 1;
    }
    const std::optional<quarvel::cmd::Job_schedule> job = reply<quarvel::cmd::Job_schedule>(fd, who);
    if (!job) return 1;
    // [worker asks for a job]

    // [worker output]
    // The job "runs": it announces itself, then echoes each line of its script as it starts it. Every
    // console line goes out as it appears, with its offset from the start.
    const steady::time_point start = steady::now();
    std::string console;
    std::string_view script = job->job.script;
    std::string line = "starting job " + job->job.name;
    for (;;) {
        const auto offset = std::chrono::duration_cast<std::chrono::nanoseconds>(steady::now() - start);
        const quarvel::duration at{static_cast<std::uint64_t>(offset.count())};
        if (!send_command(fd, who, {quarvel::cmd::Output_timestamped{job->uuid, at, line}})) return 1;
        console += line + '\n';
        if (script.empty()) break;
        const std::size_t end = std::min(script.find('\n'), script.size());
        line = "+ " + std::string(script.substr(0, end));
        script.remove_prefix(std::min(end + 1, script.size()));
    }
    const quarvel::data files{{"console.log", console}};
    if (!send_command(fd, who, {quarvel::cmd::Job_finished{job->uuid, quarvel::Exited{0}, files}})) return 1;
    // [worker output]
    return 0;
}

// The peers that show the server's defences, once they have said their first word (or kept silent); each
// succeeds when the server answers as it should.
int misbehave(int fd, const std::string& who, behaviour how) {
    switch (how) {
    case behaviour::well:
    case behaviour::silent:
    case behaviour::bad_hello:
        break;
    case behaviour::bad_command: {
        // One whole frame: a command with a byte after it.
        const std::string payload = quarvel::asn::cmd_to_str({quarvel::cmd::Job_request{std::string(platform)}}) + "!";
        if (!reply<quarvel::cmd::Server_hello>(fd, who)) return 1;
        if (auto sent = quarvel::write(fd, payload, max_command_size, server_patience); !sent) {
            fail(who, sent.error().text);
            return 1;
        }
        break;
    }
    case behaviour::broken: {
        // A prefix announcing 100 bytes, 10 of them, and the end.
        const auto prefix = quarvel::frame_prefix(100);
        const std::string partial = std::string(prefix.begin(), prefix.end()) + "0123456789";
        if (!reply<quarvel::cmd::Server_hello>(fd, who)) return 1;
        const ssize_t sent = ::send(fd, partial.data(), partial.size(), MSG_NOSIGNAL);
        if (sent != static_cast<ssize_t>(partial.size())) {
            fail(who, sent < 0 ? system_error("send") : "send: short write");
            return 1;
        }
        return 0;
    }
    }
    const std::optional<quarvel::cmd::Failure> refused = reply<quarvel::cmd::Failure>(fd, who);
    if (!refused) return 1;
    print_refusal(who, *refused);
    return 0;
}

// Connects to the server; the descriptor, or -1 when that failed (and is reported).
int connect_to(const std::string& socket_path, const std::string& who) {
    const auto address = address_of(socket_path);
    if (!address) {
        fail(who, address.error());
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail(who, system_error("socket"));
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        fail(who, system_error("connect"));
        ::close(fd);
        return -1;
    }
    return fd;
}

// Runs one worker, or a misbehaving peer. Closing `ready` tells main that its first word is out.
int run_worker(const std::string& socket_path, int number, behaviour how, int ready) {
    const std::string who = "worker " + std::to_string(number);
    const int fd = connect_to(socket_path, who);
    const bool said = fd >= 0 && say_first(fd, who, how);
    ::close(ready);
    const int status = !said ? 1 : how == behaviour::well ? work(fd, who) : misbehave(fd, who, how);
    if (fd >= 0) ::close(fd);
    return status;
}

// ---- the server -----------------------------------------------------------------------------------------

struct job_slot {
    quarvel::uuid uuid;
    quarvel::script_job job;
    enum class status { waiting, running, kept } status = status::waiting;
    std::string report;  // what the server says about it at the end
};

std::vector<job_slot> job_table() {
    const auto slot = [](quarvel::uuid uuid, std::string name, std::string script) {
        job_slot j;
        j.uuid = uuid;
        j.job = {std::move(name), std::string(platform), std::move(script)};
        return j;
    };
    return {
        slot({{0x3f, 0x2a, 0x9c, 0x41, 0x07, 0xd5, 0x4e, 0x8b, 0x9a, 0x61, 0x5c, 0x0e, 0x27, 0xb4, 0xd3, 0x18}},
             "hello", "cc -o hello hello.c\n./hello\n"),
        slot({{0x0b, 0x6e, 0x1d, 0x7a, 0x5c, 0x39, 0x4f, 0x02, 0x8d, 0x4e, 0x91, 0xa7, 0xc3, 0xf5, 0xe2, 0x60}},
             "lint", "make lint\n"),
        slot({{0x7d, 0x90, 0xc2, 0xe5, 0x1a, 0x4b, 0x4c, 0x6f, 0xb3, 0xe8, 0x2f, 0x5a, 0x6d, 0x9e, 0x0c, 0x17}},
             "docs", "doxygen docs/Doxyfile\nmake -C docs/latex\nls docs/html\n"),
    };
}

enum class stage {
    hello,    // connected: its first command must be a worker's hello
    greeted,  // may ask for a job
    running,  // runs the job `peer::job` and streams its console
    closing,  // refused: the Failure is sent, the server waits for the hang-up
};

struct peer {
    int fd = -1;  // -1 once closed; removed at the end of the round
    quarvel::frame_reader reader{max_command_size};
    quarvel::frame_writer writer{max_command_size};
    bool shut = false;  // the sending side is shut: refused, and the Failure has left
    stage at = stage::hello;
    steady::time_point deadline;
    std::size_t job = 0;               // the job table's index, while running
    quarvel::execution_record record;  // collected while running
};

struct server {
    int listener = -1;
    std::string directory;              // where the records go
    std::size_t expected = 0;           // the connections to serve: the workers this program started
    std::size_t accepted = 0;
    steady::time_point accept_deadline;  // the next connection is due by then
    std::vector<peer> peers;
    std::vector<job_slot> jobs = job_table();
    std::vector<std::string> events;  // what went wrong with peers, in order
    bool failed = false;              // a record could not be kept, or the server's own call failed
};

// A job its peer no longer runs waits for another worker.
void release_job(server& s, peer& p) {
    if (p.at == stage::running && s.jobs[p.job].status == job_slot::status::running) {
        s.jobs[p.job].status = job_slot::status::waiting;
    }
}

void close_peer(server& s, peer& p) {
    release_job(s, p);
    ::close(p.fd);  // nothing left to send: a failed close loses nothing
    p.fd = -1;
}

// [answering]
// Queues a reply and sends what the socket takes now; poll says when it takes the rest. Nothing here
// waits, so a peer that reads nothing cannot hold up the others.
bool answer(server& s, peer& p, const quarvel::cmd& c) {
    auto queued = p.writer.push_cmd(c);
    if (queued) queued = quarvel::write_available(p.writer, p.fd);
    if (!queued) {
        s.events.push_back("lost a peer: " + queued.error().text);  // the library has logged the cause
        close_peer(s, p);
        return false;
    }
    return true;
}
// [answering]

// Once a refused peer's Failure has left, the sending side is shut: the peer reads the end after it.
void shut_when_sent(server& s, peer& p) {
    if (p.at != stage::closing || p.shut || p.writer.pending() != 0) return;
    p.shut = true;
    if (::shutdown(p.fd, SHUT_WR) != 0) close_peer(s, p);
}

// [failure reply]
// Tells the peer why, then, once that has left, shuts the sending side and waits, within the worker limit,
// for it to hang up: closing while its bytes lie unread could reset the connection and lose the reply on
// the way.
void refuse(server& s, peer& p, const std::string& reason, steady::time_point now) {
    s.events.push_back("refused a peer: " + reason);
    if (!answer(s, p, {quarvel::cmd::Failure{reason}})) return;
    release_job(s, p);
    p.at = stage::closing;
    p.deadline = now + worker_limit;
    shut_when_sent(s, p);
}
// [failure reply]

// Writes the record, reads it back and checks that it is the same.
void keep(server& s, job_slot& slot, const quarvel::execution_record& record) {
    const std::string path = s.directory + "/" + slot.job.name + ".record";
    // [server keeps the record]
    if (auto written = write_file(path, quarvel::asn::exec_to_str(record)); !written) {
        fail("server", path + ": " + written.error());
        s.failed = true;
        return;
    }
    const std::expected<std::string, std::string> stored = read_file(path);
    const quarvel::result<quarvel::execution_record> read_back =
        stored ? quarvel::asn::exec_of_str(*stored) : std::unexpected(stored.error());
    if (!read_back) {
        fail("server", path + ": " + read_back.error());
        s.failed = true;
        return;
    }
    // [server keeps the record]
    if (*read_back != record) {
        fail("server", path + ": the record read back differs from the one written");
        s.failed = true;
        return;
    }
    slot.status = job_slot::status::kept;
    const std::string result =
        quarvel::render([&](quarvel::formatter& f) { quarvel::pp_execution_result(f, read_back->result); });
    slot.report = "kept " + quarvel::uuid_text(read_back->uuid) + ": " + std::to_string(read_back->console.size()) +
                  " console lines, " + result + ", " + std::to_string(read_back->output.size()) + " output files";
}

void handle(server& s, peer& p, quarvel::cmd c, steady::time_point now) {
    switch (p.at) {
    case stage::hello: {
        // [hello check]
        const auto* hello = std::get_if<quarvel::cmd::Client_hello>(&c.value);
        if (hello == nullptr || hello->typ != quarvel::client_or_worker::Worker ||
            hello->version != quarvel::worker_protocol_version) {
            refuse(s, p, "expected a worker of protocol version " + std::to_string(quarvel::worker_protocol_version),
                   now);
        } else if (answer(s, p, {quarvel::cmd::Server_hello{}})) {
            p.at = stage::greeted;
        }
        // [hello check]
        return;
    }
    case stage::greeted: {
        const auto* request = std::get_if<quarvel::cmd::Job_request>(&c.value);
        if (request == nullptr) return refuse(s, p, "expected a job request", now);
        const auto slot = std::find_if(s.jobs.begin(), s.jobs.end(), [&](const job_slot& j) {
            return j.status == job_slot::status::waiting && j.job.platform == request->platform;
        });
        if (slot == s.jobs.end()) {
            return refuse(s, p, "no job for platform " + quarvel::quoted(request->platform), now);
        }
        if (!answer(s, p, {quarvel::cmd::Job_schedule{slot->uuid, slot->job}})) return;
        slot->status = job_slot::status::running;
        p.at = stage::running;
        p.job = static_cast<std::size_t>(slot - s.jobs.begin());
        p.record = {};
        p.record.job = slot->job;
        p.record.uuid = slot->uuid;
        p.record.started = quarvel::timestamp{std::time(nullptr), 0};
        return;
    }
    case stage::running: {
        // [server collects]
        if (const auto* line = std::get_if<quarvel::cmd::Output_timestamped>(&c.value);
            line != nullptr && line->uuid == p.record.uuid) {
            p.record.console.push_back({static_cast<std::int64_t>(line->timestamp.nanoseconds), line->output});
        } else if (auto* finished = std::get_if<quarvel::cmd::Job_finished>(&c.value);
                   finished != nullptr && finished->uuid == p.record.uuid) {
            // The record keeps its console newest line first.
            std::reverse(p.record.console.begin(), p.record.console.end());
            p.record.finished = quarvel::timestamp{std::time(nullptr), 0};
            p.record.result = finished->result;
            p.record.output = std::move(finished->data);
            keep(s, s.jobs[p.job], p.record);
            release_job(s, p);  // a job that could not be kept waits for another run
            p.at = stage::greeted;
        } else {
            refuse(s, p, "expected the console or the end of " + quarvel::uuid_text(p.record.uuid), now);
        }
        // [server collects]
        return;
    }
    case stage::closing:
        return;
    }
}

// [hang-up]
void read_failed(server& s, peer& p, const quarvel::frame_error& error, steady::time_point now) {
    switch (error.kind) {
    case quarvel::frame_error_kind::end_of_file:
        // A clean hang-up between commands: how a worker leaves, unless it leaves a job unfinished.
        if (p.at == stage::running) s.events.push_back("a worker hung up during job " + p.record.job.name);
        break;
    case quarvel::frame_error_kind::truncated:
        s.events.push_back("a peer broke off inside a frame");
        break;
    case quarvel::frame_error_kind::decode_failure:
    case quarvel::frame_error_kind::bad_length:
        // The peer still reads: tell it ("trailing bytes", "frame too large", ...).
        return refuse(s, p, error.text, now);
    case quarvel::frame_error_kind::system_failure:
        s.events.push_back("lost a peer: " + error.text);  // the library has logged the cause
        break;
    case quarvel::frame_error_kind::timed_out:
        break;  // only the blocking forms with a timeout give it; silence is the deadline's part here
    }
    close_peer(s, p);
}
// [hang-up]

// A refused peer's further bytes are read and dropped until it hangs up.
void drain(server& s, peer& p) {
    char scratch[4096];
    for (int round = 0; round < 16; ++round) {
        const ssize_t got = quarvel::ign_intr(::read, p.fd, static_cast<void*>(scratch), sizeof scratch);
        if (got > 0) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        return close_peer(s, p);  // its hang-up, or a failed read: the end either way
    }
}

// [back-pressure]
// Its requests are read while its replies have not piled up; room for the replies is waited for while
// some are queued. A peer that sends requests and reads no replies is left waiting, not served faster.
short wanted(const peer& p) {
    short events = 0;
    if (p.writer.pending() < reply_backlog) events |= POLLIN;
    if (p.writer.pending() > 0) events |= POLLOUT;
    return events;
}

// Frames the reader has read ahead are not seen by poll: such a peer is served again without waiting.
bool holds_requests(const peer& p) {
    return p.at != stage::closing && p.reader.buffered() > 0 && p.writer.pending() < reply_backlog;
}
// [back-pressure]

// [reading]
void serve_peer(server& s, peer& p, short revents, steady::time_point now) {
    if (p.writer.pending() > 0) {
        if (auto sent = quarvel::write_available(p.writer, p.fd); !sent) {
            s.events.push_back("lost a peer: " + sent.error().text);  // the library has logged the cause
            return close_peer(s, p);
        }
        shut_when_sent(s, p);
        if (p.fd < 0) return;
    }
    const bool readable = (revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    if (p.at == stage::closing) {
        if (readable) drain(s, p);
        return;
    }
    if (!readable && !holds_requests(p)) return;
    // A few commands per round, so that a peer that never pauses cannot keep the others waiting.
    for (int round = 0; round < 16 && p.fd >= 0 && p.at != stage::closing; ++round) {
        if (p.writer.pending() >= reply_backlog) return;  // its replies first
        auto got = quarvel::read_available_cmd(p.reader, p.fd);
        if (!got) return read_failed(s, p, got.error(), now);
        if (!*got) return;  // the rest has not arrived yet
        p.deadline = now + worker_limit;  // past the hello now, or refused
        handle(s, p, std::move(**got), now);
    }
}
// [reading]

void accept_peers(server& s, steady::time_point now) {
    while (s.accepted < s.expected) {
        const int fd = ::accept(s.listener, nullptr, nullptr);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            fail("server", system_error("accept"));
            s.failed = true;
            s.expected = s.accepted;  // take no more
            return;
        }
        // Every read and write of the loop must return at once; poll says when to come back.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
            fail("server", system_error("fcntl"));
            ::close(fd);
            s.failed = true;
            continue;
        }
        ++s.accepted;
        s.accept_deadline = now + worker_limit;
        peer arrived;
        arrived.fd = fd;
        arrived.deadline = now + hello_limit;
        s.peers.push_back(std::move(arrived));
    }
}

// Serves until every worker started has come and gone.
void serve(server& s) {
    std::vector<pollfd> watched;
    s.accept_deadline = steady::now() + worker_limit;
    while (s.accepted < s.expected || !s.peers.empty()) {
        // [poll loop]
        // The listener while workers are still to come, then every peer; the wait ends at the nearest
        // deadline at the latest, and at once while a reader holds requests already read.
        const bool accepting = s.accepted < s.expected;
        steady::time_point next = accepting ? s.accept_deadline : steady::time_point::max();
        watched.clear();
        if (accepting) watched.push_back({s.listener, POLLIN, 0});
        bool busy = false;
        for (const peer& p : s.peers) {
            watched.push_back({p.fd, wanted(p), 0});
            next = std::min(next, p.deadline);
            busy = busy || holds_requests(p);
        }
        const auto wait = busy ? std::chrono::milliseconds::zero()
                               : std::chrono::ceil<std::chrono::milliseconds>(next - steady::now());
        if (::poll(watched.data(), watched.size(), static_cast<int>(std::max<std::int64_t>(wait.count(), 0))) < 0) {
            if (errno == EINTR) continue;
            fail("server", system_error("poll"));
            s.failed = true;
            return;
        }
        const steady::time_point now = steady::now();
        const std::size_t first_peer = accepting ? 1 : 0;
        // Hang-ups and errors count as readable: the read tells which.
        for (std::size_t i = first_peer; i < watched.size(); ++i) {
            peer& p = s.peers[i - first_peer];
            if (watched[i].revents != 0 || holds_requests(p)) serve_peer(s, p, watched[i].revents, now);
        }
        if (accepting && watched[0].revents != 0) accept_peers(s, now);
        // [poll loop]

        // [timeout]
        // Past its deadline, a silent peer is told why and refused; a refused one still there is closed.
        for (peer& p : s.peers) {
            if (p.fd < 0 || now < p.deadline) continue;
            if (p.at == stage::closing) {
                close_peer(s, p);
            } else {
                const auto limit = p.at == stage::hello ? hello_limit : worker_limit;
                refuse(s, p, "no command within " + std::to_string(limit.count()) + " ms", now);
            }
        }
        // [timeout]
        std::erase_if(s.peers, [](const peer& p) { return p.fd < 0; });
        if (s.accepted < s.expected && now >= s.accept_deadline) {
            s.events.push_back("only " + std::to_string(s.accepted) + " of " + std::to_string(s.expected) +
                               " workers came");
            s.expected = s.accepted;
        }
    }
}

// Every job of the table in order, then the peers' faults; one write, so that no other process's line
// lands inside it.
bool print_report(const server& s) {
    std::string report;
    for (const job_slot& slot : s.jobs) {
        report += slot.status == job_slot::status::kept
                      ? slot.report
                      : "not kept " + quarvel::uuid_text(slot.uuid) + ": job " + slot.job.name;
        report += '\n';
    }
    for (const std::string& event : s.events) report += event + '\n';
    return std::fwrite(report.data(), 1, report.size(), stdout) == report.size() && std::fflush(stdout) == 0;
}

std::optional<behaviour> behaviour_of(std::string_view option) {
    if (option == "--silent-peer") return behaviour::silent;
    if (option == "--bad-hello") return behaviour::bad_hello;
    if (option == "--bad-command") return behaviour::bad_command;
    if (option == "--broken-peer") return behaviour::broken;
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    // [logging]
    // The library logs failed system calls through its source "quarvel"; nothing is written until a
    // program installs a reporter. This one may be called from any thread.
    quarvel::log::set_reporter([](const quarvel::log::source& from, quarvel::log::level, std::string_view,
                                  std::string_view text) {
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(from.name.size()), from.name.data(),
                     static_cast<int>(text.size()), text.data());
    });
    // [logging]

    const auto usage = [] {
        std::fprintf(stderr, "usage: server_and_worker [--silent-peer | --bad-hello | --bad-command | --broken-peer]"
                             " [DIRECTORY]\n");
        return 2;
    };
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    std::optional<behaviour> odd_peer;
    if (!arguments.empty() && arguments.front().starts_with("--")) {
        odd_peer = behaviour_of(arguments.front());
        if (!odd_peer) return usage();
        arguments.erase(arguments.begin());
    }
    if (arguments.size() > 1) return usage();
    std::printf("%s\n", quarvel::version.c_str());

    char fresh[] = "/tmp/quarvel-example-XXXXXX";
    const bool own_directory = arguments.empty();
    if (own_directory && ::mkdtemp(fresh) == nullptr) {
        fail("server", system_error("mkdtemp"));
        return 1;
    }
    server s;
    s.directory = own_directory ? std::string(fresh) : std::string(arguments.front());
    const std::string socket_path = s.directory + "/server.socket";
    const auto address = address_of(socket_path);
    if (!address) {
        fail("server", address.error());
        return 1;
    }
    ::unlink(socket_path.c_str());  // a socket left by an earlier run; absent is as good

    // Non-blocking: a connection that poll announced may be gone by the time it is accepted.
    s.listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s.listener < 0) {
        fail("server", system_error("socket"));
        return 1;
    }
    if (::bind(s.listener, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        fail("server", system_error("bind " + quarvel::quoted(socket_path)));
        return 1;
    }
    if (::listen(s.listener, 16) != 0) {
        fail("server", system_error("listen"));
        return 1;
    }

    // The server starts serving once every worker has said its first word: the hello limit, short in this
    // example, then cannot catch a worker that a busy machine is slow to schedule, and what the program
    // prints does not depend on timing. Each worker closes its end of the pipe when its first word is out
    // (or it has failed, or died); the end of the pipe means all of them have.
    int ready[2];
    if (::pipe(ready) != 0) {
        fail("server", system_error("pipe"));
        return 1;
    }
    // The children inherit the buffers of standard output: they go out empty.
    std::fflush(nullptr);
    std::vector<pid_t> workers;
    const int count = odd_peer ? 4 : 3;
    for (int number = 1; number <= count; ++number) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(s.listener);
            ::close(ready[0]);
            std::_Exit(run_worker(socket_path, number, number <= 3 ? behaviour::well : *odd_peer, ready[1]));
        }
        if (child < 0) {
            fail("server", system_error("fork"));
            s.failed = true;
            break;
        }
        workers.push_back(child);
    }
    ::close(ready[1]);
    char byte = 0;  // nothing is ever written: the read returns at the end of the pipe
    if (quarvel::ign_intr(::read, ready[0], static_cast<void*>(&byte), std::size_t{1}) < 0) {
        fail("server", system_error("read"));
        s.failed = true;
    }
    ::close(ready[0]);
    s.expected = workers.size();
    serve(s);
    ::close(s.listener);

    bool fine = print_report(s) && !s.failed && std::all_of(s.jobs.begin(), s.jobs.end(), [](const job_slot& j) {
                    return j.status == job_slot::status::kept;
                });
    for (const pid_t worker : workers) {
        int status = 0;
        const bool waited = quarvel::ign_intr(::waitpid, worker, &status, 0) == worker;
        if (!waited || !WIFEXITED(status) || WEXITSTATUS(status) != 0) fine = false;
    }
    // Tidying up: a record that was never written is absent, and a leftover in /tmp harms nothing.
    ::unlink(socket_path.c_str());
    if (own_directory) {
        for (const job_slot& slot : s.jobs) ::unlink((s.directory + "/" + slot.job.name + ".record").c_str());
        ::rmdir(s.directory.c_str());
    }
    return fine ? 0 : 1;
}
