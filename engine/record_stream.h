// The statements of a file under the rules for real-world files, written in one pass over its
// bytes as they are read: the tokenizer cuts records (RFC 4180 quoting on request) and the
// statement assembler writes them as the bytes go by, so neither a line nor a field is ever held
// whole. Not part of the engine's interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/file_notes.h"
#include "engine/options.h"
#include "engine/record_keeper.h"
#include "engine/record_shaper.h"
#include "engine/reject_sink.h"
#include "engine/statement_assembler.h"
#include "engine/statements.h"
#include "engine/tokenizer.h"

namespace quarrytab::detail {

class RecordStream {
  public:
    // `delimiter` is the one chosen for the file; `firstLine` the number of its first line
    // after those skipped. A byte-order mark is looked for when `stripBom` is set. With
    // `rejects`, every record left out goes there (see RecordKeeper).
    RecordStream(const ConversionOptions& options, std::string_view baseName, std::string delimiter,
                 StatementSink& sink, FileNotes& notes, std::uint64_t firstLine, bool stripBom,
                 const TablePlan* plan = nullptr, RejectSink* rejects = nullptr);

    // Converts bytes that follow those fed before and returns how many it used (see
    // Tokenizer::feed); it also stops when a ragged record stops the conversion.
    std::size_t feed(std::string_view bytes, bool last, std::uint64_t recordLimit);

    // Ends the file: the record still open is ended (when the file was read to its end), what
    // is pending is written, and a transaction ends in COMMIT, or ROLLBACK when the file was
    // not read to its end or a ragged record stopped the conversion.
    void finish(bool readToEnd);

    // A ragged record stopped the conversion (RaggedMode::Fail).
    bool stopped() const { return m_notes.stopped; }
    // Records complete so far, the header and blank ones included.
    std::uint64_t records() const;

  private:
    // Records taken a value at a time on their way to the assembler (see RecordShaper).
    struct Shaped {
        Shaped(const ConversionOptions& options, StatementAssembler& assembler, FileNotes& notes,
               const ReadingRules& rules)
            : shaper(options, assembler, notes), tokenizer(rules, shaper) {}
        RecordShaper<StatementAssembler> shaper;
        Tokenizer<RecordShaper<StatementAssembler>> tokenizer;
    };
    // A RecordKeeper in front of `Handler` (the assembler, or the shaper in front of it), when
    // the records left out are handed on.
    template <class Handler>
    struct Keeping {
        Keeping(const ReadingRules& rules, Handler& handler, RejectSink& rejects)
            : keeper(handler, rejects), tokenizer(rules, keeper) {}
        RecordKeeper<Handler> keeper;
        Tokenizer<RecordKeeper<Handler>> tokenizer;
    };
    template <class Read>
    void finishReading(Read& tokenizer, bool readToEnd);
    // Calls `use` with the tokenizer that reads the file: the keeping one, the shaping one or
    // the plain one; the others are not used.
    template <class Self, class Use>
    static decltype(auto) Reading(Self& self, Use use) {
        if (self.m_keepingShaped) {
            return use(self.m_keepingShaped->tokenizer);
        }
        if (self.m_keeping) {
            return use(self.m_keeping->tokenizer);
        }
        if (self.m_shaped) {
            return use(self.m_shaped->tokenizer);
        }
        return use(self.m_tokenizer);
    }

    FileNotes& m_notes;
    ConversionOptions m_shapedOptions;  // what the assembler takes
    StatementAssembler m_assembler;
    Tokenizer<StatementAssembler> m_tokenizer;
    std::unique_ptr<Shaped> m_shaped;
    std::unique_ptr<Keeping<StatementAssembler>> m_keeping;
    std::unique_ptr<Keeping<RecordShaper<StatementAssembler>>> m_keepingShaped;
};

inline std::size_t RecordStream::feed(std::string_view bytes, bool last,
                                      std::uint64_t recordLimit) {
    return Reading(*this,
                   [&](auto& tokenizer) { return tokenizer.feed(bytes, last, recordLimit); });
}

inline std::uint64_t RecordStream::records() const {
    return Reading(*this, [](const auto& tokenizer) { return tokenizer.records(); });
}

}  // namespace quarrytab::detail
