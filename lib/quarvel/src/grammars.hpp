#pragma once
// Every grammar of the library's three encodings, for the codec sources and the library's tests:
// the job execution record (record.hpp), the scheduler state (state.hpp), the commands (cmd.hpp).

#include "grammars/cmd.hpp"
#include "grammars/record.hpp"
#include "grammars/state.hpp"
