// A server and a worker of the service, in two processes, over a Unix domain socket. They speak framed
// commands: the worker greets with its protocol version and asks for a job, the server assigns one, the
// worker streams the console lines and the result, and the server keeps the job execution record,
// writing it with exec_to_str and reading it back.
//
//   server_and_worker [DIRECTORY]     (the socket and the record go to DIRECTORY, else a fresh one in /tmp)
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <variant>

#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>
#include <quarvel/log.hpp>
#include <quarvel/model.hpp>
#include <quarvel/pp.hpp>
#include <quarvel/version.hpp>

namespace {

constexpr std::string_view platform = "debian-12-amd64";

// Commands are small: a server facing untrusted peers bounds every frame far below the 256 MiB default.
constexpr std::int64_t max_command_size = 1 << 20;

void fail(const std::string& who, const std::string& what) { std::fprintf(stderr, "%s: %s\n", who.c_str(), what.c_str()); }

sockaddr_un address_of(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

// ---- the worker ---------------------------------------------------------------------------------------

int run_worker(const std::string& socket_path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = address_of(socket_path);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        fail("worker", std::string("connect: ") + std::strerror(errno));
        return 1;
    }

    // [worker hello]
    if (auto sent = quarvel::write_cmd(fd, {quarvel::cmd::Client_hello{quarvel::client_or_worker::Worker,
                                                                      quarvel::worker_protocol_version}});
        !sent) {
        fail("worker", sent.error());
        return 1;
    }
    auto greeting = quarvel::read_cmd(fd, max_command_size);
    if (!greeting || !std::holds_alternative<quarvel::cmd::Server_hello>(greeting->value)) {
        fail("worker", greeting ? "expected the server's hello" : greeting.error().text);
        return 1;
    }
    // [worker hello]

    (void)quarvel::write_cmd(fd, {quarvel::cmd::Job_request{std::string(platform)}});
    auto assigned = quarvel::read_cmd(fd, max_command_size);
    const auto* job = assigned ? std::get_if<quarvel::cmd::Job_schedule>(&assigned->value) : nullptr;
    if (job == nullptr) {
        fail("worker", assigned ? "expected a job" : assigned.error().text);
        return 1;
    }

    // [worker output]
    // The job "runs": each console line goes out as it appears, with its offset from the start.
    const struct {
        std::uint64_t nanoseconds;
        const char* text;
    } lines[] = {{3'000'000, "starting job hello"}, {1'204'000'000, "+ cc -o hello hello.c"}, {1'480'000'000, "hello: ok"}};
    for (const auto& line : lines) {
        if (auto sent = quarvel::write_cmd(fd, {quarvel::cmd::Output_timestamped{job->uuid, {line.nanoseconds}, line.text}});
            !sent) {
            fail("worker", sent.error());
            return 1;
        }
    }
    const quarvel::data files{{"result.txt", "hello: ok\n"}};
    if (auto sent = quarvel::write_cmd(fd, {quarvel::cmd::Job_finished{job->uuid, quarvel::Exited{0}, files}}); !sent) {
        fail("worker", sent.error());
        return 1;
    }
    // [worker output]
    ::close(fd);
    return 0;
}

// ---- the server ---------------------------------------------------------------------------------------

// Serves one worker on `fd` and keeps the record of the job it ran in `record_path`.
int serve_worker(int fd, const std::string& record_path) {
    // [server hello]
    auto hello = quarvel::read_cmd(fd, max_command_size);
    if (!hello) {
        // The kind tells a peer that went away from a broken one.
        fail("server", hello.error().kind == quarvel::frame_error_kind::end_of_file ? "the worker hung up"
                                                                                   : hello.error().text);
        return 1;
    }
    const auto* greeting = std::get_if<quarvel::cmd::Client_hello>(&hello->value);
    if (greeting == nullptr || greeting->typ != quarvel::client_or_worker::Worker ||
        greeting->version != quarvel::worker_protocol_version) {
        (void)quarvel::write_cmd(fd, {quarvel::cmd::Failure{"expected a worker of protocol version " +
                                                            std::to_string(quarvel::worker_protocol_version)}});
        return 1;
    }
    (void)quarvel::write_cmd(fd, {quarvel::cmd::Server_hello{}});
    // [server hello]

    auto request = quarvel::read_cmd(fd, max_command_size);
    const auto* wants = request ? std::get_if<quarvel::cmd::Job_request>(&request->value) : nullptr;
    if (wants == nullptr) return 1;

    quarvel::execution_record record;
    record.job = quarvel::script_job{"hello", wants->platform, "cc -o hello hello.c && ./hello\n"};
    record.uuid = quarvel::uuid{{0x3f, 0x2a, 0x9c, 0x41, 0x07, 0xd5, 0x4e, 0x8b, 0x9a, 0x61, 0x5c, 0x0e, 0x27, 0xb4, 0xd3, 0x18}};
    record.started = quarvel::timestamp{::time(nullptr), 0};
    (void)quarvel::write_cmd(fd, {quarvel::cmd::Job_schedule{record.uuid, record.job}});

    // [server collects]
    for (;;) {
        auto c = quarvel::read_cmd(fd, max_command_size);
        if (!c) {
            fail("server", c.error().text);
            return 1;
        }
        if (const auto* line = std::get_if<quarvel::cmd::Output_timestamped>(&c->value)) {
            // The record keeps its console newest line first.
            record.console.insert(record.console.begin(),
                                  {static_cast<std::int64_t>(line->timestamp.nanoseconds), line->output});
        } else if (auto* finished = std::get_if<quarvel::cmd::Job_finished>(&c->value)) {
            record.result = finished->result;
            record.output = std::move(finished->data);
            break;
        }
    }
    record.finished = quarvel::timestamp{::time(nullptr), 0};
    // [server collects]

    // [server keeps the record]
    {
        std::ofstream out(record_path, std::ios::binary | std::ios::trunc);
        out << quarvel::asn::exec_to_str(record);
        if (!out.flush()) {
            fail("server", "cannot write " + record_path);
            return 1;
        }
    }
    std::ifstream in(record_path, std::ios::binary);
    const std::string stored{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto read_back = quarvel::asn::exec_of_str(stored);
    if (!read_back) {
        fail("server", record_path + ": " + read_back.error());
        return 1;
    }
    // [server keeps the record]
    if (*read_back != record) {
        fail("server", "the record read back differs from the one written");
        return 1;
    }
    std::printf("kept %s: %zu console lines, %s, %zu output files\n", quarvel::uuid_text(read_back->uuid).c_str(),
                read_back->console.size(), quarvel::render([&](quarvel::formatter& f) {
                    quarvel::pp_execution_result(f, read_back->result);
                }).c_str(),
                read_back->output.size());
    return 0;
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
    std::printf("%s\n", quarvel::version.c_str());

    char fresh[] = "/tmp/quarvel-example-XXXXXX";
    const bool own_directory = argc < 2;
    const std::string directory = own_directory ? (::mkdtemp(fresh) ? fresh : "") : argv[1];
    if (directory.empty()) {
        fail("server", std::string("mkdtemp: ") + std::strerror(errno));
        return 1;
    }
    const std::string socket_path = directory + "/server.socket";
    const std::string record_path = directory + "/hello.record";
    ::unlink(socket_path.c_str());

    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = address_of(socket_path);
    if (listener < 0 || ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0) {
        fail("server", std::string("listen: ") + std::strerror(errno));
        return 1;
    }
    std::fflush(nullptr);
    const pid_t worker = ::fork();
    if (worker == 0) {
        ::close(listener);
        std::_Exit(run_worker(socket_path));
    }
    const int connection = worker > 0 ? ::accept(listener, nullptr, nullptr) : -1;
    const int served = connection >= 0 ? serve_worker(connection, record_path) : 1;
    if (connection >= 0) ::close(connection);
    ::close(listener);
    int status = 1;
    if (worker > 0) ::waitpid(worker, &status, 0);
    ::unlink(socket_path.c_str());
    if (own_directory) {
        ::unlink(record_path.c_str());
        ::rmdir(directory.c_str());
    }
    return served == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
