#include "cli/rejects_file.h"

#include <QString>
#include <algorithm>
#include <cstring>

namespace quarrytab {

namespace {

constexpr char kComment = '#';

// A comment line holds no line break of its own (a file name may).
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, '?');
    return text;
}

}  // namespace

RejectsFile::RejectsFile(const std::string& path)
    : m_writer(QString::fromLocal8Bit(path.c_str())) {}

void RejectsFile::begin(std::uint64_t line, std::string_view why) {
    ++m_records;
    m_note = OneLine(std::string(1, kComment) + " " + m_where + " line " + std::to_string(line) +
                     ": " + std::string(why));
    m_noteWritten = false;
}

void RejectsFile::bytes(std::string_view piece) {
    if (piece.empty()) {
        return;
    }
    if (!m_noteWritten) {
        putNote(piece.front() == kComment);
    }
    put(piece);
}

void RejectsFile::end() {
    if (!m_noteWritten) {
        putNote(false);
    }
    // A record that ended the input without a line end gets one, so the next comment line
    // starts a line of its own.
    if (m_last != '\n' && m_last != '\r') {
        put("\n");
    }
}

void RejectsFile::inputLeftOut(std::string_view why) {
    put(OneLine(std::string(1, kComment) + " " + m_where + ": " + std::string(why)) + "\n");
}

void RejectsFile::putNote(bool beginsWithComment) {
    m_noteWritten = true;
    if (beginsWithComment) {
        m_note += "; the record begins with '#' itself, so load it without --comment '#'";
    }
    put(m_note + "\n");
}

void RejectsFile::put(std::string_view text) {
    if (text.empty()) {
        return;
    }
    std::memcpy(m_writer.reserve(text.size()), text.data(), text.size());
    // Never a statement's end: that would add CR LF.
    m_writer.commit(text.size(), false);
    m_last = text.back();
}

}  // namespace quarrytab
