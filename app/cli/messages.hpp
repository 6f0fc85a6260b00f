#pragma once
// The texts of command-line errors. Styled, names and quoted values are bold, value names underlined and
// the reason words red; plain, names and values stand between single quotation marks. Quoted names and
// values are shown by the terminal rule (terminal_text.hpp): control bytes from the command line never
// reach standard error as they are.

#include <span>
#include <string>
#include <string_view>

#include "command.hpp"

namespace cli {

std::string quoted(const presentation& p, std::string_view name_or_value);
std::string value_name(const presentation& p, std::string_view name);
std::string reason(const presentation& p, std::string_view words);

// 'a'; either 'a' or 'b'; one of 'a', 'b' or 'c'.
std::string alternatives(const presentation& p, std::span<const std::string> items);

std::string missing_positional_message(const presentation& p, std::string_view value_name);
std::string positional_value_message(const presentation& p, std::string_view value_name, std::string_view why);
std::string too_many_arguments_message(const presentation& p, std::span<const std::string> surplus);
std::string unknown_option_message(const presentation& p, std::string_view name,
                                   std::span<const std::string> suggestions);
std::string ambiguous_option_message(const presentation& p, std::string_view name,
                                     std::span<const std::string> candidates);
std::string repeated_option_message(const presentation& p, std::string_view name);
std::string conflicting_names_message(const presentation& p, std::string_view later, std::string_view earlier);
std::string flag_with_value_message(const presentation& p, std::string_view name, std::string_view value);
std::string missing_value_message(const presentation& p, std::string_view name);
std::string option_value_message(const presentation& p, std::string_view name, std::string_view why);

// Reasons given by the standard conversions.
std::string no_file_or_directory_reason(const presentation& p, std::string_view path);
std::string no_directory_reason(const presentation& p, std::string_view path);
std::string not_a_directory_reason(const presentation& p, std::string_view path);
std::string repeated_standard_input_reason(const presentation& p);
std::string invalid_value_reason(const presentation& p, std::string_view value, std::span<const std::string> keys);
std::string ambiguous_value_reason(const presentation& p, std::string_view value,
                                   std::span<const std::string> candidates);

}  // namespace cli
