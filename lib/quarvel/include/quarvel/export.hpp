#pragma once
/// \file
/// What every public header includes first: the language check, and the mark of the library's API.

#if !defined(__cplusplus) || __cplusplus < 202100L  // 202100 is g++ 12's value for -std=c++23
#error "Quarvel needs C++23: compile with -std=c++23 (g++ 12, clang 17 or later)"
// A missing header stops the compiler here, instead of the page of errors that the headers would give.
#include <quarvel/stop_here_and_compile_with_std_cxx23>
#endif

/// Marks a declaration of the library's API. The library is built with every other symbol hidden, so a
/// shared build exports exactly what the installed headers declare with this mark.
#define QUARVEL_API __attribute__((visibility("default")))
