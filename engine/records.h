// What a file's first lines tell before its records are read: how many fields a line has, and
// which delimiter they suggest.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarrytab {

// The number of fields of one line on its own: plain, or respecting quotes within the line.
std::size_t CountFields(std::string_view line, std::string_view delimiter, bool quotedFields);

// The delimiter among "," ";" TAB "|" that gives the first lines a steady field count above one;
// empty when none does.
std::string DetectDelimiter(const std::vector<std::string_view>& lines, bool quotedFields);

}  // namespace quarrytab
