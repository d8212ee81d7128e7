// Converts bytes held in memory as a file would be converted, collecting the statements, and
// reads the values of an INSERT back, for tests that check how lines were cut.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/conversion.h"
#include "support/memory_source.h"
#include "support/recording_reporter.h"

class CollectStatements final : public quarrytab::StatementSink {
  public:
    void statement(std::string_view text) override { made.emplace_back(text); }
    std::vector<std::string> made;
};

// The statements of `bytes` as a file of that base name, read `step` bytes at a time.
inline std::vector<std::string> ConvertBytes(const std::string& bytes,
                                             const quarrytab::ConversionOptions& options,
                                             std::string_view baseName = "t",
                                             std::size_t step = MemorySource::kNever,
                                             quarrytab::FileNotes* notes = nullptr) {
    RecordingReporter reporter;
    MemorySource source(bytes, step);
    CollectStatements sink;
    quarrytab::ConvertStream(source, baseName, options, {reporter, sink, {}, nullptr, notes});
    return sink.made;
}

// Field splitting the slow, obvious way: walk the line, cutting wherever the delimiter starts
// (occurrences do not overlap; a line of zero length has no field, an empty delimiter leaves the
// line whole).
inline std::vector<std::string> ModelFields(std::string_view line, std::string_view delimiter) {
    std::vector<std::string> fields;
    if (line.empty())
        return fields;
    if (delimiter.empty())
        return {std::string(line)};
    std::string current;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line.compare(i, delimiter.size(), delimiter) == 0) {
            fields.push_back(current);
            current.clear();
            i += delimiter.size();
        } else {
            current += line[i++];
        }
    }
    fields.push_back(current);
    return fields;
}

// The values of "INSERT INTO t VALUES ('a','b''c')" (with or without a ";") as {"a", "b'c"};
// nothing when the statement is not one INSERT of quote-doubled literals.
inline std::optional<std::vector<std::string>> InsertValues(std::string_view insert) {
    const auto open = insert.find(" VALUES (");
    if (!insert.starts_with("INSERT INTO ") || open == std::string_view::npos)
        return std::nullopt;
    std::size_t i = open + 9;
    std::vector<std::string> values;
    for (;;) {
        if (i >= insert.size() || insert[i] != '\'')
            return std::nullopt;
        std::string value;
        for (++i;; ++i) {
            if (i >= insert.size())
                return std::nullopt;
            if (insert[i] == '\'') {
                if (i + 1 < insert.size() && insert[i + 1] == '\'') {
                    value += '\'';
                    ++i;
                    continue;
                }
                break;
            }
            value += insert[i];
        }
        values.push_back(std::move(value));
        if (++i < insert.size() && insert[i] == ',') {
            ++i;
            continue;
        }
        const auto rest = insert.substr(std::min(i, insert.size()));
        if (rest != ")" && rest != ");")
            return std::nullopt;
        return values;
    }
}
