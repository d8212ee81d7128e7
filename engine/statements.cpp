#include "engine/statements.h"

#include "engine/dialect.h"

#include <algorithm>
#include <cstring>
#include <utility>

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

char* PieceBuffer::room(std::size_t more) {
    if (m_size + more > m_room) {
        const auto room = std::max(m_size + more, 2 * m_room);
        auto grown = std::make_unique_for_overwrite<char[]>(room);
        if (m_size > 0) {
            std::memcpy(grown.get(), m_data.get(), m_size);
        }
        m_data = std::move(grown);
        m_room = room;
    }
    return m_data.get() + m_size;
}

char* StatementSink::reserve(std::size_t size) {
    return m_pieces.room(size);
}

void StatementSink::commit(std::size_t size, bool complete) {
    m_pieces.add(size);
    if (complete) {
        statement(m_pieces.bytes());
        m_pieces.clear();
    }
}

std::string TableReference(const ConversionOptions& options, std::string_view baseName) {
    std::string reference = options.DelimitingChar;
    // The classic statements write the prefix as it was typed; under the rules for real-world
    // files it is part of the name like the file's own, so its closing quotes are doubled too.
    if (UsesRecordRules(options)) {
        AppendDoubling(reference, TableName(options, baseName), options.ClosingDelimitingChar);
    } else {
        reference += options.TableName;
        reference += '_';
        AppendDoubling(reference, baseName, options.ClosingDelimitingChar);
    }
    reference += options.ClosingDelimitingChar;
    return reference;
}

std::string TableName(const ConversionOptions& options, std::string_view baseName) {
    std::string name = options.TableName + "_" + std::string(baseName);
    return UsesRecordRules(options) ? FittedName(name, options.SqlDialect) : name;
}

bool IsBlankLine(std::string_view line) {
    return line.find_first_not_of(' ') == std::string_view::npos;
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
        if (k > 0) {
            text += ',';
        }
        name(k, text);
        text += ' ';
        text += type;
        if (text.size() >= kPiece) {
            send(false);
        }
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

}  // namespace quarrytab
