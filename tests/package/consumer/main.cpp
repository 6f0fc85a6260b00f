// A program of the service linking the installed library: the model, a codec and the version.
#include <quarvel/asn.hpp>
#include <quarvel/model.hpp>
#include <quarvel/version.hpp>

#include <cstdio>
#include <string>

static_assert(QUARVEL_VERSION_NUMBER == QUARVEL_VERSION_MAJOR * 10000 + QUARVEL_VERSION_MINOR * 100 + QUARVEL_VERSION_PATCH);
static_assert(QUARVEL_VERSION_MAJOR == 0 && QUARVEL_VERSION_MINOR >= 2, "written for the 0.2 series");

int main() {
    const quarvel::job a = quarvel::script_job{"nightly", "freebsd-14", "make"};
    const quarvel::job b = quarvel::vesk_build_job{"nightly", "hello"};
    const quarvel::cmd hello{quarvel::cmd::Client_hello{quarvel::client_or_worker::Worker, quarvel::worker_protocol_version}};
    std::printf("%s\n", quarvel::version.c_str());
    // The text the linked library was built with starts with the numbers the headers give.
    const std::string numbers = std::to_string(QUARVEL_VERSION_MAJOR) + "." + std::to_string(QUARVEL_VERSION_MINOR) + "." +
                                std::to_string(QUARVEL_VERSION_PATCH);
    return quarvel::version.starts_with("version " + numbers) && quarvel::job_equal(a, b) && !quarvel::job_platform(b) &&
                   quarvel::asn::cmd_of_str(quarvel::asn::cmd_to_str(hello)) == hello
               ? 0
               : 1;
}
