#include "engine/record_stream.h"

#include <utility>

namespace quarrytab::detail {

RecordStream::RecordStream(const ConversionOptions& options, std::string_view baseName,
                           std::string delimiter, StatementSink& sink, FileNotes& notes,
                           std::uint64_t firstLine, bool stripBom, const TablePlan* plan)
    : m_notes(notes),
      m_assembler(options, baseName, sink, notes, plan),
      m_tokenizer(
          {std::move(delimiter), options.CommentPrefix, options.QuotedFields, stripBom, firstLine},
          m_assembler) {}

void RecordStream::finish(bool readToEnd) {
    if (!stopped()) {
        m_tokenizer.finish(readToEnd);
        if (m_tokenizer.unclosedQuoteLine() != 0 && !stopped()) {
            m_notes.unclosedQuote.add(m_tokenizer.unclosedQuoteLine());
        }
    }
    m_assembler.finish(readToEnd);
}

}  // namespace quarrytab::detail
