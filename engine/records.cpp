#include "engine/records.h"

#include <algorithm>
#include <array>
#include <map>

#include "engine/statements.h"

namespace quarrytab::detail {

std::size_t CountFields(std::string_view line, std::string_view delimiter, bool quotedFields) {
    if (line.empty())
        return 0;
    if (delimiter.empty())
        return 1;
    std::size_t count = 1;
    bool inQuotes = false;
    bool atFieldStart = true;
    for (std::size_t i = 0; i < line.size();) {
        if (inQuotes) {
            if (line[i] == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"')
                    ++i;  // a doubled quote stays inside
                else
                    inQuotes = false;
            }
            ++i;
        } else if (quotedFields && atFieldStart && line[i] == '"') {
            inQuotes = true;
            atFieldStart = false;
            ++i;
        } else if (line.compare(i, delimiter.size(), delimiter) == 0) {
            ++count;
            i += delimiter.size();
            atFieldStart = true;
        } else {
            atFieldStart = false;
            ++i;
        }
    }
    return count;
}

std::string DetectDelimiter(const std::vector<std::string_view>& lines, bool quotedFields) {
    std::string best;
    std::size_t bestSteady = 0;
    std::size_t bestCount = 0;
    for (const char* candidate : {",", ";", "\t", "|"}) {
        // The most common field count among the lines, and how many lines have it.
        std::map<std::size_t, std::size_t> counts;
        for (const auto line : lines) ++counts[CountFields(line, candidate, quotedFields)];
        const auto common = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
            return a.second < b.second || (a.second == b.second && a.first < b.first);
        });
        if (common == counts.end() || common->first < 2)
            continue;
        if (common->second > bestSteady ||
            (common->second == bestSteady && common->first > bestCount)) {
            best = candidate;
            bestSteady = common->second;
            bestCount = common->first;
        }
    }
    return best;
}

void DelimiterDoubt::look(std::string_view line) {
    if (!watching()) {
        return;
    }
    lookAt(line);
    endLine(IsBlankLine(line));
}

}  // namespace quarrytab::detail
