#include "log_setup.hpp"

namespace cli {

void setup_log(std::string_view, color_choice, std::optional<quarvel::log::level> level, diagnostics_stream) {
    quarvel::log::set_level(level);
}

}  // namespace cli
