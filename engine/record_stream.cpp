#include "engine/record_stream.h"

#include <utility>

namespace quarrytab::detail {

RecordStream::RecordStream(const ConversionOptions& options, std::string_view baseName,
                           std::string delimiter, StatementSink& sink, FileNotes& notes,
                           std::uint64_t firstLine, bool stripBom, const TablePlan* plan,
                           RejectSink* rejects)
    : m_notes(notes),
      m_shapedOptions(ShapedOptions(options)),
      m_assembler(m_shapedOptions, baseName, sink, notes, plan),
      m_tokenizer({delimiter, options.CommentPrefix, options.QuotedFields, stripBom, firstLine},
                  m_assembler) {
    const ReadingRules rules{std::move(delimiter), options.CommentPrefix, options.QuotedFields,
                             stripBom, firstLine};
    if (ShapesRecords(options)) {
        m_shaped = std::make_unique<Shaped>(options, m_assembler, notes, rules);
    }
    if (rejects == nullptr) {
        return;
    }
    m_assembler.tellLeftOut();
    if (m_shaped) {
        m_keepingShaped = std::make_unique<Keeping<RecordShaper<StatementAssembler>>>(
            rules, m_shaped->shaper, *rejects);
    } else {
        m_keeping = std::make_unique<Keeping<StatementAssembler>>(rules, m_assembler, *rejects);
    }
}

template <class Read>
void RecordStream::finishReading(Read& tokenizer, bool readToEnd) {
    if (!stopped()) {
        tokenizer.finish(readToEnd);
        if (tokenizer.unclosedQuoteLine() != 0 && !stopped()) {
            m_notes.unclosedQuote.add(tokenizer.unclosedQuoteLine());
        }
    }
}

void RecordStream::finish(bool readToEnd) {
    Reading(*this, [&](auto& tokenizer) { finishReading(tokenizer, readToEnd); });
    m_assembler.finish(readToEnd);
}

}  // namespace quarrytab::detail
