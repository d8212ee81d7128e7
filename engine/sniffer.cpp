#include "engine/sniffer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "engine/encoding.h"
#include "engine/field_counter.h"
#include "engine/in_memory_source.h"
#include "engine/utf8.h"

namespace quarrytab {

namespace {

// Records looked at in the sample, and records under the first one looked at for a header.
constexpr std::size_t kMostRecords = 500;
constexpr std::size_t kHeaderRecords = 100;
// A width that one in this many records of the sample has is one of the table's widths.
constexpr std::size_t kOftenShare = 10;
// Sparse lines above a table looked at (see SkipSparseLines).
constexpr std::size_t kSparseLines = 10;
// Below this share of the table's records with its field count, the delimiter is doubtful.
constexpr double kSteadyShare = 0.9;

std::string Plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Shown(std::string_view delimiter) {
    if (delimiter == "\t") {
        return "TAB";
    }
    if (delimiter.size() == 1 && (static_cast<unsigned char>(delimiter[0]) < 0x20 ||
                                  static_cast<unsigned char>(delimiter[0]) >= 0x7F)) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(delimiter[0]);
        return std::string("byte 0x") + kHex[byte >> 4] + kHex[byte & 15];
    }
    return "'" + std::string(delimiter) + "'";
}

// The offset of the first byte that is not part of well-formed UTF-8, or npos. A sequence cut
// short by the end of an incomplete sample is not held against it.
std::size_t FirstInvalidUtf8(std::string_view bytes, bool complete) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        const auto lead = detail::Utf8LeadOf(c);
        if (lead.need < 0) {
            return i;
        }
        const auto need = static_cast<std::size_t>(lead.need);
        for (std::size_t k = 1; k <= need; ++k) {
            if (i + k >= bytes.size()) {
                return complete ? i : std::string_view::npos;
            }
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if (next < (k == 1 ? lead.low : 0x80) || next > (k == 1 ? lead.high : 0xBF)) {
                return i;
            }
        }
        i += need + 1;
    }
    return std::string_view::npos;
}

// UTF-16 text as UTF-8, for looking at only, converted as the conversion will convert it.
std::string Utf16AsUtf8(std::string_view bytes, bool bigEndian) {
    InMemorySource source(bytes);
    std::string error;
    const auto decoder = DecodingSource::create(source, bigEndian ? "utf-16be" : "utf-16le", error);
    std::string text;
    std::array<char, 4096> block{};
    for (;;) {
        const auto count = decoder->read(block.data(), block.size(), error);
        if (count <= 0) {
            return text;
        }
        text.append(block.data(), static_cast<std::size_t>(count));
    }
}

// Past the line that goes on at `i`, its line break included.
std::size_t PastLine(std::string_view text, std::size_t i) {
    return detail::NextLineEnd(text, i, true).next;
}

// The sample cut into records by the tokenizer, as the conversion cuts it: a line break ends a
// record except inside a field opened by a quote; lines starting with the comment prefix are
// left out. At most kMostRecords records.
struct Records {
    std::vector<detail::RecordValues::Record> list;
    std::size_t quoteOpens = 0;      // fields that open with a quote
    std::uint64_t unclosedLine = 0;  // the line of a quoted field still open at the end
};

// `text` ends with a whole line; when the sample is not `complete`, a record whose quoted field
// is still open at its end may go on past the sample and is not looked at.
Records CutRecords(std::string_view text, std::string_view delimiter, bool quoted,
                   std::string_view comment, bool complete) {
    detail::RecordValues values(kMostRecords);
    detail::Tokenizer<detail::RecordValues> tokenizer(
        {std::string(delimiter), std::string(comment), quoted, false, 1}, values);
    tokenizer.feed(text, true, kMostRecords);
    Records out;
    if (values.records().size() < kMostRecords) {
        tokenizer.finish(true);
        out.unclosedLine = tokenizer.unclosedQuoteLine();
        if (out.unclosedLine != 0 && !complete) {
            values.records().pop_back();
            out.unclosedLine = 0;
        }
    }
    out.list = std::move(values.records());
    for (const auto& record : out.list) {
        out.quoteOpens += record.quoteOpens;
    }
    return out;
}

// How a value looks, for telling a header from the records under it.
enum class Shape { Missing, Integer, Decimal, Date, Text };

Shape ShapeOf(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.remove_suffix(1);
    }
    static constexpr std::string_view kMissing[] = {"",    "NA",  "N/A", "n/a", "null", "NULL",
                                                    "nan", "NaN", "-",   "?",   "."};
    if (std::find(std::begin(kMissing), std::end(kMissing), value) != std::end(kMissing)) {
        return Shape::Missing;
    }
    const auto isDigit = [](char c) {
        return c >= '0' && c <= '9';
    };
    std::size_t i = value.front() == '-' || value.front() == '+' ? 1 : 0;
    std::size_t digits = 0;
    std::size_t points = 0;
    std::size_t dateMarks = 0;
    std::size_t spaces = 0;
    bool exponent = false;
    bool other = false;
    for (; i < value.size(); ++i) {
        const char c = value[i];
        if (isDigit(c)) {
            ++digits;
        } else if (c == '.' || c == ',') {
            ++points;
        } else if (c == '-' || c == '/' || c == ':' || c == 'T') {
            ++dateMarks;
        } else if (c == ' ') {
            ++spaces;
        } else if ((c == 'e' || c == 'E') && !exponent && digits > 0) {
            exponent = true;
            if (i + 1 < value.size() && (value[i + 1] == '-' || value[i + 1] == '+')) {
                ++i;
            }
        } else {
            other = true;
        }
    }
    if (other || digits == 0 || (spaces > 0 && dateMarks == 0)) {
        return Shape::Text;
    }
    if (dateMarks > 0) {
        return exponent || !isDigit(value.front()) ? Shape::Text : Shape::Date;
    }
    if (points == 0 && !exponent) {
        return Shape::Integer;
    }
    return points <= 1 ? Shape::Decimal : Shape::Text;
}

bool IsNumber(Shape shape) {
    return shape == Shape::Integer || shape == Shape::Decimal;
}

// One delimiter tried on the sample.
struct Trial {
    std::string delimiter;
    bool quoted = false;
    Records records;
    std::vector<std::size_t> counts;  // each record's field count; 0 for an empty line
    std::size_t fields = 0;           // the most common count of a line that is not empty
    std::size_t steady = 0;           // records with that count
    std::size_t steadyLines = 0;      // the lines those records cover
    std::size_t nextSteady = 0;       // records with the next most common count
    std::size_t start = 0;            // the first record of the table
    std::size_t tableRecords = 0;     // non-empty records from there on
    std::size_t widest = 0;
    std::uint64_t quoteLeftOpen = 0;  // read with quotes, a quote on this line never closed
};

// The lines a record covers: its first, and one more for each line break its quoted values hold.
std::size_t LinesOf(const detail::RecordValues::Record& record) {
    std::size_t lines = 1;
    for (const auto& value : record.values) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            const bool crLf = value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n';
            lines += (value[i] == '\n' || value[i] == '\r') && !crLf ? 1 : 0;
        }
    }
    return lines;
}

// Whether the narrow record `k` above the table is one of its records, short of a value or more
// (rather than a title or metadata): it has two values or more, and each has a shape its column
// has in the records under the table's first one.
bool ShortRecordOfTable(const Trial& trial, std::size_t k) {
    const auto& list = trial.records.list;
    const auto& values = list[k].values;
    if (values.size() < 2) {
        return false;
    }
    std::size_t first = k + 1;
    while (first < list.size() && trial.counts[first] != trial.fields) {
        ++first;
    }
    std::vector<std::set<Shape>> shapes(values.size());
    for (std::size_t r = first + 1; r < list.size() && r < first + 1 + kHeaderRecords; ++r) {
        for (std::size_t c = 0; c < values.size() && c < list[r].values.size(); ++c) {
            shapes[c].insert(ShapeOf(list[r].values[c]));
        }
    }
    for (std::size_t c = 0; c < values.size(); ++c) {
        const auto shape = ShapeOf(values[c]);
        if (shape != Shape::Missing && !shapes[c].contains(shape)) {
            return false;
        }
    }
    return !shapes.front().empty();
}

// The table starts at record `start`: the records from there on are counted.
void StartAt(Trial& trial, std::size_t start) {
    trial.start = start;
    trial.tableRecords = 0;
    trial.widest = 0;
    for (std::size_t k = trial.start; k < trial.counts.size(); ++k) {
        trial.tableRecords += trial.counts[k] > 0 ? 1 : 0;
        trial.widest = std::max(trial.widest, trial.counts[k]);
    }
}

Trial Try(std::string_view text, std::string delimiter, bool quoted, std::string_view comment,
          bool complete) {
    Trial trial;
    trial.delimiter = std::move(delimiter);
    trial.quoted = quoted;
    trial.records = CutRecords(text, trial.delimiter, quoted, comment, complete);
    std::map<std::size_t, std::size_t> seen;
    for (const auto& record : trial.records.list) {
        const auto count = record.blank ? 0 : record.values.size();
        trial.counts.push_back(count);
        if (count > 0) {
            ++seen[count];
        }
    }
    for (const auto& [count, times] : seen) {
        if (times > trial.steady || (times == trial.steady && count > trial.fields)) {
            trial.fields = count;
            trial.steady = times;
        }
    }
    for (const auto& [count, times] : seen) {
        if (count != trial.fields) {
            trial.nextSteady = std::max(trial.nextSteady, times);
        }
    }
    for (std::size_t k = 0; k < trial.counts.size(); ++k) {
        trial.steadyLines += trial.counts[k] == trial.fields ? LinesOf(trial.records.list[k]) : 0;
    }
    // The table starts at its first record of a width it often has, or at least as wide as its
    // most common one, or a short record of it: the lines above are a title, metadata or empty
    // lines.
    std::size_t filled = 0;
    for (const auto& [count, times] : seen) {
        filled += times;
    }
    const auto often = std::max<std::size_t>(2, filled / kOftenShare);
    std::size_t start = 0;
    while (start < trial.counts.size() &&
           (trial.counts[start] == 0 ||
            (trial.counts[start] < trial.fields && seen[trial.counts[start]] < often &&
             !ShortRecordOfTable(trial, start)))) {
        ++start;
    }
    StartAt(trial, start);
    return trial;
}

// The share of the table's records that have its most common field count.
double Share(const Trial& trial) {
    return trial.tableRecords == 0 || trial.fields < 2
               ? 0.0
               : static_cast<double>(trial.steady) / static_cast<double>(trial.tableRecords);
}

// Values among the first records that look like numbers or dates: a delimiter that cuts values
// apart (a decimal comma) leaves fewer of them.
std::size_t ShapedValues(const Trial& trial) {
    std::size_t shaped = 0;
    const auto& list = trial.records.list;
    for (std::size_t k = trial.start; k < list.size() && k < trial.start + kHeaderRecords; ++k) {
        for (const auto& value : list[k].values) {
            const auto shape = ShapeOf(value);
            shaped += shape != Shape::Text && shape != Shape::Missing ? 1 : 0;
        }
    }
    return shaped;
}

// Whether `a` reads the sample better than `b`: more of its lines in records of one field count
// above one (a record over several lines counted for each: a delimiter inside quoted line breaks
// cuts more, shorter records), then more such records, then more fields (today's rule for
// -d auto), then more values that look like numbers or dates.
bool Better(const Trial& a, const Trial& b) {
    if (a.fields < 2) {
        return false;
    }
    if (b.fields < 2) {
        return true;
    }
    if (a.steadyLines != b.steadyLines) {
        return a.steadyLines > b.steadyLines;
    }
    if (a.steady != b.steady) {
        return a.steady > b.steady;
    }
    if (a.fields != b.fields) {
        return a.fields > b.fields;
    }
    return ShapedValues(a) > ShapedValues(b);
}

// Bytes that may cut a line when none of the usual delimiters does: punctuation rarely found
// inside a value, and control bytes.
bool MayDelimit(unsigned char c) {
    if (c == 0 || c >= 0x7F || c == '\r' || c == '\n') {
        return false;
    }
    if (c < 0x20 || c == ' ') {
        return true;
    }
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return !alnum &&
           std::string_view("\"'.-/:_+(),;|").find(static_cast<char>(c)) == std::string_view::npos;
}

// Leading records of the table's width that hold few values, above a record whose values are
// all there, are a title or metadata of a spreadsheet export ("Title,,,,"): the table starts
// below them.
void SkipSparseLines(Trial& trial) {
    const auto& list = trial.records.list;
    const auto filled = [&](std::size_t k) {
        const auto& values = list[k].values;
        return static_cast<std::size_t>(std::count_if(
            values.begin(), values.end(), [](const std::string& v) { return !v.empty(); }));
    };
    std::size_t start = trial.start;
    while (start + 1 < list.size() && start < trial.start + kSparseLines &&
           trial.counts[start] >= trial.fields && 2 * filled(start) <= trial.fields) {
        ++start;
    }
    if (start != trial.start && start < list.size() && filled(start) == trial.counts[start]) {
        trial.start = start;
    }
}

// Whether the first record names the columns, and why.
struct HeaderVerdict {
    bool header = false;
    bool sure = true;
    std::string why;
};

// The values of the records under the first one of the table (empty lines left out).
std::vector<std::vector<std::string>> ValuesBelow(const Trial& trial) {
    const auto& list = trial.records.list;
    std::vector<std::vector<std::string>> below;
    for (std::size_t k = trial.start + 1; k < list.size() && below.size() < kHeaderRecords; ++k) {
        if (trial.counts[k] > 0) {
            below.push_back(list[k].values);
        }
    }
    return below;
}

// Why the first record's own values make it data (an empty or a repeated value), or nothing.
std::string DataByItsValues(const std::vector<std::string>& first) {
    std::set<std::string> distinct;
    for (std::size_t k = 0; k < first.size(); ++k) {
        const auto& value = first[k];
        if (k == 0 && value.empty() && first.size() > 1) {
            continue;  // the name of a column of row names is often left empty
        }
        if (ShapeOf(value) == Shape::Missing) {
            return "the first record has an empty value, so it is data";
        }
        if (!distinct.insert(value).second) {
            return "the first record repeats a value, so it is data";
        }
    }
    return {};
}

// Columns whose first value stands apart from the values under it, by how, and those where it
// looks like them.
struct ColumnTally {
    std::size_t numbersUnderWords = 0;
    std::size_t datesUnderWords = 0;
    std::size_t otherShape = 0;
    std::size_t alike = 0;
};

// The shapes and lengths of a column's values under the first record (missing ones left out),
// and whether the first value stands among them again.
struct ColumnBelow {
    std::set<Shape> shapes;
    std::set<std::size_t> lengths;
    bool seenAbove = false;
};

ColumnBelow LookBelow(const std::vector<std::vector<std::string>>& below, std::size_t column,
                      const std::string& top) {
    ColumnBelow out;
    for (const auto& values : below) {
        if (column >= values.size()) {
            continue;
        }
        const auto shape = ShapeOf(values[column]);
        if (shape == Shape::Missing) {
            continue;
        }
        out.shapes.insert(shape);
        out.lengths.insert(values[column].size());
        out.seenAbove |= values[column] == top;
    }
    return out;
}

// Counts one column: its first value `name` against the values under it.
void TallyColumn(ColumnTally& tally, const std::string& name, const ColumnBelow& below) {
    if (below.shapes.empty() || name.empty()) {
        return;
    }
    const auto& shapes = below.shapes;
    const auto top = ShapeOf(name);
    if (!shapes.contains(top)) {
        const bool numbers = std::all_of(shapes.begin(), shapes.end(), IsNumber);
        if (top == Shape::Text && numbers) {
            ++tally.numbersUnderWords;
        } else if (top == Shape::Text && shapes.size() == 1 && *shapes.begin() == Shape::Date) {
            ++tally.datesUnderWords;
        } else if (!(IsNumber(top) && std::all_of(shapes.begin(), shapes.end(), IsNumber))) {
            ++tally.otherShape;
        }
        return;
    }
    if (top != Shape::Text || below.seenAbove) {
        ++tally.alike;
    } else if (below.lengths.size() == 1 && *below.lengths.begin() != name.size()) {
        // Words of one length below (codes): a name of another length stands apart. One of the
        // same length tells nothing: short names are as long as short codes.
        ++tally.otherShape;
    }
}

// The verdict from the columns counted: a header where more columns stand apart than look alike.
HeaderVerdict Weigh(const ColumnTally& tally) {
    HeaderVerdict verdict;
    const auto unlike = tally.numbersUnderWords + tally.datesUnderWords + tally.otherShape;
    std::vector<std::string> parts;
    if (tally.numbersUnderWords > 0) {
        parts.push_back("numbers below words in " +
                        Plural(tally.numbersUnderWords, "column", "columns"));
    }
    if (tally.datesUnderWords > 0) {
        parts.push_back("dates below words in " +
                        Plural(tally.datesUnderWords, "column", "columns"));
    }
    if (tally.otherShape > 0) {
        parts.push_back("a shape the rest of the column never has in " +
                        Plural(tally.otherShape, "column", "columns"));
    }
    if (unlike > tally.alike) {
        verdict.header = true;
        for (std::size_t k = 0; k < parts.size(); ++k) {
            verdict.why += (k > 0 ? "; " : "") + parts[k];
        }
        return verdict;
    }
    if (unlike == 0 && tally.alike == 0) {
        verdict.sure = false;
        verdict.why =
            "could not tell whether the first record names the columns (its values look like "
            "those under them); taken as data (--header to name the columns)";
        return verdict;
    }
    verdict.why = "the first record looks like the records under it in " +
                  Plural(tally.alike, "column", "columns") + ", so it is data";
    if (unlike > 0) {
        verdict.sure = false;
        verdict.why = "could not tell whether the first record names the columns (" +
                      Plural(unlike, "column looks", "columns look") + " like names, " +
                      Plural(tally.alike, "column looks", "columns look") +
                      " like data); taken as data (--header to name the columns)";
    }
    return verdict;
}

// Whether the table's first record opens no field with a quote while every field of the records
// under it does.
bool QuotedOnlyBelow(const Trial& trial) {
    const auto& list = trial.records.list;
    if (list[trial.start].quoteOpens != 0) {
        return false;
    }
    bool any = false;
    for (std::size_t k = trial.start + 1; k < list.size() && k < trial.start + kHeaderRecords;
         ++k) {
        if (trial.counts[k] > 0) {
            if (list[k].quoteOpens != list[k].values.size()) {
                return false;
            }
            any = true;
        }
    }
    return any;
}

HeaderVerdict JudgeHeader(const Trial& trial) {
    HeaderVerdict verdict;
    const auto& list = trial.records.list;
    if (trial.start >= list.size()) {
        return verdict;
    }
    const auto& first = list[trial.start].values;
    const auto below = ValuesBelow(trial);
    verdict.why = DataByItsValues(first);
    if (!verdict.why.empty()) {
        return verdict;
    }
    if (below.empty()) {
        verdict.why = "a single record, taken as data";
        return verdict;
    }
    ColumnTally tally;
    for (std::size_t column = 0; column < first.size(); ++column) {
        TallyColumn(tally, first[column], LookBelow(below, column, first[column]));
    }
    if (tally.alike == 0 &&
        tally.numbersUnderWords + tally.datesUnderWords + tally.otherShape == 0 &&
        QuotedOnlyBelow(trial)) {
        verdict.header = true;
        verdict.why = "the first record unquoted above records quoted throughout";
        return verdict;
    }
    return Weigh(tally);
}

// Decides the rules for one sample, a step for each rule, in the order their reasons are given.
class SampleSniffer {
  public:
    SampleSniffer(std::string_view sample, bool complete, const ConversionOptions& given)
        : m_given(given), m_kept(given.Kept), m_complete(complete), m_text(sample) {}
    SampleSniffer(const SampleSniffer&) = delete;
    SampleSniffer& operator=(const SampleSniffer&) = delete;

    SniffedRules run() {
        startFromGiven();
        decideEncoding();
        keepLinesLookedAt();
        if (m_text.empty()) {
            m_found.doubts.push_back(m_complete ? "the file holds no lines"
                                                : "its first line is longer than the sample of " +
                                                      std::to_string(kSniffBytes >> 10) +
                                                      " KiB; read with the rules as given");
            return std::move(m_found);
        }
        decideComment();
        decideDelimiter();
        reviewComment();
        tellQuoting();
        decideSkipLines();
        decideHeader();
        tellRagged();
        return std::move(m_found);
    }

  private:
    void startFromGiven() {
        m_rules = m_given;
        m_rules.AutoRules = false;
        m_rules.DetectDelimiter = false;
        m_rules.WarnOnOtherDelimiter = false;
        if (!m_kept.ragged) {
            m_rules.Ragged = RaggedMode::Pad;
        }
    }

    // The encoding, and the text to look at in UTF-8.
    void decideEncoding() {
        if (m_kept.encoding) {
            m_found.reasons.push_back(m_given.Encoding.empty() ? std::string("bytes as they are")
                                                               : m_given.Encoding + " (as given)");
            if (m_text.starts_with(detail::kUtf8Bom)) {
                m_text.remove_prefix(detail::kUtf8Bom.size());
            }
        } else if (m_text.starts_with(detail::kUtf8Bom)) {
            m_text.remove_prefix(detail::kUtf8Bom.size());
            m_rules.Encoding.clear();
            m_rules.StripBom = true;
            m_found.reasons.push_back("UTF-8 (byte-order mark)");
        } else if (m_text.starts_with("\xFF\xFE") || m_text.starts_with("\xFE\xFF")) {
            const bool bigEndian = m_text[0] == '\xFE';
            m_rules.Encoding = bigEndian ? "utf-16be" : "utf-16le";
            m_rules.StripBom = true;
            m_decoded = Utf16AsUtf8(m_text.substr(2), bigEndian);
            m_text = m_decoded;
            m_found.reasons.push_back(std::string(bigEndian ? "UTF-16BE" : "UTF-16LE") +
                                      " (byte-order mark)");
        } else if (const auto bad = FirstInvalidUtf8(m_text, m_complete);
                   bad != std::string_view::npos) {
            m_rules.Encoding = "windows-1252";
            const auto line = 1 + std::count(m_text.begin(), m_text.begin() + bad, '\n');
            m_found.reasons.push_back(
                "Windows-1252 (not valid UTF-8: " + Shown(m_text.substr(bad, 1)) + " on line " +
                std::to_string(line) + ")");
        } else {
            m_rules.Encoding.clear();
            const bool ascii = std::all_of(m_text.begin(), m_text.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x80;
            });
            m_found.reasons.push_back(ascii ? "ASCII" : "UTF-8");
            if (m_text.find('\0') != std::string_view::npos) {
                m_found.doubts.push_back(
                    "it holds NUL bytes: UTF-16 without a byte-order mark, or not text "
                    "(--encoding to say which)");
            }
        }
    }

    // Whole lines only, and none of the lines the user said to skip.
    void keepLinesLookedAt() {
        if (!m_complete) {
            // The last line may go on past the sample: only whole lines are looked at.
            const auto lastBreak = m_text.find_last_of("\r\n");
            m_text = lastBreak == std::string_view::npos ? std::string_view()
                                                         : m_text.substr(0, lastBreak);
        }
        if (m_kept.skipLines) {
            for (; m_skipped < m_given.SkipLines && !m_text.empty(); ++m_skipped) {
                m_text.remove_prefix(PastLine(m_text, 0));
            }
        }
    }

    // A comment prefix: the first line that is not empty starts with a comment marker.
    void decideComment() {
        if (m_kept.comment) {
            return;
        }
        m_rules.CommentPrefix.clear();
        std::size_t i = 0;
        while (i < m_text.size() &&
               m_text.substr(i, PastLine(m_text, i) - i).find_first_not_of(" \r\n") ==
                   std::string_view::npos) {
            i = PastLine(m_text, i);
        }
        for (const std::string_view marker : {"#", "//", "--"}) {
            if (m_text.substr(i).starts_with(marker)) {
                m_rules.CommentPrefix = std::string(marker);
                m_commentReason = m_found.reasons.size();
                m_found.reasons.push_back("lines starting with '" + m_rules.CommentPrefix +
                                          "' left out as comments");
                break;
            }
        }
    }

    // A comment prefix found above the table only is none: the lines above are skipped instead,
    // so that a record below starting with it stays, and the last of them is the header when it
    // has the table's width (a `#CHROM` line under `##` lines). It stays a comment prefix when
    // the table holds lines starting with it of another width: comments in the table.
    void reviewComment() {
        const auto& prefix = m_rules.CommentPrefix;
        if (m_kept.comment || prefix.empty() || m_best.start >= m_best.records.list.size()) {
            return;
        }
        Trial whole = Try(m_text, m_best.delimiter, m_best.quoted, "", m_complete);
        const auto& list = whole.records.list;
        const auto tableLine = m_best.records.list[m_best.start].line;
        const auto marked = [&](std::size_t k) {
            return !list[k].values.empty() && list[k].values.front().starts_with(prefix);
        };
        std::size_t start = 0;
        while (start < list.size() && list[start].line < tableLine) {
            ++start;
        }
        for (std::size_t k = start; k < list.size(); ++k) {
            if (marked(k) && whole.counts[k] != m_best.fields) {
                return;
            }
        }
        const bool header =
            start > 0 && marked(start - 1) && whole.counts[start - 1] == m_best.fields;
        m_found.reasons[m_commentReason] = "no comment prefix ('" + prefix +
                                           "' starts lines above the table only" +
                                           (header ? ", the last of them its header)" : ")");
        m_rules.CommentPrefix.clear();
        StartAt(whole, header ? start - 1 : start);
        whole.quoteLeftOpen = m_best.quoteLeftOpen;
        m_best = std::move(whole);
        m_found.widest = std::max(m_found.widest, m_best.widest);
    }

    Trial tryDelimiter(std::string delimiter, bool quoted) const {
        return Try(m_text, std::move(delimiter), quoted, m_rules.CommentPrefix, m_complete);
    }

    // A delimiter read with quotes and without, or as the user said to read quotes.
    Trial tryQuoting(const std::string& delimiter) const {
        if (m_kept.quoting) {
            return tryDelimiter(delimiter, m_given.QuotedFields);
        }
        auto withQuotes = tryDelimiter(delimiter, true);
        if (withQuotes.records.quoteOpens == 0) {
            withQuotes.quoted = false;
            return withQuotes;
        }
        auto plain = tryDelimiter(delimiter, false);
        // Records that quotes carry over line breaks are fewer: compare shares, not counts. When
        // quotes hold the delimiter wherever it stands, the file is one quoted column.
        if (withQuotes.records.unclosedLine == 0 &&
            (Share(withQuotes) >= Share(plain) ||
             (withQuotes.fields == 1 && withQuotes.steady == withQuotes.tableRecords))) {
            return withQuotes;
        }
        plain.quoteLeftOpen = withQuotes.records.unclosedLine;
        return plain;
    }

    // The delimiter and quoting: the usual delimiters first, each read with quotes and without.
    Trial chooseDelimiter() {
        if (m_kept.delimiter) {
            return tryQuoting(m_given.CsvDelimiter);
        }
        Trial best;
        for (const char* candidate : {",", ";", "\t", "|"}) {
            if (m_text.find(candidate[0]) == std::string_view::npos) {
                continue;  // it cuts nothing
            }
            auto trial = tryQuoting(candidate);
            if (Better(trial, best) || best.delimiter.empty()) {
                best = std::move(trial);
            }
        }
        if (best.fields < 2) {
            tryOtherBytes(best);
        }
        return best;
    }

    // Any other byte that cuts every record of the table alike.
    void tryOtherBytes(Trial& best) {
        std::array<bool, 256> present{};
        for (const char c : m_text.substr(0, PastLine(m_text, 0))) {
            present[static_cast<unsigned char>(c)] = true;
        }
        for (int c = 1; c < 0x7F; ++c) {
            if (!present[static_cast<std::size_t>(c)] ||
                !MayDelimit(static_cast<unsigned char>(c))) {
                continue;
            }
            auto trial = tryDelimiter(std::string(1, static_cast<char>(c)), false);
            if (trial.fields >= 2 && trial.steady == trial.tableRecords && trial.steady >= 2 &&
                Better(trial, best)) {
                best = std::move(trial);
                m_otherByte = true;
            }
        }
    }

    void decideDelimiter() {
        m_best = chooseDelimiter();
        if (!m_kept.quoting) {
            m_rules.QuotedFields = m_best.quoted;
        }
        SkipSparseLines(m_best);
        m_found.fields = m_best.fields;
        m_found.widest = m_best.widest;
        if (m_kept.delimiter) {
            m_found.reasons.push_back(Shown(m_best.delimiter) + " (as given)");
        } else if (m_best.fields < 2) {
            readAsOneColumn();
        } else {
            tellDelimiter();
        }
    }

    // Each line whole is one value.
    void readAsOneColumn() {
        m_best = tryQuoting("");
        if (!m_kept.quoting) {
            m_rules.QuotedFields = m_best.quoted;
        }
        m_found.fields = 1;
        m_found.widest = 1;
        m_found.reasons.push_back("one column");
        const auto& list = m_best.records.list;
        if (std::any_of(list.begin(), list.end(), [](const auto& record) {
                return record.quoteOpens == 0 && !record.values.empty() &&
                       record.values.front().find_first_of(",;\t|") != std::string::npos;
            })) {
            m_found.doubts.push_back(
                "no delimiter cuts its lines into the same number of fields; read as one column "
                "(-d to choose one)");
        }
        m_rules.CsvDelimiter.clear();
    }

    void tellDelimiter() {
        const Trial& best = m_best;
        m_rules.CsvDelimiter = best.delimiter;
        std::string why = best.steady == best.tableRecords
                              ? "every one of " + Plural(best.steady, "record", "records") +
                                    " has " + std::to_string(best.fields) + " fields"
                              : std::to_string(best.steady) + " of " +
                                    Plural(best.tableRecords, "record", "records") + " have " +
                                    std::to_string(best.fields) + " fields";
        m_found.reasons.push_back(Shown(best.delimiter) + " (" + why +
                                  (m_otherByte ? "; none of ',' ';' TAB '|' does" : "") + ")");
        // Two widths are a table with an optional column; more are doubtful.
        if (static_cast<double>(best.steady + best.nextSteady) <
            kSteadyShare * static_cast<double>(best.tableRecords)) {
            m_found.doubts.push_back("only " + std::to_string(best.steady) + " of " +
                                     Plural(best.tableRecords, "record has", "records have") + " " +
                                     std::to_string(best.fields) + " fields");
        }
    }

    void tellQuoting() {
        if (m_rules.QuotedFields && !m_kept.quoting) {
            m_found.reasons.push_back(
                "quoted fields (" +
                Plural(m_best.records.quoteOpens, "field opens", "fields open") + " with a quote)");
        } else if (m_kept.quoting) {
            m_found.reasons.push_back(m_given.QuotedFields ? "quoted fields (as given)"
                                                           : "quotes as plain bytes (as given)");
        }
        if (m_best.quoteLeftOpen != 0 && !m_kept.quoting) {
            m_found.doubts.push_back("a quote opened on line " +
                                     std::to_string(m_best.quoteLeftOpen + m_skipped) +
                                     " is never closed; quotes read as plain bytes");
        }
    }

    // Lines before the table.
    void decideSkipLines() {
        if (!m_kept.skipLines) {
            m_rules.SkipLines = 0;
            if (m_best.start < m_best.records.list.size()) {
                m_rules.SkipLines = m_best.records.list[m_best.start].line - 1;
            }
            if (m_rules.SkipLines > 0) {
                m_found.reasons.push_back(Plural(m_rules.SkipLines, "line", "lines") +
                                          " skipped before the table");
            }
        } else if (m_given.SkipLines > 0) {
            m_found.reasons.push_back(Plural(m_given.SkipLines, "line", "lines") +
                                      " skipped before the table (as given)");
        }
    }

    // The header row.
    void decideHeader() {
        if (m_kept.header) {
            m_found.reasons.push_back(m_given.HeaderRow ? "header row (as given)"
                                                        : "no header row (as given)");
        } else {
            const auto verdict = JudgeHeader(m_best);
            m_rules.HeaderRow = verdict.header;
            if (verdict.header) {
                m_found.reasons.push_back("header row (" + verdict.why + ")");
            } else if (verdict.sure) {
                m_found.reasons.push_back("no header row" +
                                          (verdict.why.empty() ? "" : " (" + verdict.why + ")"));
            } else {
                m_found.reasons.push_back("no header row");
                m_found.doubts.push_back(verdict.why);
            }
        }
        if (m_rules.HeaderRow) {
            m_rules.StripBom = true;
        }
    }

    // Rows of another width.
    void tellRagged() {
        if (!m_kept.ragged && m_best.fields >= 2 && m_best.steady < m_best.tableRecords) {
            m_found.reasons.push_back("rows of another width padded with NULL (the widest has " +
                                      std::to_string(m_best.widest) + " fields)");
        }
    }

    const ConversionOptions& m_given;
    const ConversionOptions::KeptRules& m_kept;
    bool m_complete;
    SniffedRules m_found;
    ConversionOptions& m_rules = m_found.rules;
    std::string m_decoded;        // UTF-16 text in UTF-8, when the sample is UTF-16
    std::string_view m_text;      // the sample's text looked at, in UTF-8
    std::uint64_t m_skipped = 0;  // lines left out as the user said
    Trial m_best;
    bool m_otherByte = false;         // the delimiter is none of the usual ones
    std::size_t m_commentReason = 0;  // where the comment prefix's reason is
};

}  // namespace

std::string SniffedRules::summary() const {
    std::string line;
    for (const auto& reason : reasons) {
        line += (line.empty() ? "" : ", ") + reason;
    }
    for (const auto& doubt : doubts) {
        line += (line.empty() ? "unsure: " : "; unsure: ") + doubt;
    }
    return line;
}

SniffedRules SniffSample(std::string_view sample, bool complete, const ConversionOptions& given) {
    return SampleSniffer(sample, complete, given).run();
}

}  // namespace quarrytab
