#include "results/save_results.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <filesystem>
#include <string>
#include <system_error>

#include "engine/error_trap.h"
#include "engine/failure_numbers.h"
#include "engine/platform.h"

namespace quarrytab {

namespace {

constexpr std::size_t kBlockSize = std::size_t{4} << 20;

[[noreturn]] void ThrowDeviceError(const QIODevice& device) {
    throw Failure(failures::kDeviceIoError, device.errorString().toStdString());
}

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A results file named by bytes that are no UTF-8. Like QSaveFile it writes a new file beside the
// target and puts it in the target's place only when complete; a target that exists but is no
// regular file (a device, a named pipe) is written in place.
class ByteNamedResultsFile final : public QFile {
  public:
    explicit ByteNamedResultsFile(std::string target) : m_target(std::move(target)) {}
    ~ByteNamedResultsFile() override { discard(); }

    using QFile::open;

    bool open(OpenMode mode) override {
        std::error_code error;
        const auto status = std::filesystem::status(FileSystemPath(m_target), error);
        const bool inPlace = !error && std::filesystem::exists(status) &&
                             !std::filesystem::is_regular_file(status) &&
                             !std::filesystem::is_directory(status);
        std::string failure;
        std::FILE* file = inPlace ? OpenFileForWriting(m_target, failure)
                                  : CreateFileBeside(m_target, m_written, failure);
        if (file == nullptr) {
            setErrorString(FromUtf8(m_target + ": " + failure));
            return false;
        }
        if (!QFile::open(file, mode, QFileDevice::AutoCloseHandle)) {
            std::fclose(file);
            discard();
            return false;
        }
        return true;
    }

    // Puts the written file in the target's place, keeping the target's permissions.
    void commit() {
        const bool flushed = flush();
        close();
        if (!flushed) {
            discard();
            throw Failure(failures::kDeviceIoError, errorString().toStdString());
        }
        if (m_written.empty()) {
            return;
        }
        std::error_code error;
        const auto target = FileSystemPath(m_target);
        const auto written = FileSystemPath(m_written);
        const auto status = std::filesystem::status(target, error);
        if (!error && std::filesystem::is_regular_file(status)) {
            std::filesystem::permissions(written, status.permissions(), error);
        }
        std::filesystem::rename(written, target, error);
        if (error) {
            discard();
            throw Failure(failures::kDeviceIoError, m_target + ": " + error.message());
        }
        m_written.clear();
    }

    // Drops the written file; the target stays as it was.
    void discard() {
        if (isOpen()) {
            close();
        }
        if (!m_written.empty()) {
            std::error_code error;
            std::filesystem::remove(FileSystemPath(m_written), error);
            m_written.clear();
        }
    }

  private:
    std::string m_target;
    std::string m_written;  // the new file beside the target, until it takes the target's place
};

}  // namespace

std::unique_ptr<QFileDevice> CreateResultsFile(std::string_view pathBytes) {
    const QByteArrayView bytes(pathBytes.data(), static_cast<qsizetype>(pathBytes.size()));
    if (bytes.isValidUtf8()) {
        return CreateResultsFile(QString::fromUtf8(bytes));
    }
    return std::make_unique<ByteNamedResultsFile>(std::string(pathBytes));
}

std::unique_ptr<QFileDevice> CreateResultsFile(const QString& path) {
    const QFileInfo target(path);
    if (target.exists() && !target.isDir() && !target.isFile()) {
        return std::make_unique<QFile>(path);
    }
    return std::make_unique<QSaveFile>(path);
}

void OpenResultsFile(QFileDevice& device) {
    if (!device.open(QIODevice::WriteOnly)) {
        throw Failure(failures::kFileAccessError, device.errorString().toStdString());
    }
}

void WriteResultRows(const StatementStore& rows, QIODevice& device,
                     const std::function<void()>& yield) {
    std::string block;
    block.reserve(kBlockSize + 4096);
    const auto writeBlock = [&] {
        const auto size = static_cast<qint64>(block.size());
        if (device.write(block.data(), size) != size) {
            ThrowDeviceError(device);
        }
        block.clear();
        if (yield) {
            yield();
        }
    };
    rows.forEachRow([&](std::string_view row) {
        if (row.size() > kBlockSize) {
            // A very long row goes out on its own rather than through the block.
            if (!block.empty()) {
                writeBlock();
            }
            const auto size = static_cast<qint64>(row.size());
            if (device.write(row.data(), size) != size) {
                ThrowDeviceError(device);
            }
        } else {
            block.append(row);
        }
        block.append("\r\n", 2);
        if (block.size() >= kBlockSize) {
            writeBlock();
        }
        return true;
    });
    if (!block.empty()) {
        writeBlock();
    }
}

void CommitResultsFile(QFileDevice& device) {
    if (auto* named = dynamic_cast<ByteNamedResultsFile*>(&device)) {
        named->commit();
        return;
    }
    if (auto* saveFile = qobject_cast<QSaveFile*>(&device)) {
        if (!saveFile->commit()) {
            ThrowDeviceError(*saveFile);
        }
        return;
    }
    const bool flushed = device.flush();
    if (!flushed || device.error() != QFileDevice::NoError) {
        const Failure failure(failures::kDeviceIoError, device.errorString().toStdString());
        device.close();
        throw failure;
    }
    device.close();
}

void DiscardResultsFile(QFileDevice& device) {
    if (auto* named = dynamic_cast<ByteNamedResultsFile*>(&device)) {
        named->discard();
        return;
    }
    if (auto* saveFile = qobject_cast<QSaveFile*>(&device)) {
        // The temporary file goes when the device is destroyed; the target stays as it was.
        saveFile->cancelWriting();
        return;
    }
    device.close();
}

}  // namespace quarrytab
