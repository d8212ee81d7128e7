// Fuzzes the conversion of a whole file against simple models of the rules: lines end at CR LF,
// LF or CR, a line splits as a plain left-to-right scan cuts it, every line that is not blank
// gets an INSERT of exactly its fields, each of which reads back unchanged from its SQL literal,
// and the CREATE TABLE names one column per field of the first line (at least one). Reading the
// file in pieces, or without the block scans, changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "support/convert_bytes.h"

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

// A file's lines as a line reader cuts them: at CR LF, LF or a lone CR.
std::vector<std::string_view> Lines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    while (!bytes.empty()) {
        const auto cut = std::min(bytes.find_first_of("\r\n"), bytes.size());
        lines.push_back(bytes.substr(0, cut));
        bytes.remove_prefix(std::min(bytes.size(), cut + (bytes.substr(cut, 2) == "\r\n" ? 2 : 1)));
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    using namespace quarrytab;
    ConversionOptions options;
    const std::uint8_t flags = data[0];
    options.Mode = (flags & 1) ? StatementMode::CreateAndInsert : StatementMode::InsertOnly;
    options.IncludeSemicolon = (flags & 2) != 0;
    static const char* const kOpenings[] = {"[", "'", "\"", "", "(", "`", "{", "<"};
    SetDelimitingChar(options, kOpenings[(flags >> 2) & 7]);
    const std::size_t delimiterLength = (flags >> 5) % 4;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    if (rest.size() < delimiterLength)
        return 0;
    options.CsvDelimiter = std::string(rest.substr(0, delimiterLength));
    const std::string_view file = rest.substr(delimiterLength);

    // Read whole, then in pieces of a few bytes: the same statements either way.
    const auto made = ConvertBytes(std::string(file), options);
    Require(ConvertBytes(std::string(file), options, "t", 1 + flags % 7) == made);
    {
        BlockScans scans(false);
        Require(ConvertBytes(std::string(file), options) == made);
    }
    std::size_t next = 0;
    const std::string reference = TableReference(options, "t");
    const std::string ending = options.IncludeSemicolon ? ";" : "";
    const auto lines = Lines(file);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const auto fields = ModelFields(lines[k], options.CsvDelimiter);
        if (k == 0 && options.Mode == StatementMode::CreateAndInsert) {
            Require(made.size() > next);
            std::string expected = "CREATE TABLE " + reference + " (";
            const std::size_t columns = fields.empty() ? 1 : fields.size();
            for (std::size_t c = 1; c <= columns; ++c) {
                if (c > 1)
                    expected += ',';
                expected += options.DelimitingChar + "fld" + std::to_string(c) +
                            options.ClosingDelimitingChar + " text";
            }
            Require(made[next++] == expected + ")" + ending);
        }
        if (lines[k].find_first_not_of(' ') == std::string_view::npos)
            continue;
        Require(made.size() > next);
        const std::string_view insert = made[next++];
        const std::string head = "INSERT INTO " + reference + " VALUES (";
        Require(insert.starts_with(head) && insert.ends_with(")" + ending));
        const auto values =
            InsertValues("INSERT INTO t VALUES (" + std::string(insert.substr(head.size())));
        Require(values.has_value() && *values == fields);
    }
    Require(next == made.size());
    return 0;
}
