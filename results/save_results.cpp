#include "results/save_results.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <string>

#include "engine/error_trap.h"
#include "engine/failure_numbers.h"

namespace quarrytab {

namespace {

constexpr std::size_t kBlockSize = std::size_t{4} << 20;

[[noreturn]] void ThrowDeviceError(const QIODevice& device) {
    throw Failure(failures::kDeviceIoError, device.errorString().toStdString());
}

}  // namespace

std::unique_ptr<QFileDevice> CreateResultsFile(const QString& path) {
    const QFileInfo target(path);
    if (target.exists() && !target.isDir() && !target.isFile())
        return std::make_unique<QFile>(path);
    return std::make_unique<QSaveFile>(path);
}

void OpenResultsFile(QFileDevice& device) {
    if (!device.open(QIODevice::WriteOnly))
        throw Failure(failures::kFileAccessError, device.errorString().toStdString());
}

void WriteResultRows(const StatementStore& rows, QIODevice& device,
                     const std::function<void()>& yield) {
    std::string block;
    block.reserve(kBlockSize + 4096);
    const auto writeBlock = [&] {
        const auto size = static_cast<qint64>(block.size());
        if (device.write(block.data(), size) != size)
            ThrowDeviceError(device);
        block.clear();
        if (yield)
            yield();
    };
    rows.forEachRow([&](std::string_view row) {
        if (row.size() > kBlockSize) {
            // A very long row goes out on its own rather than through the block.
            if (!block.empty())
                writeBlock();
            const auto size = static_cast<qint64>(row.size());
            if (device.write(row.data(), size) != size)
                ThrowDeviceError(device);
        } else {
            block.append(row);
        }
        block.append("\r\n", 2);
        if (block.size() >= kBlockSize)
            writeBlock();
        return true;
    });
    if (!block.empty())
        writeBlock();
}

void CommitResultsFile(QFileDevice& device) {
    if (auto* saveFile = qobject_cast<QSaveFile*>(&device)) {
        if (!saveFile->commit())
            ThrowDeviceError(*saveFile);
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
    if (auto* saveFile = qobject_cast<QSaveFile*>(&device)) {
        // The temporary file goes when the device is destroyed; the target stays as it was.
        saveFile->cancelWriting();
        return;
    }
    device.close();
}

}  // namespace quarrytab
