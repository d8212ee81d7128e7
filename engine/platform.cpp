#include "engine/platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quarrytab {

std::filesystem::path FileSystemPath(std::string_view path) {
#ifdef _WIN32
    const std::u8string text(path.begin(), path.end());
    return std::filesystem::path(text);
#else
    // A file name is any bytes here; they are handed on unchanged, never decoded.
    return std::filesystem::path(std::string(path));
#endif
}

namespace {
std::string ErrnoText(int error) {
    return error != 0 ? std::string(std::strerror(error)) : std::string("Input/output error");
}

// Opens `path` for reading, or says why not in `error`. Only a regular file is read: a pipe,
// socket or device could block the open or a read for ever (a pipe nobody writes to), so it is
// refused before anything opens it.
std::FILE* OpenRegularFile(const std::filesystem::path& fsPath, std::string_view path,
                           std::string& error) {
    const auto notRegular = [&](bool isDirectory) -> std::FILE* {
        error = isDirectory ? std::string(std::strerror(EISDIR))
                            : std::string(path) + " is not a regular file";
        return nullptr;
    };
#ifdef _WIN32
    std::error_code ec;
    const auto status = std::filesystem::status(fsPath, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        return notRegular(std::filesystem::is_directory(status));
    }
    std::FILE* file = _wfopen(fsPath.c_str(), L"rb");
    if (file == nullptr) {
        error = ErrnoText(errno);
    }
    return file;
#else
    struct stat info {};
    if (::stat(fsPath.c_str(), &info) != 0) {
        error = ErrnoText(errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        return notRegular(S_ISDIR(info.st_mode));
    }
    // Opened without waiting, and looked at once more through the open descriptor, in case the
    // name was given to something else since it was looked at.
    const int descriptor = ::open(fsPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        error = ErrnoText(errno);
        return nullptr;
    }
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        const bool isDirectory = S_ISDIR(info.st_mode);
        ::close(descriptor);
        return notRegular(isDirectory);
    }
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags != -1) {
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    }
    std::FILE* file = ::fdopen(descriptor, "rb");
    if (file == nullptr) {
        error = ErrnoText(errno);
        ::close(descriptor);
    }
    return file;
#endif
}
}  // namespace

bool InputFile::open(std::string_view path, std::string& error) {
    close();
    errno = 0;
    const auto fsPath = FileSystemPath(path);
    m_file = OpenRegularFile(fsPath, path, error);
    if (m_file == nullptr) {
        return false;
    }
    // Reads are made in large blocks, so the stream's own buffer would only add a copy.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    std::error_code sizeError;
    const auto size = std::filesystem::file_size(fsPath, sizeError);
    m_size = sizeError ? 0 : size;
    m_read = 0;
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
    m_read += count;
    // A file cut short while it is read (rewritten by another program) ends early: its records
    // past that point would be missing without a word.
    if (count == 0 && m_read < m_size) {
        error = "the file became shorter while it was read (" + std::to_string(m_read) + " of " +
                std::to_string(m_size) + " bytes read)";
        return -1;
    }
    return static_cast<std::ptrdiff_t>(count);
}

void InputFile::close() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
    m_file = nullptr;
}

StandardInput::StandardInput() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
}

std::ptrdiff_t StandardInput::read(char* buffer, std::size_t size, std::string& error) {
    errno = 0;
    const std::size_t count = std::fread(buffer, 1, size, stdin);
    if (count == 0 && std::ferror(stdin)) {
        error = ErrnoText(errno);
        return -1;
    }
    return static_cast<std::ptrdiff_t>(count);
}

bool StandardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

ClosedStreams HoldClosedStandardStreams() {
    ClosedStreams closed;
#ifndef _WIN32
    // The lowest free number is taken by open(), so each closed stream gets its own again.
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        const int held = ::open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (held != stream && held >= 0) {
            ::close(held);
        }
        closed.input |= stream == STDIN_FILENO;
        closed.output |= stream == STDOUT_FILENO;
    }
#endif
    return closed;
}

void SetStandardOutputBinary() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

}  // namespace quarrytab

// ---- Text decoding through the platform's own converter ---------------------------------------
// iconv where there is one; on Windows the code-page functions, with the byte-order work for
// UTF-16 (which they do not take as a code page) done here.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <iconv.h>
#endif
#include <algorithm>
#include <climits>

namespace quarrytab {

namespace {

#ifndef _WIN32

const char* IconvName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return "UTF-8";
        case TextEncoding::Utf16LE:
            return "UTF-16LE";
        case TextEncoding::Utf16BE:
            return "UTF-16BE";
        case TextEncoding::Latin1:
            return "ISO-8859-1";
        case TextEncoding::Latin9:
            return "ISO-8859-15";
        case TextEncoding::Windows1250:
            return "WINDOWS-1250";
        case TextEncoding::Windows1251:
            return "WINDOWS-1251";
        case TextEncoding::Windows1252:
            return "WINDOWS-1252";
    }
    return "";
}

class IconvDecoder : public TextDecoder {
  public:
    IconvDecoder(iconv_t descriptor, bool utf8) : m_descriptor(descriptor), m_utf8(utf8) {}
    IconvDecoder(const IconvDecoder&) = delete;
    IconvDecoder& operator=(const IconvDecoder&) = delete;
    ~IconvDecoder() override { iconv_close(m_descriptor); }

    Stop convert(const char*& in, const char* inEnd, char*& out, char* outEnd) override {
        const char* const inStart = in;
        char* const outStart = out;
        // iconv takes a non-const input pointer but never writes through it.
        char* from = const_cast<char*>(in);
        std::size_t fromLeft = static_cast<std::size_t>(inEnd - in);
        std::size_t toLeft = static_cast<std::size_t>(outEnd - out);
        errno = 0;
        const std::size_t result = iconv(m_descriptor, &from, &fromLeft, &out, &toLeft);
        const int error = errno;
        in = from;
        if (m_utf8) {
            // glibc also takes the old forms of UTF-8 for values past U+10FFFF (lead bytes F4 90
            // and up, five and six bytes long), which Unicode and every database refuse. What it
            // passed on is the input unchanged, so such a form is found in the output at the
            // same place as in the input.
            const std::size_t at = BeyondUnicode(outStart, out);
            if (at != static_cast<std::size_t>(out - outStart)) {
                in = inStart + at;
                out = outStart + at;
                return Stop::Invalid;
            }
        }
        if (result != static_cast<std::size_t>(-1)) {
            return Stop::InputUsed;
        }
        switch (error) {
            case E2BIG:
                return Stop::OutputFull;
            case EINVAL:
                return Stop::Incomplete;
            default:
                return Stop::Invalid;
        }
    }

  private:
    static std::size_t BeyondUnicode(const char* begin, const char* end) {
        for (const char* p = begin; p != end; ++p) {
            const auto byte = static_cast<unsigned char>(*p);
            if (byte >= 0xF5 ||
                (byte == 0xF4 && p + 1 != end && static_cast<unsigned char>(p[1]) >= 0x90)) {
                return static_cast<std::size_t>(p - begin);
            }
        }
        return static_cast<std::size_t>(end - begin);
    }

    iconv_t m_descriptor;
    bool m_utf8;
};

#else

// Stops like iconv does. Input is taken in pieces whose UTF-8 surely fits the room left, so a
// piece never has to be taken back; under 4 bytes of room count as full. (std::min) in
// parentheses stays clear of the min macro of a <windows.h> included without NOMINMAX.
class WindowsDecoder : public TextDecoder {
  public:
    explicit WindowsDecoder(TextEncoding encoding) : m_encoding(encoding) {}

    Stop convert(const char*& in, const char* inEnd, char*& out, char* outEnd) override {
        while (in != inEnd) {
            const std::size_t room = static_cast<std::size_t>(outEnd - out);
            if (room < 4)
                return Stop::OutputFull;
            const std::size_t available = static_cast<std::size_t>(inEnd - in);
            // The most UTF-8 one input byte becomes: 3 (one byte, a character up to U+FFFF),
            // 1.5 (UTF-16: two bytes, up to 3), 1 (UTF-8 stays as it is).
            const std::size_t perByte = IsUtf16() ? 2 : m_encoding == TextEncoding::Utf8 ? 1 : 3;
            const std::size_t piece = (std::min)({available, room / perByte, kWide});
            const bool pieceEndsInput = piece == available;
            std::size_t used = 0;  // input bytes taken into m_wide
            int wideCount = 0;
            Stop stop = Stop::InputUsed;  // why the piece ended before `piece` bytes, if it did
            if (IsUtf16())
                stop = WideFromUtf16(in, piece, pieceEndsInput, used, wideCount);
            else if (m_encoding == TextEncoding::Utf8)
                stop = WideFromUtf8(in, piece, pieceEndsInput, used, wideCount);
            else
                stop = WideFromSingleByte(in, piece, used, wideCount);
            if (wideCount > 0) {
                const int written = WideCharToMultiByte(
                    CP_UTF8, 0, m_wide, wideCount, out,
                    static_cast<int>((std::min<std::size_t>)(room, INT_MAX)), nullptr, nullptr);
                if (written <= 0)
                    return Stop::Invalid;  // cannot happen for checked UTF-16; never loses bytes
                out += written;
                in += used;
            }
            if (stop != Stop::InputUsed)
                return stop;
            if (used == 0)
                return Stop::OutputFull;  // the room holds no whole character of this piece
        }
        return Stop::InputUsed;
    }

  private:
    static constexpr std::size_t kWide = 16384;

    bool IsUtf16() const {
        return m_encoding == TextEncoding::Utf16LE || m_encoding == TextEncoding::Utf16BE;
    }

    UINT CodePage() const {
        switch (m_encoding) {
            case TextEncoding::Latin1:
                return 28591;
            case TextEncoding::Latin9:
                return 28605;
            case TextEncoding::Windows1250:
                return 1250;
            case TextEncoding::Windows1251:
                return 1251;
            default:
                return 1252;
        }
    }

    // One byte, one character. Windows maps a byte a windows-125x code page leaves undefined to
    // the C1 control of the same value; those code pages define no C1 control, so such a result
    // (or the default character) is the undefined byte that iconv refuses.
    Stop WideFromSingleByte(const char* in, std::size_t piece, std::size_t& used, int& wideCount) {
        const int count = MultiByteToWideChar(CodePage(), 0, in, static_cast<int>(piece), m_wide,
                                              static_cast<int>(kWide));
        if (count != static_cast<int>(piece))
            return Stop::Invalid;
        const bool c1Undefined =
            m_encoding != TextEncoding::Latin1 && m_encoding != TextEncoding::Latin9;
        for (std::size_t i = 0; i < piece; ++i) {
            const wchar_t c = m_wide[i];
            if (c == 0xFFFD || (c1Undefined && c >= 0x80 && c <= 0x9F)) {
                used = i;
                wideCount = static_cast<int>(i);
                return Stop::Invalid;
            }
        }
        used = piece;
        wideCount = static_cast<int>(piece);
        return Stop::InputUsed;
    }

    Stop WideFromUtf16(const char* in, std::size_t piece, bool pieceEndsInput, std::size_t& used,
                       int& wideCount) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(in);
        const bool big = m_encoding == TextEncoding::Utf16BE;
        const std::size_t units = piece / 2;
        auto unit = [&](std::size_t i) -> wchar_t {
            const unsigned first = bytes[2 * i], second = bytes[2 * i + 1];
            return static_cast<wchar_t>(big ? (first << 8 | second) : (second << 8 | first));
        };
        std::size_t i = 0;
        Stop stop = Stop::InputUsed;
        while (i < units) {
            const wchar_t c = unit(i);
            if (c >= 0xDC00 && c <= 0xDFFF) {
                stop = Stop::Invalid;  // a low surrogate without its high one
                break;
            }
            if (c >= 0xD800 && c <= 0xDBFF) {
                if (i + 1 == units) {
                    // The pair's second half is beyond this piece: at the input's end it may
                    // still come, otherwise the next piece starts with the pair.
                    if (pieceEndsInput && piece - 2 * i < 4)
                        stop = Stop::Incomplete;
                    break;
                }
                const wchar_t low = unit(i + 1);
                if (low < 0xDC00 || low > 0xDFFF) {
                    stop = Stop::Invalid;
                    break;
                }
                m_wide[i] = c;
                m_wide[i + 1] = low;
                i += 2;
                continue;
            }
            m_wide[i] = c;
            ++i;
        }
        if (stop == Stop::InputUsed && i == units && pieceEndsInput && piece % 2 != 0)
            stop = Stop::Incomplete;  // half a code unit at the end
        used = 2 * i;
        wideCount = static_cast<int>(i);
        return stop;
    }

    // Whole sequences are found by their lead byte; whether a sequence is valid UTF-8 (no
    // overlong forms, surrogates or values past U+10FFFF) is left to the converter.
    Stop WideFromUtf8(const char* in, std::size_t piece, bool pieceEndsInput, std::size_t& used,
                      int& wideCount) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(in);
        std::size_t end = 0;  // the whole sequences of the piece end here
        Stop stop = Stop::InputUsed;
        while (end < piece) {
            const unsigned lead = bytes[end];
            const std::size_t length = lead < 0x80 ? 1
                                       : (lead & 0xE0) == 0xC0 ? 2
                                       : (lead & 0xF0) == 0xE0 ? 3
                                       : (lead & 0xF8) == 0xF0 ? 4
                                                               : 0;
            if (length == 0) {
                stop = Stop::Invalid;
                break;
            }
            std::size_t have = 1;
            while (have < length && end + have < piece && (bytes[end + have] & 0xC0) == 0x80)
                ++have;
            if (have < length) {
                if (end + have < piece)
                    stop = Stop::Invalid;  // a byte that cannot continue the sequence
                else if (pieceEndsInput)
                    stop = Stop::Incomplete;
                break;  // otherwise the next piece starts with this sequence
            }
            end += length;
        }
        used = 0;
        wideCount = 0;
        if (end > 0 && !ConvertUtf8(in, end, wideCount)) {
            // Some sequence in the run is invalid: take the run one sequence at a time to find it.
            std::size_t at = 0;
            while (at < end) {
                const unsigned lead = bytes[at];
                const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
                int count = 0;
                if (!ConvertUtf8(in + at, length, count))
                    break;
                at += length;
            }
            end = at;
            stop = Stop::Invalid;
            if (end > 0 && !ConvertUtf8(in, end, wideCount))
                return Stop::Invalid;
        }
        used = end;
        return stop;
    }

    bool ConvertUtf8(const char* in, std::size_t size, int& wideCount) {
        wideCount = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in, static_cast<int>(size),
                                        m_wide, static_cast<int>(kWide));
        return wideCount > 0;
    }

    TextEncoding m_encoding;
    wchar_t m_wide[kWide];
};

#endif

}  // namespace

std::unique_ptr<TextDecoder> TextDecoder::open(TextEncoding encoding, std::string& error) {
#ifdef _WIN32
    (void)error;
    return std::make_unique<WindowsDecoder>(encoding);
#else
    const char* name = IconvName(encoding);
    const iconv_t descriptor = iconv_open("UTF-8", name);
    if (descriptor == reinterpret_cast<iconv_t>(-1)) {
        error = std::string("this system cannot convert from ") + name;
        return nullptr;
    }
    return std::make_unique<IconvDecoder>(descriptor, encoding == TextEncoding::Utf8);
#endif
}

}  // namespace quarrytab

// ---- Temporary files ---------------------------------------------------------------------------
#ifndef _WIN32
#include <cstdlib>
#include <random>
#endif

namespace quarrytab {

std::FILE* OpenTemporaryFile() {
#ifdef _WIN32
    // The C library's tmpfile() would create it in the root folder of the drive.
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"qtb", 0, name) == 0)
        return nullptr;
    std::FILE* file = nullptr;
    if (_wfopen_s(&file, name, L"w+bTD") != 0) {
        DeleteFileW(name);
        return nullptr;
    }
    return file;
#else
    // The folder TMPDIR names, as users expect; the file has no name left once it is open.
    const char* folder = std::getenv("TMPDIR");
    std::string name =
        std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/quarrytab-XXXXXX";
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        return std::tmpfile();
    }
    unlink(name.c_str());
    std::FILE* file = fdopen(descriptor, "w+b");
    if (file == nullptr) {
        ::close(descriptor);
    }
    return file;
#endif
}

std::FILE* OpenFileForWriting(std::string_view path, std::string& error) {
    errno = 0;
#ifdef _WIN32
    std::FILE* file = nullptr;
    if (_wfopen_s(&file, FileSystemPath(path).c_str(), L"wb") != 0) {
        file = nullptr;
    }
#else
    std::FILE* file = std::fopen(std::string(path).c_str(), "wb");
#endif
    if (file == nullptr) {
        error = ErrnoText(errno);
    }
    return file;
}

std::FILE* CreateFileBeside(std::string_view target, std::string& created, std::string& error) {
    static constexpr char kCharacters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        created = std::string(target) + ".";
        for (int i = 0; i < 6; ++i) {
            created += kCharacters[random() % 36];
        }
        errno = 0;
        // Only a file that does not exist yet is created; one of that name is left alone.
#ifdef _WIN32
        std::FILE* file = nullptr;
        if (_wfopen_s(&file, FileSystemPath(created).c_str(), L"wbx") == 0) {
            return file;
        }
#else
        const int descriptor =
            ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            std::FILE* file = fdopen(descriptor, "wb");
            if (file != nullptr) {
                return file;
            }
            const int failure = errno;
            ::close(descriptor);
            unlink(created.c_str());
            errno = failure;
            break;
        }
#endif
        if (errno != EEXIST) {
            break;
        }
    }
    error = ErrnoText(errno);
    created.clear();
    return nullptr;
}

}  // namespace quarrytab

// ---- Large buffers ------------------------------------------------------------------------------
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quarrytab {

namespace {
constexpr std::size_t kLargePage = std::size_t{2} << 20;
}  // namespace

void* AllocateLarge(std::size_t size) {
#if defined(__linux__)
    if (size >= kLargePage) {
        // Aligned to and rounded up to the large page, and asked to be backed by such pages
        // (transparent huge pages in "madvise" mode, Debian's default).
        const std::size_t rounded = (size + kLargePage - 1) / kLargePage * kLargePage;
        void* memory = std::aligned_alloc(kLargePage, rounded);
        if (memory != nullptr) {
            madvise(memory, rounded, MADV_HUGEPAGE);
        }
        return memory;
    }
#endif
    return std::malloc(size);
}

void FreeLarge(void* memory, std::size_t) {
    std::free(memory);
}

}  // namespace quarrytab
