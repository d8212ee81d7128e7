#include "engine/preview.h"

#include <algorithm>

#include "engine/conversion.h"
#include "engine/error_trap.h"
#include "engine/in_memory_source.h"
#include "engine/platform.h"
#include "engine/record_stream.h"
#include "engine/statements.h"

namespace quarrytab {

namespace {

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

// The first statements, each cut to a length a person can read.
class FirstStatements final : public StatementSink {
  public:
    FirstStatements(Preview& preview, const PreviewLimits& limits)
        : m_preview(preview), m_limits(limits) {}
    void statement(std::string_view text) override {
        if (m_preview.statements.size() >= m_limits.statements) {
            m_preview.moreStatements = true;
            return;
        }
        std::string shown(text.substr(0, m_limits.statementBytes));
        if (text.size() > m_limits.statementBytes) {
            shown += kEllipsis;
        }
        m_preview.statements.push_back(std::move(shown));
    }

  private:
    Preview& m_preview;
    const PreviewLimits& m_limits;
};

// Reads each record's values back from its INSERT, written in the program's own dialect one
// record per statement: '...' with '' for a quote, or NULL.
class RecordCells final : public StatementSink {
  public:
    // With `headerWhole` the first record's values are kept whole: they are column names.
    RecordCells(std::string head, std::size_t limit, std::size_t columns, std::size_t cellBytes,
                bool headerWhole)
        : m_head(std::move(head)),
          m_limit(limit),
          m_columns(columns),
          m_cellBytes(cellBytes),
          m_headerWhole(headerWhole) {}

    void statement(std::string_view text) override {
        ++m_count;
        if (records.size() >= m_limit || !text.starts_with(m_head)) {
            return;
        }
        text.remove_prefix(m_head.size());
        PreviewRecord record;
        while (!text.empty() && text.front() != ')') {
            PreviewCell cell;
            if (text.starts_with("NULL")) {
                cell.null = true;
                text.remove_prefix(4);
            } else {
                text.remove_prefix(1);  // the opening quote
                std::size_t at = 0;
                for (;;) {
                    const auto quote = text.find('\'', at);
                    if (quote == std::string_view::npos) {
                        at = text.size();
                        break;
                    }
                    if (quote + 1 < text.size() && text[quote + 1] == '\'') {
                        append(cell, text.substr(at, quote + 1 - at));
                        at = quote + 2;
                        continue;
                    }
                    append(cell, text.substr(at, quote - at));
                    at = quote + 1;
                    break;
                }
                text.remove_prefix(std::min(at, text.size()));
            }
            if (record.cells.size() < m_columns) {
                record.cells.push_back(std::move(cell));
            }
            ++record.fields;
            if (text.starts_with(",")) {
                text.remove_prefix(1);
            }
        }
        records.push_back(std::move(record));
    }

    std::vector<PreviewRecord> records;
    std::size_t count() const { return m_count; }

  private:
    void append(PreviewCell& cell, std::string_view part) const {
        if (m_headerWhole && m_count == 1) {
            cell.text += part;
            return;
        }
        const std::size_t room = m_cellBytes - std::min(m_cellBytes, cell.text.size());
        if (part.size() > room) {
            cell.cut = true;
        }
        cell.text += part.substr(0, room);
    }

    std::string m_head;
    std::size_t m_limit;
    std::size_t m_columns;
    std::size_t m_cellBytes;
    bool m_headerWhole;
    std::size_t m_count = 0;
};

}  // namespace

FileSample ReadFileSample(std::string_view path, std::size_t limit) {
    FileSample sample;
    InputFile file;
    if (!file.open(path, sample.error)) {
        return sample;
    }
    sample.bytes.resize(limit);
    std::size_t filled = 0;
    while (filled < limit) {
        const auto count = file.read(sample.bytes.data() + filled, limit - filled, sample.error);
        if (count < 0) {
            sample.bytes.clear();
            return sample;
        }
        if (count == 0) {
            sample.whole = true;
            break;
        }
        filled += static_cast<std::size_t>(count);
    }
    sample.bytes.resize(filled);
    if (!sample.whole) {
        char probe = 0;
        std::string ignored;
        sample.whole = file.read(&probe, 1, ignored) == 0;
    }
    return sample;
}

namespace {

// The statements of the sample, exactly as the run writes them, and its notes.
void AddStatements(Preview& preview, std::string_view bytes, bool whole, std::string_view baseName,
                   const ConversionOptions& options, const PreviewLimits& limits) {
    QuietReporter quiet;
    InMemorySource source(bytes);
    FirstStatements sink(preview, limits);
    ConvertStream(source, baseName, options, {quiet, sink, {}, nullptr, &preview.notes});
    if (!whole) {
        preview.notes.unclosedQuote = {};  // the file goes on past the sample
    }
}

// The same reading, written one record per INSERT in the program's own dialect, every record
// kept whatever its width, the header as a record of its own.
ConversionOptions RecordByRecord(const ConversionOptions& options) {
    ConversionOptions plain = options;
    plain.SqlDialect = Dialect::Classic;
    plain.Mode = StatementMode::InsertOnly;
    plain.HeaderRow = false;
    plain.Ragged = RaggedMode::Keep;
    plain.RowsPerInsert = 1;
    plain.Transaction = false;
    plain.IncludeSemicolon = false;
    plain.TableName.clear();
    SetDelimitingChar(plain, "\"");
    return plain;
}

// The records of the sample with their values, the header's among them; the last one marked cut
// when the sample ends inside it.
RecordCells ReadRecords(std::string_view bytes, bool whole, const ConversionOptions& options,
                        const PreviewLimits& limits) {
    const ConversionOptions plain = RecordByRecord(options);
    const bool header = options.HeaderRow;
    RecordCells cells("INSERT INTO " + TableReference(plain, "p") + " VALUES (",
                      limits.records + (header ? 1 : 0), limits.columns, limits.cellBytes, header);
    QuietReporter quiet;
    InMemorySource source(bytes);
    FileNotes unused;
    ConvertStream(source, "p", plain, {quiet, cells, {}, nullptr, &unused});
    auto& records = cells.records;
    if (!whole && cells.count() == records.size() && !records.empty()) {
        records.back().cut = true;  // the sample ends inside the last record it holds
    }
    return cells;
}

// Marks the records of another field count than the first; returns the first one's.
std::size_t MarkRagged(std::vector<PreviewRecord>& records) {
    const std::size_t width = records.empty() ? 0 : std::max<std::size_t>(1, records[0].fields);
    for (auto& record : records) {
        record.ragged = record.fields != width;
    }
    return width;
}

// The names of the first columns: the header's, fitted to the dialect as CREATE TABLE fits them,
// taken out of `records`; or fld1, fld2, ...
std::vector<std::string> PreviewColumns(std::vector<PreviewRecord>& records, bool header,
                                        Dialect dialect, std::size_t width,
                                        const PreviewLimits& limits) {
    std::vector<std::string> columns;
    if (header && !records.empty()) {
        std::vector<std::string_view> names;
        for (const auto& cell : records.front().cells) {
            names.push_back(cell.null ? std::string_view() : std::string_view(cell.text));
        }
        columns = detail::ColumnNames(names, dialect);
        columns.resize(std::min(columns.size(), limits.columns));
        records.erase(records.begin());
    } else {
        for (std::size_t k = 1; k <= std::min(width, limits.columns); ++k) {
            columns.push_back("fld" + std::to_string(k));
        }
    }
    return columns;
}

// The preview of the first bytes of a sample; `whole` when they end the file.
Preview PreviewPart(std::string_view bytes, bool whole, std::string_view baseName,
                    const ConversionOptions& options, const PreviewLimits& limits) {
    Preview preview;
    preview.sampleBytes = bytes.size();
    AddStatements(preview, bytes, whole, baseName, options, limits);
    RecordCells cells = ReadRecords(bytes, whole, options, limits);
    auto& records = cells.records;
    const bool header = options.HeaderRow;
    preview.width = MarkRagged(records);
    preview.columns = PreviewColumns(records, header, options.SqlDialect, preview.width, limits);
    preview.recordsInSample = cells.count() - (header && cells.count() > 0 ? 1 : 0);
    preview.records = std::move(records);
    preview.complete = whole;
    return preview;
}

// Where the line that ends the `lines`th line break ends, or npos.
std::size_t AfterLines(std::string_view bytes, std::size_t lines) {
    std::size_t at = 0;
    for (std::size_t n = 0; n < lines; ++n) {
        at = bytes.find('\n', at);
        if (at == std::string_view::npos) {
            return at;
        }
        ++at;
    }
    return at;
}

}  // namespace

ConversionOptions DecideRules(const FileSample& sample, const ConversionOptions& options,
                              FileNotes& notes) {
    if (!options.AutoRules) {
        return options;
    }
    // The run decides from the file's first kSniffBytes, and from the whole file when it ends
    // within them; the sample holds at least as many bytes, or the whole file.
    QuietReporter quiet;
    InMemorySource source(sample.bytes);
    return ExplainStream(source, options, quiet, notes);
}

Preview PreviewSample(const FileSample& sample, std::string_view baseName,
                      const ConversionOptions& options, const PreviewLimits& limits) {
    Preview preview;
    preview.problem = !sample.error.empty() ? sample.error : OptionsProblem(options);
    if (!preview.problem.empty()) {
        return preview;
    }
    if (options.AutoRules) {
        FileNotes chosen;
        const ConversionOptions decided = DecideRules(sample, options, chosen);
        preview = PreviewSample(sample, baseName, decided, limits);
        preview.notes.rulesChosen = chosen.rulesChosen;
        preview.notes.rulesUnsure = chosen.rulesUnsure;
        return preview;
    }
    // Only as many bytes as the records shown take, so a redraw costs the same on any file:
    // the lines they most likely fill, skipped lines included, within a bound that shows long
    // records from their start. Quoted line breaks may need more lines: then the whole sample.
    const std::string_view bytes = sample.bytes;
    const std::size_t wanted =
        limits.records + 2 +
        static_cast<std::size_t>(std::min<std::uint64_t>(options.SkipLines, bytes.size()));
    const std::size_t part =
        std::min({AfterLines(bytes, wanted), limits.longRecordBytes, bytes.size()});
    if (part < bytes.size()) {
        preview = PreviewPart(bytes.substr(0, part), false, baseName, options, limits);
        if (preview.records.size() >= limits.records || part >= limits.longRecordBytes) {
            return preview;
        }
    }
    return PreviewPart(bytes, sample.whole, baseName, options, limits);
}

}  // namespace quarrytab
