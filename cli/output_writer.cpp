#include "cli/output_writer.h"

#include <cerrno>
#include <cstring>

#include "engine/error_trap.h"
#include "engine/failure_numbers.h"
#include "engine/platform.h"
#include "results/save_results.h"

namespace quarrytab {

namespace {
constexpr std::size_t kFlushSize = 1 << 20;
constexpr std::size_t kCapacity = 2 * kFlushSize;
// Enough for the writing thread to have one block in hand and the next ones waiting, without
// holding much memory.
constexpr std::size_t kMostBlocks = 4;
constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

OutputWriter::OutputWriter(const QString& path) {
    // No path means standard output; a file is written the way the window saves its results.
    if (!path.isEmpty()) {
        m_file = CreateResultsFile(path);
    }
    m_block.bytes = std::make_unique_for_overwrite<char[]>(kCapacity);
    m_block.capacity = kCapacity;
}

OutputWriter::~OutputWriter() {
    discard();
}

void OutputWriter::open() {
    if (!m_file) {
        SetStandardOutputBinary();
    } else if (!m_file->open(QIODevice::WriteOnly)) {
        throw Failure(failures::kFileAccessError, m_file->errorString().toStdString());
    }
    m_thread = std::thread([this] { writeLoop(); });
}

void OutputWriter::statement(std::string_view text) {
    if (text.size() + kLineEnd.size() <= kCapacity - kFlushSize) {
        std::memcpy(reserve(text.size()), text.data(), text.size());
        commit(text.size());
        return;
    }
    // Too large for a block: it goes out directly rather than through another copy, once
    // everything before it is out.
    flush();
    drain();
    write(text);
    write(kLineEnd);
}

char* OutputWriter::reserve(std::size_t size) {
    // Room for the line end that follows a statement comes with every piece.
    const auto needed = size + kLineEnd.size();
    if (m_block.size + needed > m_block.capacity) {
        flush();
        if (needed > m_block.capacity) {
            m_block.bytes = std::make_unique_for_overwrite<char[]>(needed);
            m_block.capacity = needed;
        }
    }
    return m_block.bytes.get() + m_block.size;
}

void OutputWriter::commit(std::size_t size, bool complete) {
    m_block.size += size;
    if (!complete) {
        return;
    }
    std::memcpy(m_block.bytes.get() + m_block.size, kLineEnd.data(), kLineEnd.size());
    m_block.size += kLineEnd.size();
    // Blocks go out at the end of a statement (unless one statement fills a whole block), so
    // output cut short by a failure ends with a whole statement.
    if (m_block.size >= kFlushSize) {
        flush();
    }
}

// Hands the filled block to the writing thread and goes on with an empty one.
void OutputWriter::flush() {
    if (m_block.size == 0) {
        return;
    }
    if (!m_thread.joinable()) {
        write(std::string_view(m_block.bytes.get(), m_block.size));
        m_block.size = 0;
        return;
    }
    std::unique_lock lock(m_mutex);
    m_full.push_back(std::move(m_block));
    m_changed.notify_all();
    if (m_empty.empty() && m_blocks < kMostBlocks) {
        ++m_blocks;
        m_block = Block{std::make_unique_for_overwrite<char[]>(kCapacity), kCapacity, 0};
        return;
    }
    m_changed.wait(lock, [this] { return !m_empty.empty(); });
    m_block = std::move(m_empty.back());
    m_empty.pop_back();
}

// Waits until every block handed over is written.
void OutputWriter::drain() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_full.empty() && !m_writing; });
}

void OutputWriter::stop() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void OutputWriter::writeLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_full.empty() || m_stopping; });
        if (m_full.empty()) {
            return;
        }
        Block block = std::move(m_full.front());
        m_full.pop_front();
        m_writing = true;
        lock.unlock();
        write(std::string_view(block.bytes.get(), block.size));
        block.size = 0;
        lock.lock();
        m_writing = false;
        m_empty.push_back(std::move(block));
        m_changed.notify_all();
    }
}

void OutputWriter::write(std::string_view bytes) {
    if (bytes.empty() || failed()) {
        return;
    }
    if (m_file) {
        const auto written = m_file->write(bytes.data(), static_cast<qint64>(bytes.size()));
        if (written != static_cast<qint64>(bytes.size())) {
            m_failure = Failure(failures::kDeviceIoError, m_file->errorString().toStdString());
            m_failed.store(true, std::memory_order_release);
        }
    } else {
        errno = 0;
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
            m_failure = Failure(failures::kDeviceIoError, std::strerror(errno));
            m_failed.store(true, std::memory_order_release);
        }
    }
}

void OutputWriter::finish() {
    flush();
    stop();
    if (!m_file) {
        if (!failed() && std::fflush(stdout) != 0) {
            m_failure = Failure(failures::kDeviceIoError, std::strerror(errno));
            m_failed = true;
        }
    } else if (!failed()) {
        try {
            CommitResultsFile(*m_file);
        } catch (const Failure& failure) {
            m_failure = failure;
            m_failed = true;
        }
    }
    if (failed()) {
        discard();
        throw m_failure;
    }
    m_file.reset();
}

void OutputWriter::discard() {
    stop();
    if (m_file) {
        DiscardResultsFile(*m_file);
    }
    m_file.reset();
}

}  // namespace quarrytab
