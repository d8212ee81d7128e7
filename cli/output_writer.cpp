#include "cli/output_writer.h"

#include <cerrno>
#include <cstring>

#include "engine/error_trap.h"
#include "engine/platform.h"
#include "results/save_results.h"

namespace quarrytab {

namespace {
constexpr std::size_t kFlushSize = 1 << 20;
constexpr std::size_t kCapacity = 2 * kFlushSize;
constexpr std::string_view kLineEnd = "\r\n";
}  // namespace

OutputWriter::OutputWriter(const QString& path) {
    // No path means standard output; a file is written the way the window saves its results.
    if (!path.isEmpty())
        m_file = CreateResultsFile(path);
    m_buffer = std::make_unique_for_overwrite<char[]>(kCapacity);
}

OutputWriter::~OutputWriter() {
    discard();
}

bool OutputWriter::open(QString& error) {
    if (!m_file) {
        SetStandardOutputBinary();
        return true;
    }
    if (!m_file->open(QIODevice::WriteOnly)) {
        error = m_file->errorString();
        return false;
    }
    return true;
}

void OutputWriter::statement(std::string_view text) {
    if (char* to = reserve(text.size())) {
        std::memcpy(to, text.data(), text.size());
        commit(text.size());
        return;
    }
    // Too large for the buffer: it goes out directly rather than through another copy.
    flush();
    write(text);
    write(kLineEnd);
}

char* OutputWriter::reserve(std::size_t size) {
    if (size + kLineEnd.size() > kCapacity - kFlushSize)
        return nullptr;
    return m_buffer.get() + m_size;
}

void OutputWriter::commit(std::size_t size) {
    m_size += size;
    std::memcpy(m_buffer.get() + m_size, kLineEnd.data(), kLineEnd.size());
    m_size += kLineEnd.size();
    if (m_size >= kFlushSize)
        flush();
}

void OutputWriter::flush() {
    write(std::string_view(m_buffer.get(), m_size));
    m_size = 0;
}

void OutputWriter::write(std::string_view bytes) {
    if (bytes.empty() || m_failed)
        return;
    if (m_file) {
        const auto written = m_file->write(bytes.data(), static_cast<qint64>(bytes.size()));
        if (written != static_cast<qint64>(bytes.size())) {
            m_failed = true;
            m_error = m_file->errorString();
        }
    } else {
        errno = 0;
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
            m_failed = true;
            m_error = QString::fromLocal8Bit(std::strerror(errno));
        }
    }
}

bool OutputWriter::finish(QString& error) {
    flush();
    if (!m_file) {
        if (!m_failed && std::fflush(stdout) != 0) {
            m_failed = true;
            m_error = QString::fromLocal8Bit(std::strerror(errno));
        }
    } else if (!m_failed) {
        try {
            CommitResultsFile(*m_file);
        } catch (const Failure& failure) {
            m_failed = true;
            m_error = QString::fromStdString(failure.description());
        }
    }
    if (m_failed) {
        discard();
        error = m_error;
        return false;
    }
    m_file.reset();
    return true;
}

void OutputWriter::discard() {
    if (m_file)
        DiscardResultsFile(*m_file);
    m_file.reset();
}

}  // namespace quarrytab
