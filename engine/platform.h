// The few operating-system services the engine needs, kept in one place so the rest of the code
// is portable: turning a path into a file-system path, reading a file in large blocks, and
// asking whether standard error is a terminal.
//
// Paths are byte strings as the platform gives them: a file name's own bytes on POSIX systems,
// whatever they are (not necessarily UTF-8), and UTF-8 on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace quarrytab {

std::filesystem::path FileSystemPath(std::string_view path);

// Where a reader's bytes come from: a file, or memory in tests and fuzzing.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes; returns the count (0 at the end), or -1 with `error` set.
    virtual std::ptrdiff_t read(char* buffer, std::size_t size, std::string& error) = 0;
};

// A file opened for reading bytes, closed when it goes out of scope. Failures are returned as a
// description, never thrown.
class InputFile : public ByteSource {
  public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() override { close(); }

    // Opens the file; on failure returns false and sets `error` to a description.
    bool open(std::string_view path, std::string& error);
    std::ptrdiff_t read(char* buffer, std::size_t size, std::string& error) override;
    void close();

  private:
    std::FILE* m_file = nullptr;
    std::uint64_t m_size = 0;  // the file's size when it was opened
    std::uint64_t m_read = 0;
};

// Standard input as a byte source, read in binary on every platform.
class StandardInput : public ByteSource {
  public:
    StandardInput();
    std::ptrdiff_t read(char* buffer, std::size_t size, std::string& error) override;
};

bool StandardErrorIsTerminal();

// Which of the standard streams the program was started without (`quarrytab-cli - <&-`). Each
// closed one is opened on the null device, so no file the program opens later takes its number
// and is read or written as that stream by mistake. Call it first thing, before anything opens a
// file.
struct ClosedStreams {
    bool input = false;
    bool output = false;
};
ClosedStreams HoldClosedStandardStreams();

// Makes standard output binary, so CR LF line ends go out unchanged on every platform.
void SetStandardOutputBinary();

// A new file in the user's temporary folder for bytes that must wait, opened for reading and
// writing in binary and deleted when closed or when the program ends; null when none can be made.
std::FILE* OpenTemporaryFile();

// Opens a file for writing bytes, created or emptied; null with `error` set when it cannot.
std::FILE* OpenFileForWriting(std::string_view path, std::string& error);

// Creates a new file beside `target`, named as it with a dot and six more characters, opened for
// writing bytes, for what is to replace the target once complete; its path goes to `created`.
// Null with `error` set when none can be made.
std::FILE* CreateFileBeside(std::string_view target, std::string& created, std::string& error);

// Memory for large buffers that are written once from start to end (a results block): where the
// platform has them, in 2 MiB pages, so filling it takes one page fault per 2 MiB rather than per
// 4 KiB. Freed with FreeLarge and the same size; null when none is left.
void* AllocateLarge(std::size_t size);
void FreeLarge(void* memory, std::size_t size);

}  // namespace quarrytab

// ---- Text decoding through the platform's own converter ---------------------------------------
namespace quarrytab {

// The encodings the platform decoder is asked for; names are matched elsewhere.
enum class TextEncoding {
    Utf8,
    Utf16LE,
    Utf16BE,
    Latin1,
    Latin9,
    Windows1250,
    Windows1251,
    Windows1252
};

// Converts text in one encoding to UTF-8 with the platform's converter (iconv where there is one,
// the code-page functions on Windows), in steps that stop before anything it cannot convert, as
// iconv does. Keeps no state between calls beyond what `in` and `out` show.
class TextDecoder {
  public:
    enum class Stop {
        InputUsed,   // all of the input converted
        OutputFull,  // the next character does not fit in the room left
        Invalid,     // `in` is at a sequence that cannot be converted
        Incomplete,  // `in` is at a sequence the rest of the input may complete
    };

    virtual ~TextDecoder() = default;
    // nullptr with `error` set when the platform cannot convert from this encoding.
    static std::unique_ptr<TextDecoder> open(TextEncoding encoding, std::string& error);
    // Converts from [in, inEnd) into [out, outEnd), moving both pointers past what it handled.
    virtual Stop convert(const char*& in, const char* inEnd, char*& out, char* outEnd) = 0;
};

}  // namespace quarrytab
