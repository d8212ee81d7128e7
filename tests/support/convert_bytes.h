// Converts bytes held in memory as a file would be converted, collecting the statements, and
// reads the values of an INSERT back, for tests that check how lines were cut.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/conversion.h"
#include "engine/scan.h"
#include "support/memory_source.h"
#include "support/recording_reporter.h"

// The engine's sixty-four-byte scans on or off while it lives, so a case runs both ways: the
// output must be the same. On, they take quoted values from a file's third quoted field, so a
// short input is read both ways.
class BlockScans {
  public:
    explicit BlockScans(bool on)
        : m_was(quarrytab::detail::g_blockScan.exchange(on)),
          m_quotedWas(quarrytab::detail::g_quotedBeforeBlocks.exchange(2)) {}
    ~BlockScans() {
        quarrytab::detail::g_blockScan = m_was;
        quarrytab::detail::g_quotedBeforeBlocks = m_quotedWas;
    }
    BlockScans(const BlockScans&) = delete;
    BlockScans& operator=(const BlockScans&) = delete;

  private:
    bool m_was;
    std::uint64_t m_quotedWas;
};
inline constexpr bool kBothScans[] = {true, false};

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

// The bytes of a SQLite blob "CAST(X'6100' AS TEXT)" at `i`, moving `i` past it; nothing when
// there is none.
inline std::optional<std::string> BlobValue(std::string_view insert, std::size_t& i) {
    const auto close = insert.find("' AS TEXT)", i);
    if (insert.substr(i, 7) != "CAST(X'" || close == std::string_view::npos)
        return std::nullopt;
    std::string value;
    for (std::size_t k = i + 7; k + 1 < close; k += 2)
        value += static_cast<char>(std::stoi(std::string(insert.substr(k, 2)), nullptr, 16));
    i = close + 10;
    return value;
}

// The literal at `i` ('b''c' as b'c), moving `i` past it; nothing when there is none. With
// `backslashes` a backslash escapes the byte after it as MySQL reads it (\0 NUL, \r CR, \n LF,
// \Z Ctrl-Z, any other byte itself); SQLite's '||char(13)||' is a CR, PostgreSQL's '||chr(0)||' a
// NUL.
inline std::optional<std::string> LiteralValue(std::string_view insert, std::size_t& i,
                                               bool backslashes) {
    if (i >= insert.size() || insert[i] != '\'')
        return std::nullopt;
    std::string value;
    for (++i; i < insert.size(); ++i) {
        const char c = insert[i];
        if (backslashes && c == '\\' && i + 1 < insert.size()) {
            const char e = insert[++i];
            value += e == '0' ? '\0' : e == 'r' ? '\r' : e == 'n' ? '\n' : e == 'Z' ? '\x1A' : e;
        } else if (c == '\'' && insert.substr(i, 2) == "''") {
            value += c;
            ++i;
        } else if (c == '\'' && insert.substr(i, 14) == "'||char(13)||'") {
            value += '\r';  // SQLite's CR, joined to the literal
            i += 13;
        } else if (c == '\'' && insert.substr(i, 12) == "'||chr(0)||'") {
            value += '\0';  // PostgreSQL's NUL, which the server refuses
            i += 11;
        } else if (c == '\'') {
            ++i;
            return value;
        } else {
            value += c;
        }
    }
    return std::nullopt;
}

// The values of "INSERT INTO t VALUES ('a','b''c')" (with or without a ";") as {"a", "b'c"};
// nothing when the statement is not one INSERT of literals (SQLite's blobs included; MySQL's
// backslash escapes read with `backslashes`).
inline std::optional<std::vector<std::string>> InsertValues(std::string_view insert,
                                                            bool backslashes = false) {
    const auto open = insert.find(" VALUES (");
    if (!insert.starts_with("INSERT INTO ") || open == std::string_view::npos)
        return std::nullopt;
    std::size_t i = open + 9;
    std::vector<std::string> values;
    for (;;) {
        auto value = BlobValue(insert, i);
        if (!value)
            value = LiteralValue(insert, i, backslashes);
        if (!value)
            return std::nullopt;
        values.push_back(std::move(*value));
        if (i < insert.size() && insert[i] == ',') {
            ++i;
            continue;
        }
        const auto rest = insert.substr(std::min(i, insert.size()));
        if (rest != ")" && rest != ");")
            return std::nullopt;
        return values;
    }
}
