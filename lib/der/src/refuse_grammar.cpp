#include <der/grammar.hpp>

#include <cstdio>
#include <cstdlib>

namespace quarvel::der {

void refuse_grammar(std::string_view name, const Ambiguous_syntax& refusal) {
    std::string line = "Ambiguous_syntax: ";
    line += name;
    if (!name.empty()) line += ": ";
    line += refusal.reason;
    line += '\n';
    std::fputs(line.c_str(), stderr);
    std::abort();
}

void refuse_valueless() {
    std::fputs("quarvel: an encoder was given a variant left valueless by an exception\n", stderr);
    std::abort();
}

}  // namespace quarvel::der
