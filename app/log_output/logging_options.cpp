#include "log_output/logging_options.hpp"

#include "cli/converters.hpp"

namespace log_output {

namespace {

using cli::add, cli::enumeration, cli::flag, cli::option, cli::repeatable_flag, cli::values;
using quarvel::log::level;

}  // namespace

logging_options declare_logging_options(cli::command& cmd, diagnostics_stream diagnostics) {
    logging_options o;
    o.color = add(cmd, option({"--color"}, "WHEN",
                              "Colorize the output. $(docv) must be one of $(b,auto), $(b,always) or $(b,never).",
                              enumeration<color_choice>({{"auto", color_choice::automatic},
                                                         {"always", color_choice::always},
                                                         {"never", color_choice::never}}),
                              "auto"));
    o.quiet = add(cmd, flag({"-q", "--quiet"}, "Be quiet. Takes over $(b,-v) and $(b,--verbosity)."));
    o.verbosity = add(cmd, option({"--verbosity"}, "LEVEL",
                                  "Be more or less verbose. $(docv) must be one of $(b,quiet), $(b,error), "
                                  "$(b,warning), $(b,info) or $(b,debug). Takes over\n          $(b,-v).",
                                  // The first "warning" only shows in messages; the later one matches.
                                  enumeration<std::optional<level>>({{"warning", level::warning},
                                                                     {"quiet", std::nullopt},
                                                                     {"error", level::error},
                                                                     {"warning", level::warning},
                                                                     {"info", level::info},
                                                                     {"debug", level::debug}}),
                                  "warning"));
    o.verbose = add(cmd, repeatable_flag({"-v", "--verbose"},
                                         "Increase verbosity. Repeatable, but more than twice does\n"
                                         "          not bring more."));
    cli::add_checkpoint(cmd, [o, diagnostics](const values& v) {
        const logging_settings s = logging_settings_of(v, o);
        setup_log(v.invocation_name, s.color, s.level, diagnostics);
    });
    return o;
}

logging_settings logging_settings_of(const values& v, const logging_options& options) {
    logging_settings s;
    if (const auto c = v.choice<color_choice>(options.color)) s.color = *c;
    if (v.flag(options.quiet)) {
        s.level = std::nullopt;
    } else if (const auto l = v.choice<std::optional<level>>(options.verbosity)) {
        s.level = *l;
    } else {
        const int n = v.count(options.verbose);
        s.level = n == 0 ? level::warning : n == 1 ? level::info : level::debug;
    }
    return s;
}

}  // namespace log_output
