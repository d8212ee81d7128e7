#include "engine/platform.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quarrytab {

std::filesystem::path FileSystemPath(std::string_view utf8Path) {
    const std::u8string text(utf8Path.begin(), utf8Path.end());
    return std::filesystem::path(text);
}

namespace {
std::string ErrnoText(int error) {
    return error != 0 ? std::string(std::strerror(error)) : std::string("Input/output error");
}
}  // namespace

bool InputFile::open(std::string_view utf8Path, std::string& error) {
    close();
    errno = 0;
    const auto path = FileSystemPath(utf8Path);
#ifdef _WIN32
    m_file = _wfopen(path.c_str(), L"rb");
#else
    m_file = std::fopen(path.c_str(), "rb");
#endif
    if (m_file == nullptr) {
        error = ErrnoText(errno);
        return false;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        close();
        error = std::strerror(EISDIR);
        return false;
    }
    // Reads are made in large blocks, so the stream's own buffer would only add a copy.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    return true;
}

std::ptrdiff_t InputFile::read(char* buffer, std::size_t size, std::string& error) {
    errno = 0;
    const std::size_t count = std::fread(buffer, 1, size, m_file);
    // Bytes that arrived before an error are handed out first; the next call reports the error.
    if (count == 0 && std::ferror(m_file)) {
        error = ErrnoText(errno);
        return -1;
    }
    return static_cast<std::ptrdiff_t>(count);
}

void InputFile::close() {
    if (m_file != nullptr)
        std::fclose(m_file);
    m_file = nullptr;
}

bool StandardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void SetStandardOutputBinary() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

}  // namespace quarrytab
