#include "filelist/qt_text.h"

#include <QByteArray>
#include <QDir>

#include "engine/utf8.h"

namespace quarrytab {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // byte b (0x80 to 0xFF) is kept as U+DC00 + b

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at `at`, or 0 when the byte there does not begin one
// (overlong forms, surrogates and values above U+10FFFF are not valid).
std::size_t SequenceLength(std::string_view bytes, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return static_cast<unsigned char>(bytes[at + i]);
    };
    const unsigned char lead = byte(0);
    const std::size_t left = bytes.size() - at;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return left >= 2 && IsContinuation(byte(1)) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (left < 3 || !IsContinuation(byte(1)) || !IsContinuation(byte(2))) {
            return 0;
        }
        if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F)) {
            return 0;
        }
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (left < 4 || !IsContinuation(byte(1)) || !IsContinuation(byte(2)) ||
            !IsContinuation(byte(3))) {
            return 0;
        }
        if ((lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F)) {
            return 0;
        }
        return 4;
    }
    return 0;
}

bool IsEscape(char16_t unit) {
    return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF;
}

}  // namespace

QString FromPathBytes(std::string_view bytes) {
#ifdef _WIN32
    return FromUtf8(bytes);
#else
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t length = SequenceLength(bytes, at);
        if (length == 0) {
            break;
        }
        at += length;
    }
    if (at == bytes.size()) {
        return FromUtf8(bytes);  // valid UTF-8, the usual case
    }
    QString text = FromUtf8(bytes.substr(0, at));
    while (at < bytes.size()) {
        const std::size_t length = SequenceLength(bytes, at);
        if (length == 0) {
            text.append(
                QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[at]))));
            ++at;
        } else {
            text.append(FromUtf8(bytes.substr(at, length)));
            at += length;
        }
    }
    return text;
#endif
}

std::string ToPathBytes(const QString& path) {
#ifdef _WIN32
    return ToUtf8(path);
#else
    const auto hasSurrogate = [&] {
        for (const QChar unit : path) {
            if (unit.isSurrogate()) {
                return true;
            }
        }
        return false;
    };
    if (!hasSurrogate()) {
        return ToUtf8(path);
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(path.size()) * 3);
    const qsizetype size = path.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = path.at(i).unicode();
        if (IsEscape(unit)) {
            bytes += static_cast<char>(unit - kEscapeBase);
            continue;
        }
        char32_t code = unit;
        if (QChar::isHighSurrogate(unit) && i + 1 < size && path.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(unit, path.at(i + 1).unicode());
            ++i;
        }
        // A lone surrogate that is no escape cannot come from a name; it is written in the
        // three-byte form all the same, so nothing is dropped.
        detail::AppendUtf8(bytes, code);
    }
    return bytes;
#endif
}

QString ShownText(const QString& text) {
    qsizetype i = 0;
    const qsizetype size = text.size();
    const auto lone = [&](qsizetype at) {
        const QChar unit = text.at(at);
        if (unit.isHighSurrogate()) {
            return !(at + 1 < size && text.at(at + 1).isLowSurrogate());
        }
        if (unit.isLowSurrogate()) {
            return !(at > 0 && text.at(at - 1).isHighSurrogate());
        }
        return false;
    };
    while (i < size && !lone(i)) {
        ++i;
    }
    if (i == size) {
        return text;
    }
    QString shown = text;
    for (; i < size; ++i) {
        if (lone(i)) {
            shown[i] = QChar::ReplacementCharacter;
        }
    }
    return shown;
}

QString LocalPathOfUrl(const QUrl& url) {
    if (!url.isLocalFile()) {
        return {};
    }
#ifndef _WIN32
    if (url.host().isEmpty()) {
        // The URL's own decoding would turn bytes that are not UTF-8 into replacement
        // characters, so the percent-encoding is undone here, byte for byte.
        const QByteArray bytes =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        return FromPathBytes(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    }
#endif
    return QDir::toNativeSeparators(url.toLocalFile());
}

}  // namespace quarrytab
