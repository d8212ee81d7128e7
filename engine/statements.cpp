#include "engine/statements.h"

#include <algorithm>
#include <cstring>
#include <utility>

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

char* StatementSink::reserve(std::size_t size) {
    const auto needed = m_piecesSize + size;
    if (needed > m_piecesRoom) {
        // Left uninitialised: only the bytes a statement writes are ever touched.
        const auto room = std::max(needed, 2 * m_piecesRoom);
        auto grown = std::make_unique_for_overwrite<char[]>(room);
        if (m_piecesSize > 0)
            std::memcpy(grown.get(), m_pieces.get(), m_piecesSize);
        m_pieces = std::move(grown);
        m_piecesRoom = room;
    }
    return m_pieces.get() + m_piecesSize;
}

void StatementSink::commit(std::size_t size, bool complete) {
    m_piecesSize += size;
    if (complete)
        statement(std::string_view(m_pieces.get(), std::exchange(m_piecesSize, 0)));
}

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
    m_reference = TableReference(options, baseName);
    m_insertHead = "INSERT INTO " + m_reference + " VALUES (";
}

void StatementGenerator::addLine(std::string_view line, StatementSink& sink) {
    if (m_firstLine) {
        m_firstLine = false;
        if (m_options.Mode == StatementMode::CreateAndInsert) {
            appendCreateTable(line, sink);
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

void WriteCreateTable(StatementSink& sink, std::string_view reference, std::size_t columns,
                      const std::function<void(std::size_t, std::string&)>& name,
                      std::string_view type, std::string_view ending) {
    constexpr std::size_t kPiece = 64 << 10;
    std::string text = "CREATE TABLE ";
    text += reference;
    text += " (";
    const auto send = [&](bool complete) {
        std::memcpy(sink.reserve(text.size()), text.data(), text.size());
        sink.commit(text.size(), complete);
        text.clear();
    };
    for (std::size_t k = 0; k < columns; ++k) {
        if (k > 0)
            text += ',';
        name(k, text);
        text += ' ';
        text += type;
        if (text.size() >= kPiece)
            send(false);
    }
    text += ')';
    text += ending;
    send(true);
}

void WriteClassicCreateTable(StatementSink& sink, const ConversionOptions& options,
                             std::string_view reference, std::size_t columns) {
    const auto name = [&](std::size_t k, std::string& out) {
        out += options.DelimitingChar;
        out += "fld";
        out += std::to_string(k + 1);
        out += options.ClosingDelimitingChar;
    };
    WriteCreateTable(sink, reference, columns, name, "text", options.IncludeSemicolon ? ";" : "");
}

void StatementGenerator::appendCreateTable(std::string_view line, StatementSink& sink) {
    std::size_t columns = 0;
    ForEachField(line, m_options.CsvDelimiter, [&](std::string_view) { ++columns; });
    // A zero-length first line still names one column, like a line of spaces does.
    WriteClassicCreateTable(sink, m_options, m_reference, std::max<std::size_t>(1, columns));
}

// The common case: the whole line's values written in one pass (see WriteLineAsLiterals).
void StatementGenerator::makeInsertSingleByteDelimiter(std::string_view line, char delimiter,
                                                       StatementSink& sink) {
    const std::size_t most =
        m_insertHead.size() + LineAsLiteralsBound(line.size()) + 1 + m_ending.size();
    char* const begin = sink.reserve(most);
    char* out = begin;
    std::memcpy(out, m_insertHead.data(), m_insertHead.size());
    out += m_insertHead.size();
    out = WriteLineAsLiterals(out, line, delimiter);
    *out++ = ')';
    std::memcpy(out, m_ending.data(), m_ending.size());
    out += m_ending.size();
    sink.commit(static_cast<std::size_t>(out - begin));
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
