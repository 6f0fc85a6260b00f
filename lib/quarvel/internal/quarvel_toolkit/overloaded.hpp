#pragma once
// The visitor of a std::variant made of one lambda per alternative: overloaded{[](const A&) {...}, ...}.

namespace quarvel {

template <class... Alternatives>
struct overloaded : Alternatives... {
    using Alternatives::operator()...;
};

}  // namespace quarvel
