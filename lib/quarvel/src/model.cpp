#include <quarvel/model.hpp>

namespace quarvel {

const std::string& job_name(const job& j) {
    return std::visit([](const auto& payload) -> const std::string& { return payload.name; }, j);
}

bool job_equal(const job& a, const job& b) { return job_name(a) == job_name(b); }

std::optional<std::string> job_platform(const job& j) {
    if (const auto* s = std::get_if<script_job>(&j)) return s->platform;
    return std::nullopt;
}

}  // namespace quarvel
