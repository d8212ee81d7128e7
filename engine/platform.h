// The few operating-system services the engine needs, kept in one place so the rest of the code
// is portable: turning a UTF-8 path into a file-system path, reading a file in large blocks, and
// asking whether standard error is a terminal.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace quarrytab {

std::filesystem::path FileSystemPath(std::string_view utf8Path);

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
    bool open(std::string_view utf8Path, std::string& error);
    std::ptrdiff_t read(char* buffer, std::size_t size, std::string& error) override;
    void close();

  private:
    std::FILE* m_file = nullptr;
};

bool StandardErrorIsTerminal();

// Makes standard output binary, so CR LF line ends go out unchanged on every platform.
void SetStandardOutputBinary();

}  // namespace quarrytab
