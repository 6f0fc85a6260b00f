#pragma once
// The job line of a record, as both tools print it: quarvel-inspect's --job verbatim, quarvel-dump's
// summary from texts already shown by the terminal rule.

#include <string>

#include <quarvel/model.hpp>

namespace record_text {

// "%s on %s": the job's name and platform, unchanged.
std::string job_line(const quarvel::script_job& job);

}  // namespace record_text
