#include "engine/encoding.h"

#include <algorithm>
#include <cstring>

namespace quarrytab {

namespace {

constexpr std::size_t kInputBlock = 1 << 16;
// UTF-8 is at most three times the input (one byte of windows-1252 can become three).
constexpr std::size_t kOutputBlock = 3 * kInputBlock + 16;
constexpr std::size_t kRecordedLines = 10;
constexpr char kReplacement[] = "\xEF\xBF\xBD";

struct KnownEncoding {
    std::string_view name;
    TextEncoding encoding;
    bool byteOrderFromMark;
};

// UTF-16 without a stated byte order takes it from its mark, or without one from its text.
constexpr KnownEncoding kKnownEncodings[] = {
    {"utf-8", TextEncoding::Utf8, false},
    {"utf8", TextEncoding::Utf8, false},
    {"utf-16", TextEncoding::Utf16BE, true},
    {"utf16", TextEncoding::Utf16BE, true},
    {"utf-16le", TextEncoding::Utf16LE, false},
    {"utf16le", TextEncoding::Utf16LE, false},
    {"utf-16be", TextEncoding::Utf16BE, false},
    {"utf16be", TextEncoding::Utf16BE, false},
    {"windows-1252", TextEncoding::Windows1252, false},
    {"cp1252", TextEncoding::Windows1252, false},
    {"windows-1250", TextEncoding::Windows1250, false},
    {"cp1250", TextEncoding::Windows1250, false},
    {"windows-1251", TextEncoding::Windows1251, false},
    {"cp1251", TextEncoding::Windows1251, false},
    {"iso-8859-1", TextEncoding::Latin1, false},
    {"iso8859-1", TextEncoding::Latin1, false},
    {"iso_8859-1", TextEncoding::Latin1, false},
    {"latin1", TextEncoding::Latin1, false},
    {"latin-1", TextEncoding::Latin1, false},
    {"iso-8859-15", TextEncoding::Latin9, false},
    {"iso8859-15", TextEncoding::Latin9, false},
    {"latin9", TextEncoding::Latin9, false},
    {"latin-9", TextEncoding::Latin9, false},
};

// UTF-16 without a byte-order mark is big-endian by the letter of Unicode, yet the text Windows
// programs write without one is little-endian almost always. The text decides: most characters of
// delimited text are ASCII, whose zero byte comes second in little-endian.
bool LooksLittleEndian(const unsigned char* bytes, std::size_t size) {
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        return true;
    }
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        return false;
    }
    std::size_t zeros[2] = {0, 0};
    for (std::size_t i = 0; i < size; ++i) {
        zeros[i % 2] += bytes[i] == 0 ? 1 : 0;
    }
    return zeros[1] > zeros[0];
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
               };
               return lower(x) == lower(y);
           });
}

}  // namespace

std::unique_ptr<DecodingSource> DecodingSource::create(ByteSource& inner, std::string_view encoding,
                                                       std::string& error) {
    for (const auto& known : kKnownEncodings) {
        if (!SameNameIgnoringCase(known.name, encoding)) {
            continue;
        }
        auto decoder = TextDecoder::open(known.encoding, error);
        if (!decoder) {
            return nullptr;
        }
        return std::unique_ptr<DecodingSource>(
            new DecodingSource(inner, known.encoding, known.byteOrderFromMark, std::move(decoder)));
    }
    error = "unknown encoding '" + std::string(encoding) +
            "' (known: utf-8, utf-16, utf-16le, utf-16be, windows-1252, windows-1250, "
            "windows-1251, iso-8859-1, iso-8859-15)";
    return nullptr;
}

DecodingSource::DecodingSource(ByteSource& inner, TextEncoding encoding, bool byteOrderFromMark,
                               std::unique_ptr<TextDecoder> decoder)
    : m_inner(inner),
      m_encoding(encoding),
      m_byteOrderFromMark(byteOrderFromMark),
      m_decoder(std::move(decoder)),
      m_in(kInputBlock),
      m_out(kOutputBlock) {}

DecodingSource::~DecodingSource() = default;

std::ptrdiff_t DecodingSource::read(char* buffer, std::size_t size, std::string& error) {
    while (m_outBegin == m_outEnd) {
        if (m_innerDone && m_inBegin == m_inEnd) {
            return 0;
        }
        if (!decodeMore(error)) {
            return -1;
        }
    }
    const std::size_t count = std::min(size, m_outEnd - m_outBegin);
    std::memcpy(buffer, m_out.data() + m_outBegin, count);
    m_outBegin += count;
    return static_cast<std::ptrdiff_t>(count);
}

// Decodes the next part of the input into the (empty) output block; it may produce nothing when
// more input is needed first.
bool DecodingSource::decodeMore(std::string& error) {
    m_outBegin = m_outEnd = 0;
    if ((m_inBegin == m_inEnd || m_stalled) && !m_innerDone && !readInner(error)) {
        return false;
    }
    if (m_byteOrderFromMark) {
        // The guess looks at the first block whole, however the reads fall, so the same bytes
        // always decode the same way.
        if (m_inEnd - m_inBegin < kInputBlock && !m_innerDone) {
            m_stalled = true;
            return true;
        }
        if (!chooseByteOrder(error)) {
            return false;
        }
    }
    convertIn();
    return true;
}

// Reads more input after what is left of the last read; false when the read fails.
bool DecodingSource::readInner(std::string& error) {
    // What is left is an incomplete sequence of a few bytes: it moves to the front.
    std::memmove(m_in.data(), m_in.data() + m_inBegin, m_inEnd - m_inBegin);
    m_inEnd -= m_inBegin;
    m_inBegin = 0;
    const auto count = m_inner.read(m_in.data() + m_inEnd, m_in.size() - m_inEnd, error);
    if (count < 0) {
        return false;
    }
    if (count == 0) {
        m_innerDone = true;
    }
    m_inEnd += static_cast<std::size_t>(count);
    m_stalled = false;
    return true;
}

// UTF-16 without a stated byte order: the first block (or the whole input when shorter) decides
// it, once.
bool DecodingSource::chooseByteOrder(std::string& error) {
    m_byteOrderFromMark = false;
    const auto* start = reinterpret_cast<const unsigned char*>(m_in.data() + m_inBegin);
    if (LooksLittleEndian(start, m_inEnd - m_inBegin)) {
        m_decoder = TextDecoder::open(TextEncoding::Utf16LE, error);
        if (!m_decoder) {
            return false;
        }
        m_encoding = TextEncoding::Utf16LE;
    }
    return true;
}

// Converts the input read into the output room, each unconvertible unit as U+FFFD, noting the
// lines of the first few.
void DecodingSource::convertIn() {
    // An unconvertible UTF-16 code unit is two bytes; anywhere else one byte is skipped.
    const std::size_t unit =
        m_encoding == TextEncoding::Utf16LE || m_encoding == TextEncoding::Utf16BE ? 2 : 1;
    const char* in = m_in.data() + m_inBegin;
    const char* const inEnd = m_in.data() + m_inEnd;
    char* const outStart = m_out.data();
    char* out = outStart;
    char* const outEnd = outStart + m_out.size();
    const char* counted = outStart;  // lines are counted up to here
    while (in != inEnd) {
        const auto stop = m_decoder->convert(in, inEnd, out, outEnd);
        if (stop == TextDecoder::Stop::InputUsed || stop == TextDecoder::Stop::OutputFull) {
            break;
        }
        if (stop == TextDecoder::Stop::Incomplete && !m_innerDone) {
            m_stalled = true;
            break;
        }
        if (outEnd - out < 3) {
            break;
        }
        // An invalid sequence, or one the input ended in the middle of.
        if (m_invalidLines.size() < kRecordedLines) {
            countLines(counted, out);
            counted = out;
            m_invalidLines.push_back(m_line);
        }
        ++m_invalidCount;
        std::memcpy(out, kReplacement, 3);
        out += 3;
        in += std::min<std::size_t>(unit, static_cast<std::size_t>(inEnd - in));
    }
    if (m_invalidLines.size() < kRecordedLines) {
        countLines(counted, out);
    }
    m_inBegin = static_cast<std::size_t>(in - m_in.data());
    m_outEnd = static_cast<std::size_t>(out - outStart);
}

// Line numbers are needed only for the first few unconvertible units; once those are recorded
// the counting stops. Line breaks are found with memchr, which is far quicker than a look at every
// byte: a CR ends a line, an LF does unless it follows a CR.
void DecodingSource::countLines(const char* from, const char* to) {
    if (from == to) {
        return;
    }
    if (m_afterCR && *from == '\n') {
        ++from;  // the LF of a CR LF that the previous block ended in the middle of
    }
    m_afterCR = false;
    for (const char* p = from; p != to;) {
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', to - p));
        const char* stop = lf != nullptr ? lf : to;
        for (const char* cr = p; (cr = static_cast<const char*>(std::memchr(cr, '\r', stop - cr)));
             ++cr) {
            ++m_line;
        }
        if (lf == nullptr) {
            m_afterCR = to[-1] == '\r';
            break;
        }
        if (lf == from || lf[-1] != '\r') {
            ++m_line;
        }
        p = lf + 1;
    }
}

}  // namespace quarrytab
