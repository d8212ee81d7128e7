// Fuzzes the records path with quoted fields: whatever the bytes, it must not crash, and the
// values of its INSERTs, written again as records with every field quoted, must convert to the
// same values, and so must its rows written as PostgreSQL's COPY, read back by a COPY text
// reader. Read in pieces of sixteen bytes or whole (so the block scans are reached), with the
// block scans or without, the values are the same. The first record read as a header gives, in
// each dialect, column names the database takes and tells apart (or nothing at all, refused),
// and those names written again as a header come back as they are.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dialect.h"
#include "support/convert_bytes.h"

namespace {

using Records = std::vector<std::vector<std::string>>;

// Quoted fields cut at `delimiter`, rows without a CREATE TABLE.
quarrytab::ConversionOptions RowsOnly(const std::string& delimiter) {
    quarrytab::ConversionOptions options;
    options.QuotedFields = true;
    options.CsvDelimiter = delimiter;
    options.Mode = quarrytab::StatementMode::InsertOnly;
    return options;
}

// The values of each INSERT the records path writes for the bytes, read `step` bytes at a time.
Records Read(std::string_view bytes, const std::string& delimiter,
             std::size_t step = MemorySource::kNever) {
    const auto options = RowsOnly(delimiter);
    Records read;
    for (const auto& insert : ConvertBytes(std::string(bytes), options, "t", step)) {
        auto values = InsertValues(insert);
        if (!values)
            std::abort();
        read.push_back(std::move(*values));
    }
    return read;
}

// One row of COPY's text format: TAB between values, \\ \t \r \n \000 for the bytes they stand
// for. Aborts on anything the writer never writes (\N without --null-empty, another escape, a raw
// CR, LF or NUL).
std::vector<std::string> CopyValues(std::string_view row) {
    std::vector<std::string> values(1);
    for (std::size_t i = 0; i < row.size(); ++i) {
        const char c = row[i];
        if (c == '\t') {
            values.emplace_back();
        } else if (c == '\r' || c == '\n' || c == '\0') {
            std::abort();
        } else if (c != '\\') {
            values.back() += c;
        } else if (row.substr(i, 4) == "\\000") {
            values.back() += '\0';
            i += 3;
        } else if (++i < row.size() &&
                   std::string_view("\\trn").find(row[i]) != std::string::npos) {
            values.back() += row[i] == 't'   ? '\t'
                             : row[i] == 'r' ? '\r'
                             : row[i] == 'n' ? '\n'
                                             : '\\';
        } else {
            std::abort();
        }
    }
    return values;
}

// The values of the rows the records path writes for the bytes as PostgreSQL's COPY.
Records CopyRead(std::string_view bytes, const std::string& delimiter,
                 std::size_t step = MemorySource::kNever) {
    auto options = RowsOnly(delimiter);
    options.SqlDialect = quarrytab::Dialect::Postgres;
    options.Rows = quarrytab::RowForm::Copy;
    quarrytab::SetDelimitingChar(options, "\"");
    const auto made = ConvertBytes(std::string(bytes), options, "t", step);
    // Nothing without rows; else the setup line, COPY, its rows and \.
    if (made.empty()) {
        return {};
    }
    if (made.size() < 3 || made[1] != "COPY \"Table1_t\" FROM STDIN;" || made.back() != "\\.") {
        std::abort();
    }
    Records read;
    for (std::size_t k = 2; k + 1 < made.size(); ++k) {
        read.push_back(CopyValues(made[k]));
    }
    return read;
}

std::string WriteQuoted(const Records& records, const std::string& delimiter) {
    std::string out;
    for (const auto& fields : records) {
        for (std::size_t k = 0; k < fields.size(); ++k) {
            if (k > 0)
                out += delimiter;
            out += '"';
            for (const char c : fields[k])
                out += c == '"' ? std::string("\"\"") : std::string(1, c);
            out += '"';
        }
        out += "\r\n";
    }
    return out;
}

// The column names of the CREATE TABLE the records path writes for the bytes with a header, in
// `dialect`; nothing when it writes none. Aborts when the names were refused yet something was
// written.
std::optional<std::vector<std::string>> HeaderNames(std::string_view bytes,
                                                    const std::string& delimiter,
                                                    quarrytab::Dialect dialect) {
    quarrytab::ConversionOptions options;
    options.QuotedFields = true;
    options.HeaderRow = true;
    options.CsvDelimiter = delimiter;
    options.SqlDialect = dialect;
    const std::string quote(quarrytab::RulesOf(dialect).identifierQuote);
    quarrytab::SetDelimitingChar(options, quote);
    quarrytab::FileNotes notes;
    const auto made = ConvertBytes(std::string(bytes), options, "t", MemorySource::kNever, &notes);
    if (!notes.refused.empty() && !made.empty()) {
        std::abort();
    }
    const std::string head = "CREATE TABLE " + quote + "Table1_t" + quote + " (";
    const auto create = std::find_if(made.begin(), made.end(),
                                     [&](const std::string& s) { return s.starts_with(head); });
    if (create == made.end()) {
        return std::nullopt;
    }
    // Each name runs from its quote to the next one not doubled, then its type and , or ).
    std::vector<std::string> names;
    for (std::size_t i = head.size(); i < create->size() && (*create)[i] == quote[0];) {
        std::string name;
        for (++i; i < create->size(); ++i) {
            if ((*create)[i] == quote[0]) {
                if (i + 1 < create->size() && (*create)[i + 1] == quote[0]) {
                    name += quote[0];
                    ++i;
                    continue;
                }
                break;
            }
            name += (*create)[i];
        }
        names.push_back(name);
        i = create->find_first_of(",)", i + 1);
        if (i == std::string::npos || (*create)[i] == ')') {
            break;
        }
        ++i;
    }
    return names;
}

// True when every name is one the database takes and no two are the same name to it.
bool Takes(const std::vector<std::string>& names, quarrytab::Dialect dialect) {
    const auto& rules = quarrytab::RulesOf(dialect);
    std::set<std::string> keys;
    for (const auto& name : names) {
        const auto characters = static_cast<std::size_t>(
            std::count_if(name.begin(), name.end(), [](char c) { return (c & 0xC0) != 0x80; }));
        const bool tooLong = (rules.maxNameBytes != 0 && name.size() > rules.maxNameBytes) ||
                             (rules.maxNameCharacters != 0 && characters > rules.maxNameCharacters);
        const bool rewritten =
            dialect != quarrytab::Dialect::Classic && name.find("\r\n") != std::string::npos;
        const bool trailing = rules.trailingSpacesRefused && name.ends_with(' ');
        if (name.empty() || tooLong || rewritten || trailing ||
            !quarrytab::NameRefusal(name, dialect).empty() ||
            !keys.insert(quarrytab::NameKey(name, dialect)).second) {
            return false;
        }
    }
    return true;
}

// The names again as a header of quoted fields.
std::string HeaderOf(const std::vector<std::string>& names, const std::string& delimiter) {
    return WriteQuoted({names}, delimiter);
}

void CheckHeaderNames(std::string_view bytes, const std::string& delimiter,
                      quarrytab::Dialect dialect) {
    const auto names = HeaderNames(bytes, delimiter, dialect);
    if (!names) {
        return;
    }
    if (names->empty() || !Takes(*names, dialect) ||
        HeaderNames(HeaderOf(*names, delimiter), delimiter, dialect) != names) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const char* const delimiters[] = {",", ";", "\t", "::", ",\"", ""};
    const std::string delimiter = delimiters[data[0] % 6];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto first = Read(bytes, delimiter);
    if (Read(WriteQuoted(first, delimiter), delimiter) != first ||
        Read(bytes, delimiter, 16) != first || CopyRead(bytes, delimiter) != first ||
        CopyRead(bytes, delimiter, 16) != first) {
        std::abort();
    }
    CheckHeaderNames(bytes, delimiter, static_cast<quarrytab::Dialect>(data[0] / 6 % 4));
    {
        BlockScans quoted(true);  // quoted values in the block scans from the third
        if (Read(bytes, delimiter) != first) {
            std::abort();
        }
    }
    BlockScans scans(false);
    if (Read(bytes, delimiter) != first || CopyRead(bytes, delimiter) != first) {
        std::abort();
    }
    return 0;
}
