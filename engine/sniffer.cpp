#include "engine/sniffer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "engine/encoding.h"
#include "engine/records.h"

namespace quarrytab {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
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
        std::size_t need = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return i;
        }
        for (std::size_t k = 1; k <= need; ++k) {
            if (i + k >= bytes.size()) {
                return complete ? i : std::string_view::npos;
            }
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
                return i;
            }
        }
        i += need + 1;
    }
    return std::string_view::npos;
}

// UTF-16 text as UTF-8, for looking at only, converted as the conversion will convert it.
std::string Utf16AsUtf8(std::string_view bytes, bool bigEndian) {
    class Bytes : public ByteSource {
      public:
        explicit Bytes(std::string_view bytes) : m_bytes(bytes) {}
        std::ptrdiff_t read(char* buffer, std::size_t size, std::string&) override {
            const auto count = std::min(size, m_bytes.size());
            std::copy_n(m_bytes.data(), count, buffer);
            m_bytes.remove_prefix(count);
            return static_cast<std::ptrdiff_t>(count);
        }

      private:
        std::string_view m_bytes;
    } source(bytes);
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

bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

// Past the line break at `i` (CR LF, LF or CR).
std::size_t PastBreak(std::string_view text, std::size_t i) {
    return i + (text.compare(i, 2, "\r\n") == 0 ? 2 : 1);
}

// Past the line that goes on at `i`, its line break included.
std::size_t PastLine(std::string_view text, std::size_t i) {
    while (i < text.size() && !IsBreak(text[i])) {
        ++i;
    }
    return i < text.size() ? PastBreak(text, i) : i;
}

// One record of the sample: its bytes (line breaks inside quotes included) and its first line.
struct Record {
    std::string_view text;
    std::uint64_t line;
};

// The sample cut into records as the record stream cuts it: a line break ends a record except
// inside a field opened by a quote; lines starting with the comment prefix are left out.
struct Records {
    std::vector<Record> list;
    std::size_t quoteOpens = 0;      // fields that open with a quote
    std::uint64_t unclosedLine = 0;  // the line of a quoted field still open at the end
};

Records CutRecords(std::string_view text, std::string_view delimiter, bool quoted,
                   std::string_view comment, bool complete) {
    Records out;
    std::uint64_t line = 1;
    std::size_t i = 0;
    while (i < text.size() && out.list.size() < kMostRecords) {
        if (!comment.empty() && text.substr(i).starts_with(comment)) {
            i = PastLine(text, i);
            ++line;
            continue;
        }
        const std::size_t start = i;
        const std::uint64_t startLine = line;
        bool atFieldStart = true;
        bool inQuotes = false;
        std::size_t opens = 0;
        while (i < text.size()) {
            const char c = text[i];
            if (inQuotes) {
                if (c == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        i += 2;
                    } else {
                        inQuotes = false;
                        ++i;
                    }
                } else if (IsBreak(c)) {
                    i = PastBreak(text, i);
                    ++line;
                } else {
                    ++i;
                }
            } else if (IsBreak(c)) {
                break;
            } else if (quoted && atFieldStart && c == '"') {
                inQuotes = true;
                atFieldStart = false;
                ++opens;
                ++i;
            } else if (!delimiter.empty() && text.compare(i, delimiter.size(), delimiter) == 0) {
                atFieldStart = true;
                i += delimiter.size();
            } else {
                atFieldStart = false;
                ++i;
            }
        }
        if (inQuotes) {
            if (complete) {
                out.unclosedLine = startLine;
                out.list.push_back({text.substr(start, i - start), startLine});
                out.quoteOpens += opens;
            }
            break;  // otherwise the record runs on past the sample
        }
        out.list.push_back({text.substr(start, i - start), startLine});
        out.quoteOpens += opens;
        if (i < text.size()) {
            i = PastBreak(text, i);
            ++line;
        }
    }
    return out;
}

// A record's values, quotes taken off as the record stream takes them off.
std::vector<std::string> Values(std::string_view record, std::string_view delimiter, bool quoted) {
    std::vector<std::string> values(1);
    bool atFieldStart = true;
    bool inQuotes = false;
    for (std::size_t i = 0; i < record.size();) {
        const char c = record[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < record.size() && record[i + 1] == '"') {
                values.back() += '"';
                i += 2;
                continue;
            }
            if (c == '"') {
                inQuotes = false;
            } else {
                values.back() += c;
            }
            ++i;
        } else if (quoted && atFieldStart && c == '"') {
            inQuotes = true;
            atFieldStart = false;
            ++i;
        } else if (!delimiter.empty() && record.compare(i, delimiter.size(), delimiter) == 0) {
            values.emplace_back();
            atFieldStart = true;
            i += delimiter.size();
        } else {
            values.back() += c;
            atFieldStart = false;
            ++i;
        }
    }
    return values;
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

std::string LowerAscii(std::string text) {
    for (auto& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// One delimiter tried on the sample.
struct Trial {
    std::string delimiter;
    bool quoted = false;
    Records records;
    std::vector<std::size_t> counts;  // each record's field count; 0 for an empty line
    std::size_t fields = 0;           // the most common count of a line that is not empty
    std::size_t steady = 0;           // records with that count
    std::size_t nextSteady = 0;       // records with the next most common count
    std::size_t start = 0;            // the first record of the table
    std::size_t tableRecords = 0;     // non-empty records from there on
    std::size_t widest = 0;
    std::uint64_t quoteLeftOpen = 0;  // read with quotes, a quote on this line never closed
};

Trial Try(std::string_view text, std::string delimiter, bool quoted, std::string_view comment,
          bool complete) {
    Trial trial;
    trial.delimiter = std::move(delimiter);
    trial.quoted = quoted;
    trial.records = CutRecords(text, trial.delimiter, quoted, comment, complete);
    std::map<std::size_t, std::size_t> seen;
    for (const auto& record : trial.records.list) {
        const bool blank = record.text.find_first_not_of(' ') == std::string_view::npos;
        const auto count = blank ? 0 : detail::CountFields(record.text, trial.delimiter, quoted);
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
    // The table starts at its first record of a width it often has, or at least as wide as its
    // most common one: the lines above are a title, metadata or empty lines.
    std::size_t filled = 0;
    for (const auto& [count, times] : seen) {
        filled += times;
    }
    const auto often = std::max<std::size_t>(2, filled / kOftenShare);
    while (trial.start < trial.counts.size() &&
           (trial.counts[trial.start] == 0 || (trial.counts[trial.start] < trial.fields &&
                                               seen[trial.counts[trial.start]] < often))) {
        ++trial.start;
    }
    for (std::size_t k = trial.start; k < trial.counts.size(); ++k) {
        trial.tableRecords += trial.counts[k] > 0 ? 1 : 0;
        trial.widest = std::max(trial.widest, trial.counts[k]);
    }
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
        for (const auto& value : Values(list[k].text, trial.delimiter, trial.quoted)) {
            const auto shape = ShapeOf(value);
            shaped += shape != Shape::Text && shape != Shape::Missing ? 1 : 0;
        }
    }
    return shaped;
}

// Whether `a` reads the sample better than `b`: more records of one field count above one,
// then more fields (today's rule for -d auto), then more values that look like numbers or dates.
bool Better(const Trial& a, const Trial& b) {
    if (a.fields < 2) {
        return false;
    }
    if (b.fields < 2) {
        return true;
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
        const auto values = Values(list[k].text, trial.delimiter, trial.quoted);
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

HeaderVerdict JudgeHeader(const Trial& trial) {
    HeaderVerdict verdict;
    const auto& list = trial.records.list;
    if (trial.start >= list.size()) {
        return verdict;
    }
    const auto first = Values(list[trial.start].text, trial.delimiter, trial.quoted);
    std::vector<std::vector<std::string>> below;
    for (std::size_t k = trial.start + 1; k < list.size() && below.size() < kHeaderRecords; ++k) {
        if (trial.counts[k] > 0) {
            below.push_back(Values(list[k].text, trial.delimiter, trial.quoted));
        }
    }
    std::set<std::string> distinct;
    for (std::size_t k = 0; k < first.size(); ++k) {
        const auto& value = first[k];
        if (k == 0 && value.empty() && first.size() > 1) {
            continue;  // the name of a column of row names is often left empty
        }
        if (ShapeOf(value) == Shape::Missing) {
            verdict.why = "the first record has an empty value, so it is data";
            return verdict;
        }
        if (!distinct.insert(LowerAscii(value)).second) {
            verdict.why = "the first record repeats a value, so it is data";
            return verdict;
        }
    }
    if (below.empty()) {
        verdict.why = "a single record, taken as data";
        return verdict;
    }
    std::size_t numbersUnderWords = 0;
    std::size_t datesUnderWords = 0;
    std::size_t otherShape = 0;
    std::size_t alike = 0;
    for (std::size_t column = 0; column < first.size(); ++column) {
        std::set<Shape> shapes;
        std::set<std::size_t> lengths;
        bool seenAbove = false;
        for (const auto& values : below) {
            if (column >= values.size()) {
                continue;
            }
            const auto shape = ShapeOf(values[column]);
            if (shape == Shape::Missing) {
                continue;
            }
            shapes.insert(shape);
            lengths.insert(values[column].size());
            seenAbove |= values[column] == first[column];
        }
        if (shapes.empty()) {
            continue;
        }
        if (first[column].empty()) {
            continue;
        }
        const auto top = ShapeOf(first[column]);
        if (!shapes.contains(top)) {
            const bool numbers = std::all_of(shapes.begin(), shapes.end(), IsNumber);
            if (top == Shape::Text && numbers) {
                ++numbersUnderWords;
            } else if (top == Shape::Text && shapes.size() == 1 && *shapes.begin() == Shape::Date) {
                ++datesUnderWords;
            } else if (!(IsNumber(top) && std::all_of(shapes.begin(), shapes.end(), IsNumber))) {
                ++otherShape;
            }
            continue;
        }
        if (top != Shape::Text || seenAbove) {
            ++alike;
        } else if (lengths.size() == 1) {
            // Words of one length below (codes): a name of another length stands apart.
            if (*lengths.begin() == first[column].size()) {
                ++alike;
            } else {
                ++otherShape;
            }
        }
    }
    const auto unlike = numbersUnderWords + datesUnderWords + otherShape;
    std::vector<std::string> parts;
    if (numbersUnderWords > 0) {
        parts.push_back("numbers below words in " + Plural(numbersUnderWords, "column", "columns"));
    }
    if (datesUnderWords > 0) {
        parts.push_back("dates below words in " + Plural(datesUnderWords, "column", "columns"));
    }
    if (otherShape > 0) {
        parts.push_back("a shape the rest of the column never has in " +
                        Plural(otherShape, "column", "columns"));
    }
    if (unlike > alike) {
        verdict.header = true;
        verdict.why.clear();
        for (std::size_t k = 0; k < parts.size(); ++k) {
            verdict.why += (k > 0 ? "; " : "") + parts[k];
        }
        return verdict;
    }
    if (unlike == 0 && alike == 0) {
        verdict.sure = false;
        verdict.why =
            "could not tell whether the first record names the columns (its values look like "
            "those under them); taken as data (--header to name the columns)";
        return verdict;
    }
    verdict.why = "the first record looks like the records under it in " +
                  Plural(alike, "column", "columns") + ", so it is data";
    if (unlike > 0) {
        verdict.sure = false;
        verdict.why = "could not tell whether the first record names the columns (" +
                      Plural(unlike, "column looks", "columns look") + " like names, " +
                      Plural(alike, "column looks", "columns look") +
                      " like data); taken as data (--header to name the columns)";
    }
    return verdict;
}

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
    SniffedRules found;
    ConversionOptions& rules = found.rules;
    rules = given;
    rules.AutoRules = false;
    rules.DetectDelimiter = false;
    rules.WarnOnOtherDelimiter = false;
    const auto& kept = given.Kept;

    if (!kept.ragged) {
        rules.Ragged = RaggedMode::Pad;
    }

    // The encoding, and the text to look at in UTF-8.
    std::string decoded;
    std::string_view text = sample;
    if (kept.encoding) {
        found.reasons.push_back(given.Encoding.empty() ? std::string("bytes as they are")
                                                       : given.Encoding + " (as given)");
        if (text.starts_with(kUtf8Bom)) {
            text.remove_prefix(kUtf8Bom.size());
        }
    } else if (text.starts_with(kUtf8Bom)) {
        text.remove_prefix(kUtf8Bom.size());
        rules.Encoding.clear();
        rules.StripBom = true;
        found.reasons.push_back("UTF-8 (byte-order mark)");
    } else if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        const bool bigEndian = text[0] == '\xFE';
        rules.Encoding = bigEndian ? "utf-16be" : "utf-16le";
        rules.StripBom = true;
        decoded = Utf16AsUtf8(text.substr(2), bigEndian);
        text = decoded;
        found.reasons.push_back(std::string(bigEndian ? "UTF-16BE" : "UTF-16LE") +
                                " (byte-order mark)");
    } else if (const auto bad = FirstInvalidUtf8(text, complete); bad != std::string_view::npos) {
        rules.Encoding = "windows-1252";
        const auto line = 1 + std::count(text.begin(), text.begin() + bad, '\n');
        found.reasons.push_back("Windows-1252 (not valid UTF-8: " + Shown(text.substr(bad, 1)) +
                                " on line " + std::to_string(line) + ")");
    } else {
        rules.Encoding.clear();
        const bool ascii = std::all_of(text.begin(), text.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        found.reasons.push_back(ascii ? "ASCII" : "UTF-8");
        if (text.find('\0') != std::string_view::npos) {
            found.doubts.push_back(
                "it holds NUL bytes: UTF-16 without a byte-order mark, or not text (--encoding "
                "to say which)");
        }
    }
    if (!complete) {
        // The last line may go on past the sample: only whole lines are looked at.
        const auto lastBreak = text.find_last_of("\r\n");
        text = lastBreak == std::string_view::npos ? std::string_view() : text.substr(0, lastBreak);
    }
    std::uint64_t skipped = 0;
    if (kept.skipLines) {
        for (; skipped < given.SkipLines && !text.empty(); ++skipped) {
            text.remove_prefix(PastLine(text, 0));
        }
    }
    if (text.empty()) {
        found.doubts.push_back(complete ? "the file holds no lines"
                                        : "its first line is longer than the sample of " +
                                              std::to_string(kSniffBytes >> 10) +
                                              " KiB; read with the rules as given");
        return found;
    }

    // A comment prefix: the first line that is not empty starts with a comment marker.
    if (!kept.comment) {
        rules.CommentPrefix.clear();
        std::size_t i = 0;
        while (i < text.size() &&
               text.substr(i, PastLine(text, i) - i).find_first_not_of(" \r\n") ==
                   std::string_view::npos) {
            i = PastLine(text, i);
        }
        for (const std::string_view marker : {"#", "//", "--"}) {
            if (text.substr(i).starts_with(marker)) {
                rules.CommentPrefix = std::string(marker);
                found.reasons.push_back("lines starting with '" + rules.CommentPrefix +
                                        "' left out as comments");
                break;
            }
        }
    }

    // The delimiter and quoting: the usual delimiters first, each read with quotes and without.
    const auto tryBoth = [&](const std::string& delimiter) {
        auto withQuotes = Try(text, delimiter, true, rules.CommentPrefix, complete);
        if (withQuotes.records.quoteOpens == 0) {
            withQuotes.quoted = false;
            return withQuotes;
        }
        auto plain = Try(text, delimiter, false, rules.CommentPrefix, complete);
        // Records that quotes carry over line breaks are fewer: compare shares, not counts.
        if (withQuotes.records.unclosedLine == 0 && Share(withQuotes) >= Share(plain)) {
            return withQuotes;
        }
        plain.quoteLeftOpen = withQuotes.records.unclosedLine;
        return plain;
    };
    Trial best;
    bool otherByte = false;
    if (kept.delimiter) {
        best = kept.quoting ? Try(text, given.CsvDelimiter, given.QuotedFields, rules.CommentPrefix,
                                  complete)
                            : tryBoth(given.CsvDelimiter);
    } else {
        for (const char* candidate : {",", ";", "\t", "|"}) {
            if (text.find(candidate[0]) == std::string_view::npos) {
                continue;  // it cuts nothing
            }
            auto trial = kept.quoting ? Try(text, candidate, given.QuotedFields,
                                            rules.CommentPrefix, complete)
                                      : tryBoth(candidate);
            if (Better(trial, best) || best.delimiter.empty()) {
                best = std::move(trial);
            }
        }
        if (best.fields < 2) {
            // Any other byte that cuts every record of the table alike.
            std::array<bool, 256> present{};
            for (const char c : text.substr(0, PastLine(text, 0))) {
                present[static_cast<unsigned char>(c)] = true;
            }
            for (int c = 1; c < 0x7F; ++c) {
                if (!present[static_cast<std::size_t>(c)] ||
                    !MayDelimit(static_cast<unsigned char>(c))) {
                    continue;
                }
                auto trial = Try(text, std::string(1, static_cast<char>(c)), false,
                                 rules.CommentPrefix, complete);
                if (trial.fields >= 2 && trial.steady == trial.tableRecords && trial.steady >= 2 &&
                    Better(trial, best)) {
                    best = std::move(trial);
                    otherByte = true;
                }
            }
        }
    }
    if (!kept.quoting) {
        rules.QuotedFields = best.quoted;
    }
    SkipSparseLines(best);
    found.fields = best.fields;
    found.widest = best.widest;
    if (kept.delimiter) {
        found.reasons.push_back(Shown(best.delimiter) + " (as given)");
    } else if (best.fields < 2) {
        // Each line whole is one value.
        best = Try(text, "", false, rules.CommentPrefix, complete);
        if (!kept.quoting) {
            rules.QuotedFields = false;
        }
        found.reasons.push_back("one column");
        if (text.find_first_of(",;\t|") != std::string_view::npos) {
            found.doubts.push_back(
                "no delimiter cuts its lines into the same number of fields; read as one column "
                "(-d to choose one)");
        }
        rules.CsvDelimiter.clear();
    } else {
        rules.CsvDelimiter = best.delimiter;
        std::string why = best.steady == best.tableRecords
                              ? "every one of " + Plural(best.steady, "record", "records") +
                                    " has " + std::to_string(best.fields) + " fields"
                              : std::to_string(best.steady) + " of " +
                                    Plural(best.tableRecords, "record", "records") + " have " +
                                    std::to_string(best.fields) + " fields";
        found.reasons.push_back(Shown(best.delimiter) + " (" + why +
                                (otherByte ? "; none of ',' ';' TAB '|' does" : "") + ")");
        // Two widths are a table with an optional column; more are doubtful.
        if (static_cast<double>(best.steady + best.nextSteady) <
            kSteadyShare * static_cast<double>(best.tableRecords)) {
            found.doubts.push_back("only " + std::to_string(best.steady) + " of " +
                                   Plural(best.tableRecords, "record has", "records have") + " " +
                                   std::to_string(best.fields) + " fields");
        }
    }
    if (rules.QuotedFields && !kept.quoting) {
        found.reasons.push_back("quoted fields (" +
                                Plural(best.records.quoteOpens, "field opens", "fields open") +
                                " with a quote)");
    } else if (kept.quoting) {
        found.reasons.push_back(given.QuotedFields ? "quoted fields (as given)"
                                                   : "quotes as plain bytes (as given)");
    }
    if (best.quoteLeftOpen != 0 && !kept.quoting) {
        found.doubts.push_back("a quote opened on line " +
                               std::to_string(best.quoteLeftOpen + skipped) +
                               " is never closed; quotes read as plain bytes");
    }

    // Lines before the table.
    if (!kept.skipLines) {
        rules.SkipLines = 0;
        if (best.start < best.records.list.size()) {
            rules.SkipLines = best.records.list[best.start].line - 1;
        }
        if (rules.SkipLines > 0) {
            found.reasons.push_back(Plural(rules.SkipLines, "line", "lines") +
                                    " skipped before the table");
        }
    } else if (given.SkipLines > 0) {
        found.reasons.push_back(Plural(given.SkipLines, "line", "lines") +
                                " skipped before the table (as given)");
    }

    // The header row.
    if (kept.header) {
        found.reasons.push_back(given.HeaderRow ? "header row (as given)"
                                                : "no header row (as given)");
    } else {
        const auto verdict = JudgeHeader(best);
        rules.HeaderRow = verdict.header;
        if (verdict.header) {
            found.reasons.push_back("header row (" + verdict.why + ")");
        } else if (verdict.sure) {
            found.reasons.push_back("no header row" +
                                    (verdict.why.empty() ? "" : " (" + verdict.why + ")"));
        } else {
            found.reasons.push_back("no header row");
            found.doubts.push_back(verdict.why);
        }
    }
    if (rules.HeaderRow) {
        rules.StripBom = true;
    }

    // Rows of another width.
    if (!kept.ragged) {
        if (best.fields >= 2 && best.steady < best.tableRecords) {
            found.reasons.push_back("rows of another width padded with NULL (the widest has " +
                                    std::to_string(best.widest) + " fields)");
        }
    }
    return found;
}

namespace {

// Counts the fields of each record of a stream of blocks, as the record stream cuts them.
class WidthCounter {
  public:
    WidthCounter(const ConversionOptions& rules)
        : m_delimiter(rules.CsvDelimiter.size() == 1 ? rules.CsvDelimiter[0] : '\0'),
          m_cuts(rules.CsvDelimiter.size() == 1),
          m_quoted(rules.QuotedFields),
          m_comment(rules.CommentPrefix),
          m_skip(rules.SkipLines) {
        m_stops['\r'] = m_stops['\n'] = true;
        m_stops[static_cast<unsigned char>(m_delimiter)] = m_cuts;
        m_stops['"'] = m_quoted;
    }

    void feed(std::string_view bytes) {
        const char* p = bytes.data();
        const char* const end = p + bytes.size();
        while (p != end) {
            if (m_state == State::Field) {
                // Most bytes of a record neither cut nor end it: run past them.
                const char* const run = p;
                while (p != end && !m_stops[static_cast<unsigned char>(*p)]) {
                    ++p;
                }
                if (p != run) {
                    m_afterCr = false;
                    m_atFieldStart = false;
                }
                if (p == end) {
                    return;
                }
            } else if (m_state == State::Quoted) {
                const auto* quote = static_cast<const char*>(std::memchr(p, '"', end - p));
                m_afterCr = false;
                if (quote == nullptr) {
                    return;
                }
                p = quote + 1;
                m_state = State::QuoteSeen;
                continue;
            }
            step(*p++);
        }
    }
    std::size_t widest() {
        endRecord();
        return m_widest;
    }

  private:
    enum class State { Skip, LineStart, Comment, Field, Quoted, QuoteSeen };

    void endRecord() {
        m_widest = std::max(m_widest, m_fields);
        m_fields = 1;
        m_matched = 0;
        m_atFieldStart = true;
        m_state = State::LineStart;
    }

    // A byte of a record, outside quotes.
    void plain(char c) {
        if (c == '\r' || c == '\n') {
            m_afterCr = c == '\r';
            endRecord();
            return;
        }
        if (m_cuts && c == m_delimiter) {
            ++m_fields;
            m_atFieldStart = true;
            return;
        }
        if (m_quoted && m_atFieldStart && c == '"') {
            m_state = State::Quoted;
        }
        m_atFieldStart = false;
    }

    void step(char c) {
        const bool lf = c == '\n';
        if (lf && m_afterCr) {
            m_afterCr = false;
            return;  // the second half of CR LF
        }
        m_afterCr = false;
        switch (m_state) {
            case State::Skip:
                if (m_skip == 0) {
                    m_state = State::LineStart;
                    step(c);
                    return;
                }
                if (c == '\r' || lf) {
                    m_afterCr = c == '\r';
                    if (--m_skip == 0) {
                        m_state = State::LineStart;
                    }
                }
                return;
            case State::LineStart:
                if (!m_comment.empty() && c == m_comment[m_matched]) {
                    if (++m_matched == m_comment.size()) {
                        m_state = State::Comment;
                    }
                    return;
                }
                m_state = State::Field;
                for (std::size_t k = 0; k < m_matched; ++k) {
                    plain(m_comment[k]);
                }
                m_matched = 0;
                if (m_state == State::Field) {
                    plain(c);
                } else {
                    step(c);
                }
                return;
            case State::Comment:
                if (c == '\r' || lf) {
                    m_afterCr = c == '\r';
                    m_matched = 0;
                    m_state = State::LineStart;
                }
                return;
            case State::Field:
                plain(c);
                return;
            case State::Quoted:
                if (c == '"') {
                    m_state = State::QuoteSeen;
                }
                return;
            case State::QuoteSeen:
                if (c == '"') {
                    m_state = State::Quoted;
                    return;
                }
                m_state = State::Field;
                plain(c);
                return;
        }
    }

    char m_delimiter;
    bool m_cuts;
    std::array<bool, 256> m_stops{};  // bytes a run of a record stops at
    bool m_quoted;
    std::string m_comment;
    std::uint64_t m_skip;
    State m_state = State::Skip;
    std::size_t m_matched = 0;
    std::size_t m_fields = 1;
    std::size_t m_widest = 0;
    bool m_atFieldStart = true;
    bool m_afterCr = false;
};

}  // namespace

std::ptrdiff_t WidestRecord(ByteSource& source, const ConversionOptions& rules,
                            std::string& error) {
    WidthCounter counter(rules);
    std::vector<char> block(1 << 20);
    for (;;) {
        const auto count = source.read(block.data(), block.size(), error);
        if (count < 0) {
            return -1;
        }
        if (count == 0) {
            break;
        }
        counter.feed(std::string_view(block.data(), static_cast<std::size_t>(count)));
    }
    return static_cast<std::ptrdiff_t>(counter.widest());
}

}  // namespace quarrytab
