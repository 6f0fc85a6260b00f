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

execution_record to_record(const execution_record_view& view) {
    execution_record record{view.job, view.uuid, {}, view.started, view.finished, view.result, {}};
    record.console.reserve(view.console.size());
    for (const console_line_view& line : view.console) record.console.push_back({line.delta, std::string(line.data)});
    record.output.reserve(view.output.size());
    for (const output_file_view& file : view.output) record.output.push_back({file.path, std::string(file.data)});
    return record;
}

execution_record_view view_of(const execution_record& record) {
    execution_record_view view{record.job, record.uuid, {}, record.started, record.finished, record.result, {}};
    view.console.reserve(record.console.size());
    for (const console_line& line : record.console) view.console.push_back({line.delta, line.data});
    view.output.reserve(record.output.size());
    for (const output_file& file : record.output) view.output.push_back({file.path, file.data});
    return view;
}

}  // namespace quarvel
