#pragma once
// A file refused as the KIND asked may be a file of another kind, or a capture read without --framed: the
// refusal then says which, and how to read it, after the decoder's message.

#include <string>
#include <string_view>

#include "run.hpp"

namespace dump {

// " (it reads as a scheduler state: quarvel-dump state NAME)" when `bytes`, refused as `asked`, read whole
// as another kind; " (it reads as a framed capture: quarvel-dump --framed cmd NAME)" when they are a capture
// of whole frames, each holding a value of one kind; else "". NAME is `file`, by the terminal rule. Only
// ever run on a refusal; nothing of the trial decodes is logged.
std::string other_kind_hint(input_kind asked, std::string_view bytes, const std::string& file);

}  // namespace dump
