// Where the command-line converter's statements go: standard output, or a file that is replaced
// only when every byte has been written, so a failed run never leaves half an output behind.
// A target that is not a regular file (a device, a named pipe) is written directly: replacing it
// would destroy it. The file handling is the window's own save, so both behave alike.
#pragma once

#include <QFileDevice>
#include <QString>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "engine/statements.h"

namespace quarrytab {

class OutputWriter : public StatementSink {
  public:
    // Writes to a new version of `path`, which replaces the old one on finish(); an empty path
    // means standard output.
    explicit OutputWriter(const QString& path = {});
    OutputWriter(const OutputWriter&) = delete;
    OutputWriter& operator=(const OutputWriter&) = delete;
    ~OutputWriter() override;

    bool open(QString& error);
    // Each statement followed by CR LF: the bytes the window saves as its results file.
    void statement(std::string_view text) override;
    // Statements are built straight into the output buffer when they fit.
    char* reserve(std::size_t size) override;
    void commit(std::size_t size) override;
    // Flushes everything; for a file, replaces the target. False with `error` set on failure.
    bool finish(QString& error);
    // Drops a file's new version; the target stays as it was.
    void discard();

    bool failed() const { return m_failed; }

  private:
    void flush();
    void write(std::string_view bytes);

    std::unique_ptr<QFileDevice> m_file;  // a QSaveFile, or a QFile for a special file
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_size = 0;  // bytes in the buffer
    bool m_failed = false;
    QString m_error;
};

}  // namespace quarrytab
