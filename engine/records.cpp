#include "engine/records.h"

#include <algorithm>
#include <array>
#include <map>

#include "engine/statements.h"

namespace quarrytab {

namespace {
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
}

PhysicalLines::PhysicalLines(LineReader& reader, bool stripBom, std::uint64_t skipLines)
    : m_reader(reader), m_stripBom(stripBom), m_skip(skipLines) {}

bool PhysicalLines::fromReader(Line& line) {
    for (;;) {
        std::string_view text;
        if (!m_reader.next(text))
            return false;
        ++m_number;
        if (m_number == 1 && m_stripBom && text.starts_with(kUtf8Bom))
            text.remove_prefix(kUtf8Bom.size());
        if (m_number <= m_skip)
            continue;
        line = {text, m_reader.lineEnd(), m_number};
        return true;
    }
}

bool PhysicalLines::next(Line& line) {
    if (m_held.empty())
        return fromReader(line);
    m_current = std::move(m_held.front());
    m_held.pop_front();
    line = {m_current.text, m_current.end, m_current.number};
    return true;
}

std::vector<PhysicalLines::Line> PhysicalLines::peek(std::size_t count) {
    Line line;
    while (m_held.size() < count && fromReader(line))
        m_held.push_back({std::string(line.text), line.end, line.number});
    std::vector<Line> lines;
    for (const auto& held : m_held) lines.push_back({held.text, held.end, held.number});
    return lines;
}

RecordReader::RecordReader(PhysicalLines& lines, std::string delimiter, bool quotedFields,
                           std::string commentPrefix)
    : m_lines(lines),
      m_delimiter(std::move(delimiter)),
      m_quotedFields(quotedFields),
      m_comment(std::move(commentPrefix)) {}

bool RecordReader::next(Record& record) {
    PhysicalLines::Line line;
    do {
        if (!m_lines.next(line))
            return false;
    } while (!m_comment.empty() && line.text.starts_with(m_comment));
    record.fields.clear();
    record.quoted.clear();
    record.plainLine = {};
    record.line = line.number;
    record.blank = IsBlankLine(line.text);
    // A line without a double quote reads the same either way; plain splitting copies nothing.
    if (m_quotedFields && line.text.find('"') != std::string_view::npos) {
        splitQuoted(line, record);
    } else {
        ForEachField(line.text, m_delimiter, [&](std::string_view field) {
            record.fields.push_back(field);
            record.quoted.push_back(false);
        });
        if (m_delimiter.size() == 1) {
            record.plainLine = line.text;
            record.delimiter = m_delimiter[0];
        }
    }
    return true;
}

// Appends a quoted field's value from just after its opening quote, across line breaks,
// leaving `pos` after the closing quote. False when the file ends with the quote still open.
bool RecordReader::appendQuoted(PhysicalLines::Line& line, std::size_t& pos) {
    for (;;) {
        const auto close = line.text.find('"', pos);
        if (close == std::string_view::npos) {
            m_values.append(line.text.substr(pos));
            m_values.append(line.end);
            pos = 0;
            if (!m_lines.next(line)) {
                line = {};
                return false;
            }
            continue;
        }
        m_values.append(line.text.substr(pos, close - pos));
        pos = close + 1;
        if (pos < line.text.size() && line.text[pos] == '"') {
            m_values += '"';
            ++pos;
            continue;
        }
        return true;
    }
}

// Fields are copied into one buffer, since a quoted field drops its quotes and may span lines.
void RecordReader::splitQuoted(PhysicalLines::Line line, Record& record) {
    m_values.clear();
    m_spans.clear();
    if (line.text.empty())
        return;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t start = m_values.size();
        const bool quoted = pos < line.text.size() && line.text[pos] == '"';
        if (quoted) {
            const std::uint64_t opened = line.number;
            ++pos;
            if (!appendQuoted(line, pos) && m_unclosedQuoteLine == 0)
                m_unclosedQuoteLine = opened;  // the text read so far is the value
        }
        // An unquoted field, or what follows a closing quote, runs to the next delimiter.
        const auto cut = m_delimiter.empty()       ? std::string_view::npos
                         : m_delimiter.size() == 1 ? line.text.find(m_delimiter[0], pos)
                                                   : line.text.find(m_delimiter, pos);
        m_values.append(line.text.substr(pos, cut == std::string_view::npos ? cut : cut - pos));
        m_spans.emplace_back(start, m_values.size() - start);
        record.quoted.push_back(quoted ? 1 : 0);
        if (cut == std::string_view::npos)
            break;
        pos = cut + m_delimiter.size();
    }
    for (const auto& [offset, size] : m_spans)
        record.fields.emplace_back(m_values.data() + offset, size);
}

std::size_t CountFields(std::string_view line, std::string_view delimiter, bool quotedFields) {
    if (line.empty())
        return 0;
    if (delimiter.empty())
        return 1;
    std::size_t count = 1;
    bool inQuotes = false;
    bool atFieldStart = true;
    for (std::size_t i = 0; i < line.size();) {
        if (inQuotes) {
            if (line[i] == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"')
                    ++i;  // a doubled quote stays inside
                else
                    inQuotes = false;
            }
            ++i;
        } else if (quotedFields && atFieldStart && line[i] == '"') {
            inQuotes = true;
            atFieldStart = false;
            ++i;
        } else if (line.compare(i, delimiter.size(), delimiter) == 0) {
            ++count;
            i += delimiter.size();
            atFieldStart = true;
        } else {
            atFieldStart = false;
            ++i;
        }
    }
    return count;
}

std::string DetectDelimiter(const std::vector<std::string_view>& lines, bool quotedFields) {
    std::string best;
    std::size_t bestSteady = 0;
    std::size_t bestCount = 0;
    for (const char* candidate : {",", ";", "\t", "|"}) {
        // The most common field count among the lines, and how many lines have it.
        std::map<std::size_t, std::size_t> counts;
        for (const auto line : lines) ++counts[CountFields(line, candidate, quotedFields)];
        const auto common = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
            return a.second < b.second || (a.second == b.second && a.first < b.first);
        });
        if (common == counts.end() || common->first < 2)
            continue;
        if (common->second > bestSteady ||
            (common->second == bestSteady && common->first > bestCount)) {
            best = candidate;
            bestSteady = common->second;
            bestCount = common->first;
        }
    }
    return best;
}

}  // namespace quarrytab
