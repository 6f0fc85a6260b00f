// A program of the service linking the installed library.
#include <quarvel/model.hpp>
#include <quarvel/version.hpp>

#include <cstdio>

int main() {
    const quarvel::job a = quarvel::script_job{"nightly", "freebsd-14", "make"};
    const quarvel::job b = quarvel::vesk_build_job{"nightly", "hello"};
    std::printf("%s\n", quarvel::version.c_str());
    return quarvel::job_equal(a, b) && !quarvel::job_platform(b) ? 0 : 1;
}
