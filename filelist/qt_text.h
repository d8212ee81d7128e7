// Conversions at the edge between Qt's text and the engine's UTF-8 byte strings and file-system
// paths.
#pragma once

#include <QString>
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

inline std::filesystem::path ToFileSystemPath(const QString& path) {
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(ToUtf8(path));
#endif
}

// A name or path as the file system spells it natively (UTF-16 on Windows, bytes taken as UTF-8
// elsewhere).
inline QString FromFileSystemText(const std::filesystem::path::string_type& text) {
#ifdef _WIN32
    return QString::fromStdWString(text);
#else
    return FromUtf8(text);
#endif
}

}  // namespace quarrytab
