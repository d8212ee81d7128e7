#include "engine/paths.h"

#include <filesystem>
#include <system_error>

#include "engine/platform.h"

namespace quarrytab {

std::string GetFileNameFromPath(std::string_view path, PathStyle style) {
    const auto cut = path.rfind(Separator(style));
    if (cut == std::string_view::npos) {
        return std::string(path);
    }
    return std::string(path.substr(cut + 1));
}

std::string RemoveFileExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return std::string(name);
    }
    return std::string(name.substr(0, dot));
}

std::string GetFolderFromPath(std::string_view path, PathStyle style) {
    const auto cut = path.rfind(Separator(style));
    if (cut == std::string_view::npos) {
        return {};
    }
    return std::string(path.substr(0, cut + 1));
}

namespace {

// One left-to-right pass replacing each non-overlapping "\\" by "\".
void AppendHalvingPairs(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            ++i;
        }
    }
}

}  // namespace

std::string FixDoubleBackslashes(std::string_view path, PathStyle style) {
    std::string out;
    out.reserve(path.size());
    if (style == PathStyle::Posix) {
        for (char c : path) {
            if (c == '/' && !out.empty() && out.back() == '/') {
                continue;
            }
            out += c;
        }
        return out;
    }
    if (path.empty() || path.front() != '\\') {
        AppendHalvingPairs(out, path);
        return out;
    }
    const auto rest = path.find_first_not_of('\\');
    out = "\\\\";
    if (rest != std::string_view::npos) {
        AppendHalvingPairs(out, path.substr(rest));
    }
    return out;
}

bool FolderExists(std::string_view path) {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    return std::filesystem::is_directory(FileSystemPath(path), error);
}

bool FileExists(std::string_view path) {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    const auto status = std::filesystem::status(FileSystemPath(path), error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool PathExists(std::string_view path) {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    [[maybe_unused]] const auto time =
        std::filesystem::last_write_time(FileSystemPath(path), error);
    return !error;
}

}  // namespace quarrytab
