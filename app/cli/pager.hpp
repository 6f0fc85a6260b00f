#pragma once
// Showing the manual through a pager: MANPAGER, else PAGER (an empty value counts as unset), else less,
// else more, whichever is found first; LESS=FRX is added to the pager's environment when LESS is unset.
// The groff source is formatted by a man page formatter when one is installed and the result is paged;
// without one, or when that fails, the plain text is paged; without a pager, or when that fails too, the
// plain text goes to standard output. The formatter writes for a terminal (bold and underline as
// overstrikes or escape sequences); when standard output is not one, its page is reduced to plain text,
// so that "--help | grep" finds every line.
//
// The pager owns the terminal until it exits: SIGINT (Ctrl-C), SIGQUIT, SIGHUP and SIGTERM are held off
// while the formatter and the pager run, and this process waits for them. Ctrl-C or SIGQUIT that the child
// survives (less reads them as commands) changes nothing. Otherwise nothing further is shown: the
// temporary files are removed and the signal then takes its course in this process (by default it ends
// it).

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace cli {

using environment_lookup = std::function<std::optional<std::string>(const std::string& name)>;

// A formatter's page without its terminal styling: an overstruck character ("X\bX" bold, "_\bX"
// underlined) as the character alone, escape sequences (SGR styles, OSC hyperlinks) left out.
std::string without_terminal_styling(std::string_view page);

void show_paged(const std::string& groff_source, const std::string& plain_text, const environment_lookup& env,
                const std::function<void(std::string_view)>& write_out);

}  // namespace cli
