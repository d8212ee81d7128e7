// What every path that reads a file's bytes decides the same way: where a line ends, the UTF-8
// byte-order mark, how much room to ask of a sink, and the classifier that looks at sixty-four
// bytes at once. Not part of the engine's interface.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QUARRYTAB_BLOCK_SCAN 1
#endif

// Hooks a block loop calls once per few bytes: inlined whatever the compiler's estimate.
#if defined(_MSC_VER)
#define QUARRYTAB_HOT __forceinline
#else
#define QUARRYTAB_HOT [[gnu::always_inline]] inline
#endif

namespace quarrytab::detail {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Room asked of a sink at a time.
inline constexpr std::size_t kRoom = 64 << 10;

inline bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// The length of the line break at `p`, which is CR or LF: 2 for CR LF, 1 for a lone CR or LF,
// and 0 for a CR that ends bytes that are not the last, as it may be the first half of CR LF.
inline std::size_t LineBreakLength(const char* p, const char* end, bool last) {
    if (*p != '\r') {
        return 1;
    }
    if (p + 1 == end) {
        return last ? 1 : 0;
    }
    return p[1] == '\n' ? 2 : 1;
}

// The first CR or LF at or after `from`, or npos; two quick searches rather than one byte by
// byte.
inline std::size_t FindLineBreak(std::string_view bytes, std::size_t from) {
    const auto lf = bytes.find('\n', from);
    const auto cr = bytes.substr(0, lf).find('\r', from);
    return cr != std::string_view::npos ? cr : lf;
}

// Where the line that goes on at `from` ends, past its line break; `found` is false when the
// bytes hold no line break from there, or end in a CR that may be the first half of CR LF
// (`next` is then where to look again once more bytes are read).
struct LineEnd {
    bool found;
    std::size_t next;
};
inline LineEnd NextLineEnd(std::string_view bytes, std::size_t from, bool last) {
    const auto cut = FindLineBreak(bytes, from);
    if (cut == std::string_view::npos) {
        return {false, bytes.size()};
    }
    const auto length = LineBreakLength(bytes.data() + cut, bytes.data() + bytes.size(), last);
    return length == 0 ? LineEnd{false, cut} : LineEnd{true, cut + length};
}

// Turns the block scans (sixty-four bytes at a time) off, so that every rule is also checked
// on the byte-at-a-time path alone. For tests; the output is the same either way.
inline std::atomic<bool> g_blockScan{true};
inline bool BlockScan() {
    return g_blockScan.load(std::memory_order_relaxed);
}
// The quoted fields a file shows before the block scans take quoted values too; 0 in tests, so
// that short inputs take them from the first.
inline std::atomic<std::uint64_t> g_quotedBeforeBlocks{64};

#if QUARRYTAB_BLOCK_SCAN
// Marks the bytes a scan must look at: the delimiter, the SQL literal's quote, CR and LF always;
// with `escapes` NUL, backslash and Ctrl-Z too; with `highBytes` every byte from 0x80.
class BlockClassifier {
  public:
    // `fieldQuote` is marked too by block<true> (the quote around CSV fields).
    BlockClassifier(char delimiter, char quote, bool escapes, bool highBytes, char fieldQuote = '"')
        : m_delimiters(_mm_set1_epi8(delimiter)),
          m_quotes(_mm_set1_epi8(quote)),
          m_fieldQuotes(_mm_set1_epi8(fieldQuote)),
          m_escapes(escapes),
          m_highBytes(highBytes) {}

    // One bit for each of the sixteen bytes at `at`, set for a byte to look at.
    template <bool FieldQuote = false>
    QUARRYTAB_HOT std::uint64_t sixteen(const char* at) const {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        __m128i found = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(block, m_delimiters), _mm_cmpeq_epi8(block, m_quotes)),
            _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\r')),
                         _mm_cmpeq_epi8(block, _mm_set1_epi8('\n'))));
        if constexpr (FieldQuote) {
            found = _mm_or_si128(found, _mm_cmpeq_epi8(block, m_fieldQuotes));
        }
        if (m_escapes) {
            found = _mm_or_si128(
                found, _mm_or_si128(_mm_cmpeq_epi8(block, _mm_setzero_si128()),
                                    _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\\')),
                                                 _mm_cmpeq_epi8(block, _mm_set1_epi8('\x1A')))));
        }
        auto bits = static_cast<unsigned>(_mm_movemask_epi8(found));
        if (m_highBytes) {
            bits |= static_cast<unsigned>(_mm_movemask_epi8(block));
        }
        return static_cast<std::uint64_t>(bits);
    }

    // The same for the sixty-four bytes at `at`. Both always inlined: with several tokenizers in
    // one program (handlers in front of the statement assembler) the compiler would otherwise
    // call them from the block loop.
    template <bool FieldQuote = false>
    QUARRYTAB_HOT std::uint64_t block(const char* at) const {
        return sixteen<FieldQuote>(at) | sixteen<FieldQuote>(at + 16) << 16 |
               sixteen<FieldQuote>(at + 32) << 32 | sixteen<FieldQuote>(at + 48) << 48;
    }

  private:
    __m128i m_delimiters;
    __m128i m_quotes;
    __m128i m_fieldQuotes;
    bool m_escapes;
    bool m_highBytes;
};

// Sixteen bytes copied with one load and store; a run shorter than that overwrites bytes past
// it that are written again next.
inline void Copy16(char* to, const char* from) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
}
#endif

}  // namespace quarrytab::detail
