// Conversions at the edge between Qt's text and the engine's byte strings and file-system paths.
//
// A path is kept as the platform gives it. On Windows that is UTF-16, which a QString holds as it
// is, and the engine takes it as UTF-8. Elsewhere a file name is any bytes: a QString holds them
// decoded as UTF-8, with each byte that is not part of valid UTF-8 kept as the lone surrogate
// U+DC80 + (byte - 0x80), so the bytes come back unchanged however the name was spelt; the
// engine takes the bytes themselves. Only ShownText turns those escapes into replacement
// characters, for a person to read.
#pragma once

#include <QString>
#include <QUrl>
#include <filesystem>
#include <string>
#include <string_view>

namespace quarrytab {

inline std::string ToUtf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

inline QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The path as the engine takes it: the file name's own bytes (UTF-8 on Windows).
std::string ToPathBytes(const QString& path);

// A path or name from the engine's bytes, every byte kept (see above).
QString FromPathBytes(std::string_view bytes);

// The text a person reads: bytes kept as escapes show as U+FFFD.
QString ShownText(const QString& text);

// The native path of a local file's URL with every byte of its name kept (a percent-encoded byte
// that is not UTF-8 stays that byte); "" when the URL names no local file.
QString LocalPathOfUrl(const QUrl& url);

inline std::filesystem::path ToFileSystemPath(const QString& path) {
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(ToPathBytes(path));
#endif
}

// A name or path as the file system spells it natively (UTF-16 on Windows, bytes elsewhere).
inline QString FromFileSystemText(const std::filesystem::path::string_type& text) {
#ifdef _WIN32
    return QString::fromStdWString(text);
#else
    return FromPathBytes(text);
#endif
}

}  // namespace quarrytab
