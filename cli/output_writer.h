// Where the command-line converter's statements go: standard output, or a file that is replaced
// only when every byte has been written, so a failed run never leaves half an output behind.
// A target that is not a regular file (a device, a named pipe) is written directly: replacing it
// would destroy it. The file handling is the window's own save, so both behave alike.
#pragma once

#include <QFileDevice>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/error_trap.h"
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

    // Opens the target and starts the thread that writes to it; throws a Failure when the target
    // cannot be opened.
    void open();
    // Each statement followed by CR LF: the bytes the window saves as its results file.
    void statement(std::string_view text) override;
    // Statements are built straight into the output buffer, and go out piece by piece.
    char* reserve(std::size_t size) override;
    void commit(std::size_t size, bool complete = true) override;
    // Flushes everything; for a file, replaces the target. Throws the Failure of the first write
    // that failed (a file's target then stays as it was).
    void finish();
    // Drops a file's new version; the target stays as it was.
    void discard();

    bool failed() const { return m_failed.load(std::memory_order_acquire); }

  private:
    // Bytes on their way out: statements are written into one block while a second thread
    // writes the blocks filled before it, so converting and writing share the two cores.
    struct Block {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;  // grown only for a single piece larger than it
        std::size_t size = 0;
    };

    void flush();
    void drain();
    void stop();
    void writeLoop();
    void write(std::string_view bytes);

    std::unique_ptr<QFileDevice> m_file;  // a QSaveFile, or a QFile for a special file
    Block m_block;                        // the block being filled
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Block> m_full;    // waiting for the writing thread, in order
    std::vector<Block> m_empty;  // written, ready to be filled again
    std::size_t m_blocks = 1;    // blocks made so far
    bool m_writing = false;      // the writing thread holds a block
    bool m_stopping = false;
    std::thread m_thread;
    std::atomic<bool> m_failed = false;
    Failure m_failure{0, {}};  // set by whichever thread failed first, before m_failed
};

}  // namespace quarrytab
