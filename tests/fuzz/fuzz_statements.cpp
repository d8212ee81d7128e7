// Fuzzes field splitting and statement generation against simple models of the rules: a line
// splits as a plain left-to-right scan cuts it, every INSERT carries exactly
// the fields of its line, each of which reads back unchanged from its SQL literal, and the
// CREATE TABLE names one column per field of the first line (at least one).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/line_reader.h"
#include "engine/statements.h"

namespace {

class Collect : public quarrytab::StatementSink {
  public:
    void statement(std::string_view text) override { made.emplace_back(text); }
    std::vector<std::string> made;
};

void Require(bool condition) {
    if (!condition)
        std::abort();
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Reads back the values of "'a','b''c'" as {"a", "b'c"}.
std::vector<std::string> ParseValues(std::string_view list) {
    std::vector<std::string> values;
    std::size_t i = 0;
    for (;;) {
        Require(i < list.size() && list[i] == '\'');
        ++i;
        std::string value;
        for (;;) {
            Require(i < list.size());
            if (list[i] == '\'') {
                if (i + 1 < list.size() && list[i + 1] == '\'') {
                    value += '\'';
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            value += list[i++];
        }
        values.push_back(value);
        if (i == list.size())
            return values;
        Require(list[i] == ',');
        ++i;
    }
}

// Field splitting the slow, obvious way: walk the line, cutting wherever the delimiter starts.
std::vector<std::string> ModelFields(std::string_view line, std::string_view delimiter) {
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
    const std::string_view line = rest.substr(delimiterLength);

    Collect sink;
    StatementGenerator generator(options, "t");
    generator.addLine(line, sink);
    const auto split = SplitFields(line, options.CsvDelimiter);
    const auto fields = ModelFields(line, options.CsvDelimiter);
    Require(std::vector<std::string>(split.begin(), split.end()) == fields);
    std::size_t next = 0;
    const std::string reference = TableReference(options, "t");
    const std::string ending = options.IncludeSemicolon ? ";" : "";
    if (options.Mode == StatementMode::CreateAndInsert) {
        Require(sink.made.size() >= 1);
        const std::string& create = sink.made[next++];
        std::string expected = "CREATE TABLE " + reference + " (";
        const std::size_t columns = fields.empty() ? 1 : fields.size();
        for (std::size_t k = 1; k <= columns; ++k) {
            if (k > 1)
                expected += ',';
            expected += options.DelimitingChar + "fld" + std::to_string(k) +
                        options.ClosingDelimitingChar + " text";
        }
        Require(create == expected + ")" + ending);
    }
    if (IsBlankLine(line)) {
        Require(sink.made.size() == next);
        return 0;
    }
    Require(sink.made.size() == next + 1);
    std::string_view insert = sink.made[next];
    const std::string head = "INSERT INTO " + reference + " VALUES (";
    const std::string tail = ")" + ending;
    Require(StartsWith(insert, head));
    Require(insert.size() >= head.size() + tail.size());
    Require(insert.substr(insert.size() - tail.size()) == tail);
    insert = insert.substr(head.size(), insert.size() - head.size() - tail.size());
    const auto values = ParseValues(insert);
    Require(values.size() == fields.size());
    for (std::size_t i = 0; i < values.size(); ++i) Require(values[i] == fields[i]);
    return 0;
}
