// What a file's first lines tell before its records are read: how many fields a line has, and
// which delimiter they suggest.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarrytab::detail {

// The number of fields of one line on its own: plain, or respecting quotes within the line.
std::size_t CountFields(std::string_view line, std::string_view delimiter, bool quotedFields);

// The delimiter among "," ";" TAB "|" that gives the first lines a steady field count above one;
// empty when none does.
std::string DetectDelimiter(const std::vector<std::string_view>& lines, bool quotedFields);

// Watches the first lines that are not blank for a file that "," does not cut: lines holding no
// "," yet ";" or TAB suggest another delimiter was meant. A line is looked at whole (look) or in
// parts as it is read (lookAt, then endLine).
class DelimiterDoubt {
  public:
    static constexpr std::size_t kLines = 5;

    bool watching() const { return m_seen < kLines; }
    void lookAt(std::string_view part) {
        m_lineComma = m_lineComma || part.find(',') != std::string_view::npos;
        m_lineOther = m_lineOther || part.find_first_of(";\t") != std::string_view::npos;
    }
    void endLine(bool blank) {
        if (!blank && watching()) {
            ++m_seen;
            m_comma |= m_lineComma;
            m_other |= m_lineOther;
        }
        m_lineComma = false;
        m_lineOther = false;
    }
    void look(std::string_view line);
    bool likely() const { return m_seen > 0 && !m_comma && m_other; }

  private:
    std::size_t m_seen = 0;
    bool m_lineComma = false;  // the line being read holds ","
    bool m_lineOther = false;  // ... or ";" or TAB
    bool m_comma = false;      // the lines seen hold ","
    bool m_other = false;
};

}  // namespace quarrytab::detail
