// A program of the service linking the installed library: the model, a codec and the version text.
#include <quarvel/asn.hpp>
#include <quarvel/model.hpp>
#include <quarvel/version.hpp>

#include <cstdio>

int main() {
    const quarvel::job a = quarvel::script_job{"nightly", "freebsd-14", "make"};
    const quarvel::job b = quarvel::vesk_build_job{"nightly", "hello"};
    const quarvel::cmd hello{quarvel::cmd::Client_hello{quarvel::client_or_worker::Worker, quarvel::worker_protocol_version}};
    std::printf("%s\n", quarvel::version.c_str());
    return quarvel::job_equal(a, b) && !quarvel::job_platform(b) && quarvel::asn::cmd_of_str(quarvel::asn::cmd_to_str(hello)) == hello
               ? 0
               : 1;
}
