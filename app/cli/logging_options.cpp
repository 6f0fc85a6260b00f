#include "logging_options.hpp"

#include <array>

#include "converters.hpp"

namespace cli {

namespace {

using quarvel::log::level;

// The first "warning" only renders the absent value; the later one matches.
constexpr std::array<std::optional<level>, 6> verbosity_levels{level::warning, std::nullopt,  level::error,
                                                               level::warning, level::info,   level::debug};
constexpr std::array<color_choice, 3> color_choices{color_choice::automatic, color_choice::always,
                                                    color_choice::never};

}  // namespace

logging_options declare_logging_options(command& cmd, diagnostics_stream diagnostics) {
    logging_options o;
    o.color = add(cmd, option({"--color"}, "WHEN",
                              "Colorize the output. $(docv) must be one of $(b,auto), $(b,always) or $(b,never).",
                              enumeration({"auto", "always", "never"}), "auto"));
    o.quiet = add(cmd, flag({"-q", "--quiet"}, "Be quiet. Takes over $(b,-v) and $(b,--verbosity)."));
    o.verbosity = add(cmd, option({"--verbosity"}, "LEVEL",
                                  "Be more or less verbose. $(docv) must be one of $(b,quiet), $(b,error), "
                                  "$(b,warning), $(b,info) or $(b,debug). Takes over\n          $(b,-v).",
                                  enumeration({"warning", "quiet", "error", "warning", "info", "debug"}),
                                  "warning"));
    o.verbose = add(cmd, repeatable_flag({"-v", "--verbose"},
                                         "Increase verbosity. Repeatable, but more than twice does\n"
                                         "          not bring more."));
    add_checkpoint(cmd, [o, diagnostics](const values& v) {
        const logging_settings s = logging_settings_of(v, o);
        setup_log(v.invocation_name, s.color, s.level, diagnostics);
    });
    return o;
}

logging_settings logging_settings_of(const values& v, const logging_options& options) {
    logging_settings s;
    if (const auto c = v.choice(options.color); c && *c < color_choices.size()) s.color = color_choices[*c];
    if (v.flag(options.quiet)) {
        s.level = std::nullopt;
    } else if (const auto l = v.choice(options.verbosity); l && *l < verbosity_levels.size()) {
        s.level = verbosity_levels[*l];
    } else {
        const int n = v.count(options.verbose);
        s.level = n == 0 ? level::warning : n == 1 ? level::info : level::debug;
    }
    return s;
}

}  // namespace cli
