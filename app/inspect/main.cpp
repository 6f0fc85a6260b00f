// Provisional argument reader; the command-line layer replaces it.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "jump.hpp"

int main(int argc, char** argv) {
    std::optional<std::string> file, output;
    bool console = false, script = false, job = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--console") console = true;
        else if (a == "--script") script = true;
        else if (a == "--job") job = true;
        else if (a == "--output" && i + 1 < argc) output = argv[++i];
        else file = std::string(a);
    }
    if (!file) {
        std::fputs("Usage: quarvel-inspect [--help] [OPTION]\u2026 FILE\nquarvel-inspect: required argument FILE is missing\n", stderr);
        return 124;
    }
    auto r = inspect::jump(*file, console, script, output, job);
    if (!r) {
        std::fprintf(stderr, "quarvel-inspect: %s\n", r.error().c_str());
        return 124;
    }
    return 0;
}
