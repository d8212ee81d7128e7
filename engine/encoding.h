// Reading input in a named encoding: the bytes are converted to UTF-8 on their way to the line
// reader, and what cannot be converted is kept visible as U+FFFD and counted, never dropped.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/platform.h"

namespace quarrytab {

// Reads another ByteSource in a named encoding and hands out its text as UTF-8.
class DecodingSource : public ByteSource {
  public:
    // nullptr with `error` set when the encoding name is not known. Names are matched without
    // regard to case: utf-8, utf-16 (byte order from its mark; without one, little-endian when
    // the first 64 KiB have more zeros in their odd places than in their even ones), utf-16le,
    // utf-16be, windows-1252 (cp1252), windows-1250, windows-1251, iso-8859-1 (latin1),
    // iso-8859-15 (latin9) and a few spellings of each.
    static std::unique_ptr<DecodingSource> create(ByteSource& inner, std::string_view encoding,
                                                  std::string& error);
    DecodingSource(const DecodingSource&) = delete;
    DecodingSource& operator=(const DecodingSource&) = delete;
    ~DecodingSource() override;

    // Any size from 1 up works; a read failure of the inner source is passed on.
    std::ptrdiff_t read(char* buffer, std::size_t size, std::string& error) override;

    // Input units that could not be converted (a byte; two bytes in UTF-16), each written as
    // U+FFFD. An incomplete sequence at the end of the input counts too.
    std::uint64_t invalidCount() const { return m_invalidCount; }
    // True when those units are UTF-16 code units rather than bytes.
    bool countsCodeUnits() const {
        return m_encoding == TextEncoding::Utf16LE || m_encoding == TextEncoding::Utf16BE;
    }
    // The 1-based line numbers, in the decoded text (CR LF, LF and a lone CR each end a line), of
    // the first 10 of them.
    const std::vector<std::uint64_t>& invalidLines() const { return m_invalidLines; }

  private:
    DecodingSource(ByteSource& inner, TextEncoding encoding, bool byteOrderFromMark,
                   std::unique_ptr<TextDecoder> decoder);
    bool decodeMore(std::string& error);
    bool readInner(std::string& error);
    bool chooseByteOrder(std::string& error);
    void convertIn();
    void countLines(const char* from, const char* to);

    ByteSource& m_inner;
    TextEncoding m_encoding;
    bool m_byteOrderFromMark;  // utf-16: the decoder is chosen once the first block is in
    std::unique_ptr<TextDecoder> m_decoder;
    std::vector<char> m_in;
    std::size_t m_inBegin = 0, m_inEnd = 0;
    std::vector<char> m_out;
    std::size_t m_outBegin = 0, m_outEnd = 0;
    bool m_innerDone = false;  // the inner source has reached its end
    bool m_stalled = false;    // the unconverted input ends in an incomplete sequence
    std::uint64_t m_invalidCount = 0;
    std::vector<std::uint64_t> m_invalidLines;
    std::uint64_t m_line = 1;
    bool m_afterCR = false;
};

}  // namespace quarrytab
