// Fuzzes the input decoder: any bytes in any of its encodings, handed over and read back in
// pieces of any size, give the same text as when read whole; that text is valid UTF-8, and every
// unconvertible unit is in it as U+FFFD on the line reported for it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/encoding.h"

namespace {

class ChunkedSource : public quarrytab::ByteSource {
  public:
    ChunkedSource(std::string_view bytes, std::size_t chunk) : m_bytes(bytes), m_chunk(chunk) {}
    std::ptrdiff_t read(char* buffer, std::size_t size, std::string&) override {
        const std::size_t count = std::min({size, m_chunk, m_bytes.size()});
        std::copy_n(m_bytes.data(), count, buffer);
        m_bytes.remove_prefix(count);
        return static_cast<std::ptrdiff_t>(count);
    }

  private:
    std::string_view m_bytes;
    std::size_t m_chunk;
};

struct Decoded {
    std::string text;
    std::uint64_t invalidCount = 0;
    std::vector<std::uint64_t> invalidLines;
};

Decoded Decode(std::string_view bytes, const char* encoding, std::size_t chunk,
               std::size_t readSize) {
    ChunkedSource inner(bytes, chunk);
    std::string error;
    auto source = quarrytab::DecodingSource::create(inner, encoding, error);
    if (!source)
        std::abort();
    Decoded decoded;
    std::vector<char> buffer(readSize);
    for (;;) {
        const auto count = source->read(buffer.data(), buffer.size(), error);
        if (count < 0 || static_cast<std::size_t>(count) > readSize)
            std::abort();
        if (count == 0)
            break;
        decoded.text.append(buffer.data(), static_cast<std::size_t>(count));
    }
    decoded.invalidCount = source->invalidCount();
    decoded.invalidLines = source->invalidLines();
    return decoded;
}

// Well-formed UTF-8 as Unicode defines it: shortest forms, no surrogates, nothing past U+10FFFF.
bool ValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80   ? 1
                             : lead < 0xC2 ? 0
                             : lead < 0xE0 ? 2
                             : lead < 0xF0 ? 3
                             : lead < 0xF5 ? 4
                                           : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        const auto second = static_cast<unsigned char>(text[i + 1 < text.size() ? i + 1 : i]);
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
            (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return false;
        i += length;
    }
    return true;
}

// The line (CR LF, LF and a lone CR each end one) of every U+FFFD in the text.
std::vector<std::uint64_t> ReplacementLines(std::string_view text) {
    std::vector<std::uint64_t> lines;
    std::uint64_t line = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            ++line;
        } else if (text.compare(i, 3, "\xEF\xBF\xBD") == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kEncodings[] = {"utf-8",        "utf-16",       "utf-16le",
                                             "utf-16be",     "windows-1252", "windows-1250",
                                             "windows-1251", "latin1",       "latin9"};
    constexpr std::size_t kCount = sizeof kEncodings / sizeof kEncodings[0];
    if (size < 2)
        return 0;
    const char* encoding = kEncodings[data[0] % kCount];
    const std::size_t chunk = 1 + data[1] % 7;
    const std::size_t readSize = 1 + data[1] / 7 % 5;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);

    const Decoded whole = Decode(bytes, encoding, bytes.size() + 1, 1 << 16);
    const Decoded pieces = Decode(bytes, encoding, chunk, readSize);
    if (pieces.text != whole.text || pieces.invalidCount != whole.invalidCount ||
        pieces.invalidLines != whole.invalidLines)
        std::abort();
    if (!ValidUtf8(whole.text))
        std::abort();
    if (std::string_view(encoding).find("latin") == 0 && whole.invalidCount != 0)
        std::abort();  // every byte has a character
    // Each unconvertible unit is one U+FFFD; the input may hold U+FFFD of its own as well.
    const auto replacements = ReplacementLines(whole.text);
    if (whole.invalidCount > replacements.size() || whole.invalidCount > bytes.size() ||
        whole.invalidLines.size() != std::min<std::uint64_t>(whole.invalidCount, 10))
        std::abort();
    if (!std::includes(replacements.begin(), replacements.end(), whole.invalidLines.begin(),
                       whole.invalidLines.end()))
        std::abort();
    return 0;
}
