// The choices that shape a conversion: captured once when a run starts, unchanged while it runs.
#pragma once

#include <string>
#include <string_view>

namespace quarrytab {

enum class StatementMode { InsertOnly, CreateAndInsert };

struct ConversionOptions {
    std::string TableName = "Table1";         // prefix of every table name, written as typed
    std::string DelimitingChar = "'";         // written before every table and field name
    std::string ClosingDelimitingChar = "'";  // written after them; see ClosingDelimiterFor
    std::string CsvDelimiter = ",";           // cuts each input line into fields; may be empty
    StatementMode Mode = StatementMode::CreateAndInsert;
    bool IncludeSemicolon = true;
    bool SaveToOriginalFolder = false;
    std::string OutputFolder;
};

// The closing counterpart of an opening delimiting text: "(" "[" "{" "<" pair with ")" "]" "}"
// ">"; every other text, including longer ones and closing brackets, closes with itself.
std::string ClosingDelimiterFor(std::string_view opening);

// Options with DelimitingChar set and its closing counterpart derived from it.
inline void SetDelimitingChar(ConversionOptions& options, std::string_view opening) {
    options.DelimitingChar = std::string(opening);
    options.ClosingDelimitingChar = ClosingDelimiterFor(opening);
}

}  // namespace quarrytab
