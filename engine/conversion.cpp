#include "engine/conversion.h"

#include <algorithm>
#include <stdexcept>

#include "engine/encoding.h"
#include "engine/line_reader.h"
#include "engine/record_stream.h"
#include "engine/records.h"
#include "engine/scan.h"
#include "engine/statement_stream.h"

namespace quarrytab {

using detail::NextLineEnd;

namespace {

constexpr std::uint64_t kLinesBetweenProgress = 4096;
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
        if (!m_hook || (m_since += lines) < kLinesBetweenProgress)
            return true;
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
        if constexpr (requires { stream.stopped(); })
            if (stream.stopped())
                return true;
        const auto count = done() - before;
        if (!progress.advance(count))
            return false;
        if (count == limit)
            continue;  // stopped to report progress; the bytes left are still to be fed
        if (reader.atEnd() || !reader.readMore())
            return true;
    }
}

// The program's own statements, in one pass over each block of the file as it is read.
bool ConvertClassic(LineReader& reader, std::string_view baseName, const ConversionOptions& options,
                    StatementSink& sink, Progress& progress, FileNotes* notes) {
    detail::StatementStream stream(options, baseName, sink, notes);
    if (!FeedBlocks(reader, progress, stream, [&] { return stream.lines(); }))
        return false;
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
            if (!end.found)
                break;
        }
        reader.consume(at);
        if (count == 0 || reader.atEnd() || !reader.readMore())
            return;
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
            if (!end.found)
                break;
        }
        if (counted > kSampleLines || reader.atEnd() || bytes.size() >= kSampleBytes ||
            !reader.readMore())
            break;
    }
    std::string_view bytes = reader.unread();
    if (stripBom && bytes.starts_with(detail::kUtf8Bom)) {
        bytes.remove_prefix(detail::kUtf8Bom.size());
    }
    std::vector<std::string_view> lines;
    while (!bytes.empty() && lines.size() < kSampleLines) {
        const auto cut = std::min(detail::FindLineBreak(bytes, 0), bytes.size());
        lines.push_back(bytes.substr(0, cut));
        const char* const at = bytes.data() + cut;
        bytes.remove_prefix(cut +
                            (cut == bytes.size() ? 0 : detail::LineBreakLength(at, at + 2, true)));
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
            (!options.CommentPrefix.empty() && line.starts_with(options.CommentPrefix)))
            continue;
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
                    StatementSink& sink, Progress& progress, FileNotes& notes) {
    SkipLines(reader, options.SkipLines);
    const bool stripBom = options.StripBom && options.SkipLines == 0;
    std::string delimiter = options.CsvDelimiter;
    if (options.DetectDelimiter || options.WarnOnOtherDelimiter)
        delimiter = ChooseDelimiter(SampleLines(reader, stripBom), options, notes);
    detail::RecordStream stream(options, baseName, std::move(delimiter), sink, notes,
                                options.SkipLines + 1, stripBom);
    if (!FeedBlocks(reader, progress, stream, [&] { return stream.records(); }))
        return false;
    if (stream.stopped()) {
        stream.finish(false);
        return false;
    }
    stream.finish(!reader.failed());
    return true;
}

bool ConvertLines(LineReader& reader, std::string_view baseName, const ConversionOptions& options,
                  StatementSink& sink, const ProgressHook& hook, ConversionProgress& done,
                  FileNotes* notes) {
    Progress progress(hook, done, reader);
    std::unique_ptr<DecodingSource> decoder;
    if (!options.Encoding.empty()) {
        std::string error;
        decoder = DecodingSource::create(reader.source(), options.Encoding, error);
        if (!decoder)
            throw std::invalid_argument(error);  // callers check OptionsProblem before a run
        reader.readThrough(*decoder);
    }
    bool goOn;
    if (UsesRecordRules(options)) {
        FileNotes unused;
        goOn = ConvertRecords(reader, baseName, options, sink, progress,
                              notes != nullptr ? *notes : unused);
    } else {
        goOn = ConvertClassic(reader, baseName, options, sink, progress, notes);
    }
    if (decoder && notes != nullptr) {
        // Each line once, however many of its bytes could not be converted.
        notes->unconvertible.count = decoder->invalidCount();
        for (const auto line : decoder->invalidLines())
            if (notes->unconvertible.first.empty() || notes->unconvertible.first.back() != line)
                if (notes->unconvertible.first.size() < LineNotes::kKept)
                    notes->unconvertible.first.push_back(line);
    }
    if (!goOn)
        return false;
    done.fileBytesRead = reader.bytesRead();
    return !hook || hook(done);
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
    return ConvertLines(reader, BaseNameOf(path, context.style), options, context.sink,
                        context.progress, done, context.notes);
}

bool ConvertStream(ByteSource& source, std::string_view baseName, const ConversionOptions& options,
                   const ConversionContext& context) {
    ConversionProgress local;
    ConversionProgress& done = context.state != nullptr ? *context.state : local;
    done.fileBytesRead = 0;
    LineReader reader(context.reporter);
    reader.attach(source);
    return ConvertLines(reader, baseName, options, context.sink, context.progress, done,
                        context.notes);
}

std::string OptionsProblem(const ConversionOptions& options) {
    class Nothing : public ByteSource {
        std::ptrdiff_t read(char*, std::size_t, std::string&) override { return 0; }
    } nothing;
    std::string error;
    if (!options.Encoding.empty() && !DecodingSource::create(nothing, options.Encoding, error))
        return error;
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
