#include <quarvel/log.hpp>

#include <utility>

namespace quarvel::log {

const source library{"quarvel", "Quarvel"};

namespace {
// The process-wide log settings: the one level all sources share, and the reporter.
struct settings {
    std::optional<level> lvl = level::warning;
    reporter report;
};
settings& current() {
    static settings s;
    return s;
}
}  // namespace

void set_level(std::optional<level> lvl) { current().lvl = lvl; }
std::optional<level> current_level() { return current().lvl; }
void set_reporter(reporter r) { current().report = std::move(r); }

bool enabled(level lvl) {
    const auto& s = current();
    return s.report && s.lvl && static_cast<int>(lvl) <= static_cast<int>(*s.lvl);
}

void message(const source& from, level lvl, std::string_view text, std::string_view header) {
    if (enabled(lvl)) current().report(from, lvl, header, text);
}

}  // namespace quarvel::log
