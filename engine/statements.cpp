#include "engine/statements.h"

#include <algorithm>
#include <cstring>

#include "engine/dialect.h"
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
    AppendLiteral(out, value, Dialect::Classic);
}

StatementGenerator::StatementGenerator(const ConversionOptions& options, std::string_view baseName)
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
    if (IsBlankLine(line))
        return;
    if (m_options.CsvDelimiter.size() == 1) {
        makeInsertSingleByteDelimiter(line, m_options.CsvDelimiter.front(), sink);
    } else {
        appendInsert(line);
        sink.statement(m_statement);
    }
}

void StatementGenerator::appendCreateTable(std::string_view line) {
    std::size_t columns = 0;
    ForEachField(line, m_options.CsvDelimiter, [&](std::string_view) { ++columns; });
    // A zero-length first line still names one column, like a line of spaces does.
    if (columns == 0)
        columns = 1;
    m_statement = m_createHead;
    for (std::size_t k = 1; k <= columns; ++k) {
        if (k > 1)
            m_statement += ',';
        m_statement += m_options.DelimitingChar;
        m_statement += "fld";
        m_statement += std::to_string(k);
        m_statement += m_options.ClosingDelimitingChar;
        m_statement += " text";
    }
    m_statement += ')';
    m_statement += m_ending;
}

// The common case: the whole line's values written in one pass (see WriteLineAsLiterals).
void StatementGenerator::makeInsertSingleByteDelimiter(std::string_view line, char delimiter,
                                                       StatementSink& sink) {
    const std::size_t most =
        m_insertHead.size() + LineAsLiteralsBound(line.size()) + 1 + m_ending.size();
    char* const start = sink.reserve(most);
    const bool inPlace = start != nullptr;
    if (!inPlace && m_scratchSize < most) {
        m_scratchSize = std::max(most, 2 * m_scratchSize);
        m_scratch = std::make_unique_for_overwrite<char[]>(m_scratchSize);
    }
    char* out = inPlace ? start : m_scratch.get();
    char* const begin = out;
    std::memcpy(out, m_insertHead.data(), m_insertHead.size());
    out += m_insertHead.size();
    out = WriteLineAsLiterals(out, line, delimiter);
    *out++ = ')';
    std::memcpy(out, m_ending.data(), m_ending.size());
    out += m_ending.size();
    const auto size = static_cast<std::size_t>(out - begin);
    if (inPlace)
        sink.commit(size);
    else
        sink.statement(std::string_view(begin, size));
}

void StatementGenerator::appendInsert(std::string_view line) {
    m_statement = m_insertHead;
    bool first = true;
    ForEachField(line, m_options.CsvDelimiter, [&](std::string_view field) {
        if (!first)
            m_statement += ',';
        first = false;
        AppendQuotedValue(m_statement, field);
    });
    m_statement += ')';
    m_statement += m_ending;
}

}  // namespace quarrytab
