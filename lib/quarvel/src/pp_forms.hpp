#pragma once
// The pair and optional-value forms of the printers, for the library's own printers.

#include <optional>
#include <string_view>

#include <quarvel/format.hpp>

namespace quarvel {

// The first component, the separator, the second component.
template <class First, class Second, class Separator, class PrintFirst, class PrintSecond>
void pp_pair(formatter& f, const First& first, const Second& second, Separator&& separator,
             PrintFirst&& print_first, PrintSecond&& print_second) {
    print_first(f, first);
    separator(f);
    print_second(f, second);
}

// The value's printer when present, the replacement text when absent.
template <class T, class Printer>
void pp_optional(formatter& f, const std::optional<T>& value, Printer&& print, std::string_view replacement) {
    if (value)
        print(f, *value);
    else
        f.text(replacement);
}

}  // namespace quarvel
