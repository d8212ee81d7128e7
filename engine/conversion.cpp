#include "engine/conversion.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "engine/column_types.h"
#include "engine/encoding.h"
#include "engine/field_counter.h"
#include "engine/line_reader.h"
#include "engine/record_shaper.h"
#include "engine/record_stream.h"
#include "engine/records.h"
#include "engine/scan.h"
#include "engine/sniffer.h"
#include "engine/statement_stream.h"

namespace quarrytab {

using detail::NextLineEnd;

namespace {

constexpr std::uint64_t kLinesBetweenProgress = 4096;
// A record limit no file reaches (a count of records plus it still fits).
constexpr std::uint64_t kEveryRecord = std::uint64_t{1} << 62;
// The first lines of a file that choose or question its delimiter.
constexpr std::size_t kSampleLines = 20;
// How far into a file those lines are looked for.
constexpr std::size_t kSampleBytes = 16 << 20;

class Progress {
  public:
    Progress(const ProgressHook& hook, ConversionProgress& done, const LineReader& reader)
        : m_hook(hook), m_done(done), m_reader(reader) {}
    // Counts lines or records done; false when the hook asks to stop.
    bool advance(std::uint64_t lines) {
        m_done.linesDone += lines;
        if (!m_hook || (m_since += lines) < kLinesBetweenProgress) {
            return true;
        }
        m_since = 0;
        m_done.fileBytesRead = m_reader.bytesRead();
        return m_hook(m_done);
    }
    bool step() { return advance(1); }
    // Lines to go before the hook hears of them.
    std::uint64_t untilReport() const { return kLinesBetweenProgress - m_since; }

  private:
    const ProgressHook& m_hook;
    ConversionProgress& m_done;
    const LineReader& m_reader;
    std::uint64_t m_since = 0;
};

// Feeds the reader's blocks to a one-pass stream until the input ends or the stream stops by
// itself; false when the progress hook asks to stop. `done` counts what the hook counts, lines
// or records.
template <class Stream, class Done>
bool FeedBlocks(LineReader& reader, Progress& progress, Stream& stream, Done done) {
    for (;;) {
        const auto limit = progress.untilReport();
        const auto before = done();
        reader.consume(stream.feed(reader.unread(), reader.atEnd(), limit));
        if constexpr (requires { stream.stopped(); }) {
            if (stream.stopped()) {
                return true;
            }
        }
        const auto count = done() - before;
        if (!progress.advance(count)) {
            return false;
        }
        if (count == limit) {
            continue;  // stopped to report progress; the bytes left are still to be fed
        }
        if (reader.atEnd() || !reader.readMore()) {
            return true;
        }
    }
}

// The program's own statements, in one pass over each block of the file as it is read.
bool ConvertClassic(LineReader& reader, std::string_view baseName, const ConversionOptions& options,
                    StatementSink& sink, Progress& progress, FileNotes* notes) {
    detail::StatementStream stream(options, baseName, sink, notes);
    if (!FeedBlocks(reader, progress, stream, [&] { return stream.lines(); })) {
        return false;
    }
    stream.finish(!reader.failed());
    return true;
}

// Leaves out the first `count` lines, a block at a time, however long they are.
void SkipLines(LineReader& reader, std::uint64_t count) {
    while (count > 0) {
        const auto bytes = reader.unread();
        std::size_t at = 0;
        for (; count > 0; --count) {
            const auto end = NextLineEnd(bytes, at, reader.atEnd());
            at = end.next;
            if (!end.found) {
                break;
            }
        }
        reader.consume(at);
        if (count == 0 || reader.atEnd() || !reader.readMore()) {
            return;
        }
    }
}

// The first lines of the file, read ahead without being used: as far as they go, within the
// first few MiB. The reader's block grows only when a line is longer than it.
std::vector<std::string_view> SampleLines(LineReader& reader, bool stripBom) {
    // Lines counted so far, and how far the bytes have been looked at for them.
    std::size_t counted = 0;
    std::size_t looked = 0;
    for (;;) {
        const auto bytes = reader.unread();
        for (; counted <= kSampleLines; ++counted) {
            const auto end = NextLineEnd(bytes, looked, reader.atEnd());
            looked = end.next;
            if (!end.found) {
                break;
            }
        }
        if (counted > kSampleLines || reader.atEnd() || bytes.size() >= kSampleBytes ||
            !reader.readMore()) {
            break;
        }
    }
    std::string_view bytes = reader.unread();
    if (stripBom && bytes.starts_with(detail::kUtf8Bom)) {
        bytes.remove_prefix(detail::kUtf8Bom.size());
    }
    std::vector<std::string_view> lines;
    while (!bytes.empty() && lines.size() < kSampleLines) {
        const auto cut = std::min(detail::FindLineBreak(bytes, 0), bytes.size());
        lines.push_back(bytes.substr(0, cut));
        const char* const end = bytes.data() + bytes.size();
        bytes.remove_prefix(cut + (cut == bytes.size()
                                       ? 0
                                       : detail::LineBreakLength(bytes.data() + cut, end, true)));
    }
    return lines;
}

// Chooses the file's delimiter from its first lines, or questions the default one.
std::string ChooseDelimiter(const std::vector<std::string_view>& lines,
                            const ConversionOptions& options, FileNotes& notes) {
    std::vector<std::string_view> sample;
    detail::DelimiterDoubt doubt;
    for (const auto line : lines) {
        if (IsBlankLine(line) ||
            (!options.CommentPrefix.empty() && line.starts_with(options.CommentPrefix))) {
            continue;
        }
        sample.push_back(line);
        doubt.look(line);
    }
    if (!options.DetectDelimiter) {
        notes.otherDelimiterLikely = doubt.likely();
        return options.CsvDelimiter;
    }
    const auto found = detail::DetectDelimiter(sample, options.QuotedFields);
    notes.delimiterUndetected = found.empty();
    notes.detectedDelimiter = found.empty() ? options.CsvDelimiter : found;
    return notes.detectedDelimiter;
}

bool ConvertRecords(LineReader& reader, std::string_view baseName, const ConversionOptions& options,
                    StatementSink& sink, Progress& progress, FileNotes& notes,
                    const detail::TablePlan* plan, RejectSink* rejects) {
    SkipLines(reader, options.SkipLines);
    const bool stripBom = options.StripBom && options.SkipLines == 0;
    std::string delimiter = options.CsvDelimiter;
    if (options.DetectDelimiter || options.WarnOnOtherDelimiter) {
        delimiter = ChooseDelimiter(SampleLines(reader, stripBom), options, notes);
    }
    detail::RecordStream stream(options, baseName, std::move(delimiter), sink, notes,
                                options.SkipLines + 1, stripBom, plan, rejects);
    notes.faultsLeftOut = rejects != nullptr;
    if (!FeedBlocks(reader, progress, stream, [&] { return stream.records(); })) {
        return false;
    }
    if (stream.stopped()) {
        stream.finish(false);
        return false;
    }
    stream.finish(!reader.failed());
    return true;
}

// Hands out the first bytes of a source, read ahead for a look at them, and then reads on from
// the source; a read failure met while reading ahead is handed on when its place is reached.
class ReplaySource : public ByteSource {
  public:
    explicit ReplaySource(ByteSource& inner) : m_inner(inner) {}

    void readAhead(std::size_t size) {
        m_sample.resize(size);
        std::size_t have = 0;
        while (have < size) {
            const auto count = m_inner.read(m_sample.data() + have, size - have, m_error);
            if (count <= 0) {
                m_failed = count < 0;
                m_ended = count == 0;
                break;
            }
            have += static_cast<std::size_t>(count);
        }
        m_sample.resize(have);
    }
    std::string_view sample() const { return m_sample; }
    // The sample holds the whole input.
    bool complete() const { return m_ended; }

    std::ptrdiff_t read(char* buffer, std::size_t size, std::string& error) override {
        if (m_at < m_sample.size()) {
            const auto count = std::min(size, m_sample.size() - m_at);
            std::copy_n(m_sample.data() + m_at, count, buffer);
            m_at += count;
            return static_cast<std::ptrdiff_t>(count);
        }
        if (m_failed) {
            error = m_error;
            return -1;
        }
        return m_ended ? 0 : m_inner.read(buffer, size, error);
    }

  private:
    ByteSource& m_inner;
    std::string m_sample;
    std::size_t m_at = 0;
    std::string m_error;
    bool m_failed = false;
    bool m_ended = false;
};

// What a file is read through and the rules it is read by: the options as given, or those
// --auto decided from its first bytes, or a table as wide as its widest record.
struct Reading {
    std::unique_ptr<DecodingSource> givenDecoder;
    std::unique_ptr<ReplaySource> replay;
    std::unique_ptr<DecodingSource> chosenDecoder;
    ConversionOptions chosen;
    const ConversionOptions* rules = nullptr;

    DecodingSource* decoder() const {
        return chosenDecoder ? chosenDecoder.get() : givenDecoder.get();
    }
};

std::unique_ptr<DecodingSource> Decoder(ByteSource& inner, const std::string& encoding) {
    std::string error;
    auto decoder = DecodingSource::create(inner, encoding, error);
    if (!decoder) {
        throw std::invalid_argument(error);  // callers check OptionsProblem before a run
    }
    return decoder;
}

// Feeds the whole of the reader's input to a tokenizer.
template <class Read>
void ReadAll(LineReader& reader, Read&& tokenizer) {
    for (;;) {
        reader.consume(tokenizer.feed(reader.unread(), reader.atEnd(), kEveryRecord));
        if (reader.atEnd() || !reader.readMore()) {
            break;
        }
    }
    tokenizer.finish(!reader.failed());
}

// The field count of the widest record of the file at `path`, read under `rules` as its
// conversion reads it (lines skipped, comment lines, quoted fields), or 0 when it cannot be read
// again (the conversion itself then reports why). Memory stays small however long the file.
std::size_t WidestRecordOf(std::string_view path, const ConversionOptions& rules) {
    InputFile file;
    std::string error;
    if (!file.open(path, error)) {
        return 0;
    }
    std::unique_ptr<DecodingSource> decoder;
    if (!rules.Encoding.empty()) {
        decoder = Decoder(file, rules.Encoding);
    }
    QuietReporter quiet;
    LineReader reader(quiet);
    reader.attach(decoder ? static_cast<ByteSource&>(*decoder) : file);
    SkipLines(reader, rules.SkipLines);
    detail::FieldCounter counter(false);
    ReadAll(reader,
            detail::Tokenizer<detail::FieldCounter>(
                {rules.CsvDelimiter, rules.CommentPrefix, rules.QuotedFields, false, 1}, counter));
    return counter.widest();
}

// The field count of the widest record in the first bytes of an input, read under `rules` as its
// conversion reads it; `complete`: the bytes are the whole input.
std::size_t WidestRecordIn(std::string_view sample, bool complete, const ConversionOptions& rules) {
    for (std::uint64_t k = 0; k < rules.SkipLines && !sample.empty(); ++k) {
        sample.remove_prefix(detail::NextLineEnd(sample, 0, true).next);
    }
    detail::FieldCounter counter(false);
    detail::Tokenizer<detail::FieldCounter> tokenizer(
        {rules.CsvDelimiter, rules.CommentPrefix, rules.QuotedFields, false, 1}, counter);
    tokenizer.feed(sample, complete, kEveryRecord);
    tokenizer.finish(complete);
    return counter.widest();
}

// Sets up how the reader's file is read: its decoder, and under --auto its rules decided from
// its first bytes (the sample is read once and handed on to the conversion). Under
// RaggedMode::Pad a file named by `path` is read once more first for its widest record; for
// other input the widest record of the sample sets the table's width.
void Prepare(LineReader& reader, const ConversionOptions& options, std::string_view path,
             Reading& reading, FileNotes& notes, bool explainOnly) {
    reading.rules = &options;
    if (!options.Encoding.empty() && (!options.AutoRules || options.Kept.encoding)) {
        reading.givenDecoder = Decoder(reader.source(), options.Encoding);
        reader.readThrough(*reading.givenDecoder);
    }
    std::size_t widest = 0;
    if (options.AutoRules) {
        reading.replay = std::make_unique<ReplaySource>(reader.source());
        reading.replay->readAhead(kSniffBytes);
        reader.readThrough(*reading.replay);
        auto found = SniffSample(reading.replay->sample(), reading.replay->complete(), options);
        reading.chosen = std::move(found.rules);
        reading.rules = &reading.chosen;
        notes.rulesChosen = found.summary();
        notes.rulesUnsure = !found.doubts.empty();
        if (!reading.chosen.Encoding.empty() && !reading.givenDecoder) {
            reading.chosenDecoder = Decoder(*reading.replay, reading.chosen.Encoding);
            reader.readThrough(*reading.chosenDecoder);
        }
        widest = found.widest;
    } else if (options.Ragged == RaggedMode::Pad) {
        reading.chosen = options;
        reading.rules = &reading.chosen;
        if (path.empty() && !reading.givenDecoder && !explainOnly) {
            // Input read once: its first bytes, as --auto samples them, set the table's width.
            reading.replay = std::make_unique<ReplaySource>(reader.source());
            reading.replay->readAhead(kSniffBytes);
            reader.readThrough(*reading.replay);
            widest = WidestRecordIn(reading.replay->sample(), reading.replay->complete(), options);
        }
    }
    notes.encoding = reading.rules->Encoding;
    if (explainOnly || reading.rules->Ragged != RaggedMode::Pad) {
        return;
    }
    if (!path.empty()) {
        widest = std::max(widest, WidestRecordOf(path, *reading.rules));
    }
    reading.chosen.TableWidth = widest;
}

// The first read of a file whose table's definition depends on its values, set up by Prepare:
// its records cut as the conversion will cut them, each column's values surveyed.
detail::TablePlan SurveyRecords(LineReader& reader, const ConversionOptions& rules,
                                FileNotes& notes) {
    SkipLines(reader, rules.SkipLines);
    const bool stripBom = rules.StripBom && rules.SkipLines == 0;
    std::string delimiter = rules.CsvDelimiter;
    FileNotes unused;
    if (rules.DetectDelimiter || rules.WarnOnOtherDelimiter) {
        delimiter = ChooseDelimiter(SampleLines(reader, stripBom), rules, unused);
    }
    detail::ReadingRules reading{std::move(delimiter), rules.CommentPrefix, rules.QuotedFields,
                                 stripBom, rules.SkipLines + 1};
    const ConversionOptions shapedRules = detail::ShapedOptions(rules);
    detail::ColumnSurvey survey(shapedRules);
    if (ShapesRecords(rules)) {
        // What the records' shaping notes, the conversion notes again.
        FileNotes shapingNotes;
        detail::RecordShaper<detail::ColumnSurvey> shaper(rules, survey, shapingNotes);
        ReadAll(reader, detail::Tokenizer<detail::RecordShaper<detail::ColumnSurvey>>(
                            std::move(reading), shaper));
    } else {
        ReadAll(reader, detail::Tokenizer<detail::ColumnSurvey>(std::move(reading), survey));
    }
    return survey.plan(notes);
}

// Converts a file whose reading Prepare (or a first read) has set up; `plan` is the table's
// definition when a first read made one.
bool ConvertPrepared(LineReader& reader, std::string_view baseName, const Reading& reading,
                     StatementSink& sink, const ProgressHook& hook, ConversionProgress& done,
                     FileNotes* notes, const detail::TablePlan* plan, RejectSink* rejects) {
    Progress progress(hook, done, reader);
    FileNotes unused;
    FileNotes& fileNotes = notes != nullptr ? *notes : unused;
    const ConversionOptions& rules = *reading.rules;
    bool goOn;
    if (UsesRecordRules(rules)) {
        goOn = ConvertRecords(reader, baseName, rules, sink, progress, fileNotes, plan, rejects);
        fileNotes.widened = rules.TableWidth > 0 && fileNotes.expectedFields == rules.TableWidth;
    } else {
        goOn = ConvertClassic(reader, baseName, rules, sink, progress, notes);
    }
    if (const auto* decoder = reading.decoder(); decoder != nullptr && notes != nullptr) {
        // Each line once, however many of its bytes could not be converted. Lines are known for
        // the first few units only; past those, more lines may hold some.
        const auto& lines = decoder->invalidLines();
        auto& noted = notes->unconvertible;
        noted = {};
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i == 0 || lines[i] != lines[i - 1]) {
                noted.add(lines[i]);
            }
        }
        if (decoder->invalidCount() > lines.size()) {
            ++noted.count;
        }
        notes->unconvertibleUnits = decoder->invalidCount();
        notes->unitsAreCodeUnits = decoder->countsCodeUnits();
    }
    if (!goOn) {
        return false;
    }
    done.fileBytesRead = reader.bytesRead();
    return !hook || hook(done);
}

bool ConvertLines(LineReader& reader, std::string_view baseName, const ConversionOptions& options,
                  StatementSink& sink, const ProgressHook& hook, ConversionProgress& done,
                  FileNotes* notes, std::string_view path, RejectSink* rejects) {
    FileNotes unused;
    Reading reading;
    Prepare(reader, options, path, reading, notes != nullptr ? *notes : unused, false);
    return ConvertPrepared(reader, baseName, reading, sink, hook, done, notes, nullptr, rejects);
}

// Standard input as it is read, copied into a temporary file for the second read.
class CopyingSource : public ByteSource {
  public:
    CopyingSource(ByteSource& from, std::FILE* copy) : m_from(from), m_copy(copy) {}
    std::ptrdiff_t read(char* buffer, std::size_t size, std::string& error) override {
        if (m_copy == nullptr) {
            error = "no temporary file to keep standard input in for the second read";
            return -1;
        }
        const auto count = m_from.read(buffer, size, error);
        if (count > 0 && std::fwrite(buffer, 1, static_cast<std::size_t>(count), m_copy) !=
                             static_cast<std::size_t>(count)) {
            error = "cannot keep standard input in a temporary file for the second read";
            return -1;
        }
        return count;
    }

  private:
    ByteSource& m_from;
    std::FILE* m_copy;
};

// The copy of standard input, read from its start.
class CopySource : public ByteSource {
  public:
    explicit CopySource(std::FILE* copy) : m_copy(copy) {}
    std::ptrdiff_t read(char* buffer, std::size_t size, std::string& error) override {
        const auto count = std::fread(buffer, 1, size, m_copy);
        if (count == 0 && std::ferror(m_copy)) {
            error = "cannot read standard input back from its temporary file";
            return -1;
        }
        return static_cast<std::ptrdiff_t>(count);
    }

  private:
    std::FILE* m_copy;
};

// The first read, then the conversion with its table's definition: nothing is written when
// the definition would refuse or change a value, or the first read failed. The second read
// takes the rules the first one was read by (those --auto decided, the table's width) as they
// are, so both cut the same records.
bool ConvertSurveyed(LineReader& first, const std::function<void(LineReader&)>& reopen,
                     std::string_view baseName, const ConversionOptions& options,
                     const ConversionContext& context, ConversionProgress& done) {
    FileNotes local;
    FileNotes& notes = context.notes != nullptr ? *context.notes : local;
    Reading firstReading;
    // No path: the first read finds the widest record itself, for files and standard input.
    Prepare(first, options, {}, firstReading, notes, false);
    const auto plan = SurveyRecords(first, *firstReading.rules, notes);
    if (first.failed()) {
        return !context.progress || context.progress(done);
    }
    if (!notes.valuesRefused.empty()) {
        return false;
    }
    LineReader reader(context.reporter);
    reopen(reader);
    if (reader.atEnd() && reader.failed()) {
        return !context.progress || context.progress(done);
    }
    Reading reading;
    reading.chosen = *firstReading.rules;
    reading.chosen.AutoRules = false;
    if (reading.chosen.Ragged == RaggedMode::Pad) {
        reading.chosen.TableWidth = std::max(reading.chosen.TableWidth, plan.columns.size());
    }
    reading.rules = &reading.chosen;
    if (!reading.chosen.Encoding.empty()) {
        reading.givenDecoder = Decoder(reader.source(), reading.chosen.Encoding);
        reader.readThrough(*reading.givenDecoder);
    }
    return ConvertPrepared(reader, baseName, reading, context.sink, context.progress, done,
                           context.notes, &plan, context.rejects);
}

}  // namespace

bool ConvertFile(std::string_view path, const ConversionOptions& options,
                 const ConversionContext& context) {
    ConversionProgress local;
    ConversionProgress& done = context.state != nullptr ? *context.state : local;
    done.fileBytesRead = 0;
    LineReader reader(context.reporter);
    if (!reader.open(path)) {
        return !context.progress || context.progress(done);
    }
    if (SurveysColumns(options)) {
        return ConvertSurveyed(
            reader, [&](LineReader& again) { again.open(path); }, BaseNameOf(path, context.style),
            options, context, done);
    }
    return ConvertLines(reader, BaseNameOf(path, context.style), options, context.sink,
                        context.progress, done, context.notes, path, context.rejects);
}

bool ConvertStream(ByteSource& source, std::string_view baseName, const ConversionOptions& options,
                   const ConversionContext& context) {
    ConversionProgress local;
    ConversionProgress& done = context.state != nullptr ? *context.state : local;
    done.fileBytesRead = 0;
    LineReader reader(context.reporter);
    if (SurveysColumns(options)) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> copy(OpenTemporaryFile(), &std::fclose);
        CopyingSource copying(source, copy.get());
        reader.attach(copying);
        CopySource copied(copy.get());
        return ConvertSurveyed(
            reader,
            [&](LineReader& again) {
                std::rewind(copy.get());
                again.attach(copied);
            },
            baseName, options, context, done);
    }
    reader.attach(source);
    return ConvertLines(reader, baseName, options, context.sink, context.progress, done,
                        context.notes, {}, context.rejects);
}

void ExplainFile(std::string_view path, const ConversionOptions& options, ErrorReporter& reporter,
                 FileNotes& notes) {
    LineReader reader(reporter);
    if (!reader.open(path)) {
        return;
    }
    Reading reading;
    const bool survey = SurveysColumns(options);
    Prepare(reader, options, survey ? std::string_view() : path, reading, notes, !survey);
    if (survey) {
        SurveyRecords(reader, *reading.rules, notes);
        return;
    }
    if (reading.replay != nullptr) {
        // A read failure met in the sample is reported as the conversion would report it.
        while (!reader.atEnd() && reader.unread().size() < kSniffBytes && reader.readMore()) {
        }
    }
}

ConversionOptions ExplainStream(ByteSource& source, const ConversionOptions& options,
                                ErrorReporter& reporter, FileNotes& notes) {
    LineReader reader(reporter);
    reader.attach(source);
    Reading reading;
    const bool survey = SurveysColumns(options);
    Prepare(reader, options, {}, reading, notes, !survey);
    if (survey) {
        SurveyRecords(reader, *reading.rules, notes);
    }
    return *reading.rules;
}

std::string OptionsProblem(const ConversionOptions& options) {
    class Nothing : public ByteSource {
        std::ptrdiff_t read(char*, std::size_t, std::string&) override { return 0; }
    } nothing;
    std::string error;
    if (!options.Encoding.empty() && !DecodingSource::create(nothing, options.Encoding, error)) {
        return error;
    }
    return {};
}

bool ConvertFiles(const std::vector<std::string>& paths, const ConversionOptions& options,
                  const ConversionContext& context) {
    ConversionProgress state;
    ConversionContext each = context;
    each.state = &state;
    each.notes = nullptr;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        state.fileIndex = i;
        if (!ConvertFile(paths[i], options, each)) {
            return false;
        }
    }
    return true;
}

}  // namespace quarrytab
