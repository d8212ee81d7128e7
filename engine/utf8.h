// Well-formed UTF-8, as a strict reader takes it: no overlong forms, no surrogates, nothing above
// U+10FFFF. One rule for the sniffer's look at a sample and the literal writer's check of a value.
#pragma once

#include <string>

namespace quarrytab::detail {

// What a sequence's first byte asks of the bytes after it.
struct Utf8Lead {
    int need = 0;              // continuation bytes after it; -1: it starts no sequence
    unsigned char low = 0x80;  // the range of the first continuation byte
    unsigned char high = 0xBF;
};

constexpr Utf8Lead Utf8LeadOf(unsigned char byte) {
    if (byte < 0x80) {
        return {0, 0x80, 0xBF};
    }
    if (byte >= 0xC2 && byte <= 0xDF) {
        return {1, 0x80, 0xBF};
    }
    if (byte >= 0xE0 && byte <= 0xEF) {
        return {2, static_cast<unsigned char>(byte == 0xE0 ? 0xA0 : 0x80),
                static_cast<unsigned char>(byte == 0xED ? 0x9F : 0xBF)};
    }
    if (byte >= 0xF0 && byte <= 0xF4) {
        return {3, static_cast<unsigned char>(byte == 0xF0 ? 0x90 : 0x80),
                static_cast<unsigned char>(byte == 0xF4 ? 0x8F : 0xBF)};
    }
    return {-1, 0x80, 0xBF};
}

// Appends the UTF-8 form of a code point (a lone surrogate in the three-byte form, so nothing is
// dropped).
inline void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace quarrytab::detail
