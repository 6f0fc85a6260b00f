#include "record_text/job_line.hpp"

namespace record_text {

std::string job_line(const quarvel::script_job& job) {
    std::string line;
    line.reserve(job.name.size() + 4 + job.platform.size());
    line += job.name;
    line += " on ";
    line += job.platform;
    return line;
}

}  // namespace record_text
