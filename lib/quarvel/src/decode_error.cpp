// The words for the place of a decoder's fault.
#include <quarvel/asn.hpp>

#include <string>

#include "grammars/codec.hpp"

namespace quarvel::asn {

std::string fault_path(std::string_view root, const der::fault_site& fault) {
    std::string path(root);
    // The steps were added on the way out of the failure: innermost first.
    for (auto step = fault.path.rbegin(); step != fault.path.rend(); ++step) {
        if (step->label.empty()) {
            path += '[';
            path += std::to_string(step->index);
            path += ']';
        } else {
            path += " > ";
            path += step->label;
        }
    }
    return path;
}

std::string where(const decode_error& error) {
    std::string words = "at offset " + std::to_string(error.offset);
    if (!error.path.empty()) words += " (" + error.path + ")";
    return words;
}

}  // namespace quarvel::asn
