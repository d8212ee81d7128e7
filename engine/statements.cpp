#include "engine/statements.h"

#include <cstring>

#include "engine/line_reader.h"

namespace quarrytab {

namespace {

void AppendDoubling(std::string& out, std::string_view text, std::string_view closing) {
    if (closing.empty()) {
        out += text;
        return;
    }
    std::size_t start = 0;
    for (auto hit = text.find(closing); hit != std::string_view::npos;
         hit = text.find(closing, start)) {
        out += text.substr(start, hit + closing.size() - start);
        out += closing;
        start = hit + closing.size();
    }
    out += text.substr(start);
}

}  // namespace

std::string TableReference(const ConversionOptions& options, std::string_view baseName) {
    std::string reference = options.DelimitingChar;
    reference += options.TableName;
    reference += '_';
    AppendDoubling(reference, baseName, options.ClosingDelimitingChar);
    reference += options.ClosingDelimitingChar;
    return reference;
}

bool IsBlankLine(std::string_view line) {
    return line.find_first_not_of(' ') == std::string_view::npos;
}

void AppendQuotedValue(std::string& out, std::string_view value) {
    out += '\'';
    for (;;) {
        const void* quote = value.empty() ? nullptr : std::memchr(value.data(), '\'', value.size());
        if (quote == nullptr) break;
        const auto upTo = static_cast<std::size_t>(static_cast<const char*>(quote) - value.data());
        out.append(value.data(), upTo + 1);
        out += '\'';
        value.remove_prefix(upTo + 1);
    }
    out += value;
    out += '\'';
}

StatementGenerator::StatementGenerator(const ConversionOptions& options,
                                       std::string_view baseName)
    : m_options(options), m_ending(options.IncludeSemicolon ? ";" : "") {
    const auto reference = TableReference(options, baseName);
    m_createHead = "CREATE TABLE " + reference + " (";
    m_insertHead = "INSERT INTO " + reference + " VALUES (";
}

void StatementGenerator::addLine(std::string_view line, StatementSink& sink) {
    if (m_firstLine) {
        m_firstLine = false;
        if (m_options.Mode == StatementMode::CreateAndInsert) {
            appendCreateTable(line);
            sink.statement(m_statement);
        }
    }
    if (!IsBlankLine(line)) {
        appendInsert(line);
        sink.statement(m_statement);
    }
}

void StatementGenerator::appendCreateTable(std::string_view line) {
    std::size_t columns = 0;
    ForEachField(line, m_options.CsvDelimiter, [&](std::string_view) { ++columns; });
    // A zero-length first line still names one column, like a line of spaces does.
    if (columns == 0) columns = 1;
    m_statement = m_createHead;
    for (std::size_t k = 1; k <= columns; ++k) {
        if (k > 1) m_statement += ',';
        m_statement += m_options.DelimitingChar;
        m_statement += "fld";
        m_statement += std::to_string(k);
        m_statement += m_options.ClosingDelimitingChar;
        m_statement += " text";
    }
    m_statement += ')';
    m_statement += m_ending;
}

void StatementGenerator::appendInsert(std::string_view line) {
    m_statement = m_insertHead;
    bool first = true;
    ForEachField(line, m_options.CsvDelimiter, [&](std::string_view field) {
        if (!first) m_statement += ',';
        first = false;
        AppendQuotedValue(m_statement, field);
    });
    m_statement += ')';
    m_statement += m_ending;
}

}  // namespace quarrytab
