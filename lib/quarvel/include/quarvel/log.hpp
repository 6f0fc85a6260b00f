#pragma once
/// \file
/// Log sources, levels and the process-wide reporter. The library logs through its source "quarvel"
/// (framing's system-call failures at error level, dropped retired state items at warning level).
/// Until a program installs a reporter nothing is written anywhere.
///
/// Every function here may be called from any number of threads at once, and at any time (also from
/// static initialisers and destructors). Messages reach the reporter one at a time, each whole: a
/// reporter needs no locking of its own for that. A message that the reporter logs itself, while it
/// delivers one, is dropped.

#include <quarvel/export.hpp>

#include <functional>
#include <optional>
#include <string_view>

namespace quarvel::log {

/// From least to most verbose.
enum class level {
    app,      ///< the program's own output
    error,    ///< failures
    warning,  ///< what may need attention
    info,     ///< what happens
    debug,    ///< details
};

/// Where a message comes from: one per library or program part.
struct source {
    std::string_view name;  ///< shown name, e.g. "quarvel"
    std::string_view doc;   ///< what the source is, e.g. "Quarvel"
};

/// The library's own source.
extern QUARVEL_API const source library;  ///< "quarvel", documented "Quarvel"

/// Receives every message that passes the level; `header` is the message's own header text, usually empty.
using reporter = std::function<void(const source& from, level lvl, std::string_view header, std::string_view text)>;

/// The level of every source; std::nullopt is quiet. The default is `warning`.
QUARVEL_API void set_level(std::optional<level> lvl);
/// The level set last (`warning` until a program sets one); std::nullopt is quiet.
QUARVEL_API std::optional<level> current_level();
/// Installs the reporter (an empty function removes it). A message being delivered when the reporter is
/// replaced finishes with the previous one. The reporter may throw: `message` catches the exception and
/// the message is lost (a thread's cancellation alone goes on unwinding).
QUARVEL_API void set_reporter(reporter r);

/// Whether a message of this level would be written.
QUARVEL_API bool enabled(level lvl);
/// Hands the message to the reporter when its level is enabled; `header`, usually empty, replaces the
/// level word in the tools' form. Returns after the reporter has returned. Never fails: an exception
/// from the reporter is caught here and drops the message, and the next message is delivered as usual.
QUARVEL_API void message(const source& from, level lvl, std::string_view text, std::string_view header = {});

/// An `app` message of the library's source.
inline void app(std::string_view text) { message(library, level::app, text); }
/// An `error` message of `from`.
inline void error(const source& from, std::string_view text) { message(from, level::error, text); }
/// A `warning` message of `from`.
inline void warning(const source& from, std::string_view text) { message(from, level::warning, text); }

}  // namespace quarvel::log
