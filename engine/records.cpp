#include "engine/records.h"

#include <algorithm>
#include <array>
#include <map>

#include "engine/field_counter.h"
#include "engine/statements.h"
#include "engine/tokenizer.h"

namespace quarrytab::detail {

std::size_t CountFields(std::string_view line, std::string_view delimiter, bool quotedFields) {
    FieldCounter counter;
    Tokenizer<FieldCounter> tokenizer({std::string(delimiter), {}, quotedFields, false, 1},
                                      counter);
    tokenizer.feed(line, true, FieldCounter::kEvery);
    tokenizer.finish(true);
    return counter.records().empty() ? 0 : counter.records().front().fields;
}

std::string DetectDelimiter(const std::vector<std::string_view>& lines, bool quotedFields) {
    std::string best;
    std::size_t bestSteady = 0;
    std::size_t bestCount = 0;
    for (const char* candidate : {",", ";", "\t", "|"}) {
        // The most common field count among the lines, and how many lines have it.
        std::map<std::size_t, std::size_t> counts;
        for (const auto line : lines) {
            ++counts[CountFields(line, candidate, quotedFields)];
        }
        const auto common = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
            return a.second < b.second || (a.second == b.second && a.first < b.first);
        });
        if (common == counts.end() || common->first < 2) {
            continue;
        }
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
