#include "engine/options.h"

namespace quarrytab {

std::string ClosingDelimiterFor(std::string_view opening) {
    if (opening == "(")
        return ")";
    if (opening == "[")
        return "]";
    if (opening == "{")
        return "}";
    if (opening == "<")
        return ">";
    return std::string(opening);
}

}  // namespace quarrytab
