#pragma once
// Log sources, levels and the process-wide reporter. The library logs through its source "quarvel"
// (framing's system-call failures at error level, dropped retired state items at warning level).
// Until a program installs a reporter nothing is written anywhere.
//
// Every function here may be called from any number of threads at once, and at any time (also from
// static initialisers and destructors). Messages reach the reporter one at a time, each whole: a
// reporter needs no locking of its own for that. A message that the reporter logs itself, while it
// delivers one, is dropped.

#include <functional>
#include <optional>
#include <string_view>

namespace quarvel::log {

// From least to most verbose.
enum class level { app, error, warning, info, debug };

struct source {
    std::string_view name;
    std::string_view doc;
};

// The library's own source.
extern const source library;  // "quarvel", documented "Quarvel"

// Receives every message that passes the level; `header` is the message's own header text, usually empty.
using reporter = std::function<void(const source& from, level lvl, std::string_view header, std::string_view text)>;

// The level of every source; std::nullopt is quiet. The default is `warning`.
void set_level(std::optional<level> lvl);
std::optional<level> current_level();
// Installs the reporter (an empty function removes it). A message being delivered when the reporter is
// replaced finishes with the previous one.
void set_reporter(reporter r);

// Whether a message of this level would be written.
bool enabled(level lvl);
void message(const source& from, level lvl, std::string_view text, std::string_view header = {});

inline void app(std::string_view text) { message(library, level::app, text); }
inline void error(const source& from, std::string_view text) { message(from, level::error, text); }
inline void warning(const source& from, std::string_view text) { message(from, level::warning, text); }

}  // namespace quarvel::log
