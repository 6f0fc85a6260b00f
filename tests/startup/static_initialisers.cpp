// A program of the service whose own static initialisers use the library before main runs: they copy
// the version text and encode a command, a record and a state. Linked first, its initialisers run
// before the library's own when the library is linked statically.
#include <quarvel/asn.hpp>
#include <quarvel/model.hpp>
#include <quarvel/version.hpp>

#include <cstdio>
#include <string>

namespace {

quarvel::cmd hello() { return {quarvel::cmd::Client_hello{quarvel::client_or_worker::Worker, 5}}; }

quarvel::execution_record record() {
    quarvel::execution_record r;
    r.job = quarvel::script_job{"nightly", "freebsd-14", "make"};
    r.console = {{1500, "done"}, {0, "start"}};
    r.started = quarvel::timestamp{1'700'000'000, 0};
    r.finished = quarvel::timestamp{1'700'000'001, 0};
    r.result = quarvel::Exited{0};
    r.output = {{"logs/build.txt", "ok\n"}};
    return r;
}

quarvel::state state() { return {{quarvel::state_item::Dropped_platform{"openbsd-7"}}}; }

const std::string early_version = quarvel::version;
const std::string early_cmd = quarvel::asn::cmd_to_str(hello());
const std::string early_exec = quarvel::asn::exec_to_str(record());
const std::string early_state = quarvel::asn::state_to_str(state());

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok) ++failures;
}

}  // namespace

int main() {
    std::printf("%s\n", early_version.c_str());
    check(early_version == quarvel::version && early_version.starts_with("version ") &&
              early_version.ends_with(" protocol: client 13 worker 5"),
          "version copied by a static initialiser");
    check(early_cmd == quarvel::asn::cmd_to_str(hello()) && quarvel::asn::cmd_of_str(early_cmd) == hello(),
          "command encoded by a static initialiser");
    check(early_exec == quarvel::asn::exec_to_str(record()) && quarvel::asn::exec_of_str(early_exec) == record(),
          "record encoded by a static initialiser");
    check(early_state == quarvel::asn::state_to_str(state()) && quarvel::asn::state_of_str(early_state) == state(),
          "state encoded by a static initialiser");
    return failures == 0 ? 0 : 1;
}
