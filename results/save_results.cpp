#include "results/save_results.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <string>

namespace quarrytab {

namespace {
constexpr std::size_t kBlockSize = std::size_t{4} << 20;
}

std::unique_ptr<QFileDevice> CreateResultsFile(const QString& path) {
    const QFileInfo target(path);
    if (target.exists() && !target.isDir() && !target.isFile())
        return std::make_unique<QFile>(path);
    return std::make_unique<QSaveFile>(path);
}

bool WriteResultRows(const StatementStore& rows, QIODevice& device, QString& error,
                     const std::function<void()>& yield) {
    std::string block;
    block.reserve(kBlockSize + 4096);
    const auto writeBlock = [&] {
        const auto size = static_cast<qint64>(block.size());
        if (device.write(block.data(), size) != size) {
            error = device.errorString();
            return false;
        }
        block.clear();
        if (yield)
            yield();
        return true;
    };
    const bool written = rows.forEachRow([&](std::string_view row) {
        if (row.size() > kBlockSize) {
            // A very long row goes out on its own rather than through the block.
            if (!block.empty() && !writeBlock())
                return false;
            const auto size = static_cast<qint64>(row.size());
            if (device.write(row.data(), size) != size) {
                error = device.errorString();
                return false;
            }
        } else {
            block.append(row);
        }
        block.append("\r\n", 2);
        return block.size() < kBlockSize || writeBlock();
    });
    if (!written)
        return false;
    return block.empty() || writeBlock();
}

bool CommitResultsFile(QFileDevice& device, QString& error) {
    if (auto* saveFile = qobject_cast<QSaveFile*>(&device)) {
        if (!saveFile->commit()) {
            error = saveFile->errorString();
            return false;
        }
        return true;
    }
    const bool flushed = device.flush();
    if (!flushed || device.error() != QFileDevice::NoError) {
        error = device.errorString();
        device.close();
        return false;
    }
    device.close();
    return true;
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
