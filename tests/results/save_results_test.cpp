#include <gtest/gtest.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include "engine/error_trap.h"
#include "engine/failure_numbers.h"
#include "results/save_results.h"

namespace quarrytab {
namespace {

QByteArray Save(const StatementStore& rows) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_NO_THROW(WriteResultRows(rows, buffer));
    return buffer.data();
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A device that takes a given number of bytes and then fails every write.
class FullDevice final : public QBuffer {
  public:
    explicit FullDevice(qint64 room) : m_room(room) {}

  protected:
    qint64 writeData(const char* data, qint64 size) override {
        if (size > m_room) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        m_room -= size;
        return QBuffer::writeData(data, size);
    }

  private:
    qint64 m_room;
};

TEST(SaveResults, EveryRowEndsInCrLfWithItsOriginalBytes) {
    StatementStore rows;
    EXPECT_EQ(Save(rows), QByteArray());  // no rows: an empty file
    rows.append("INSERT INTO 'T' VALUES ('caf\xe9');");
    rows.append("");
    rows.append("\xc3\xa9\r");
    EXPECT_EQ(Save(rows), QByteArray("INSERT INTO 'T' VALUES ('caf\xe9');\r\n\r\n\xc3\xa9\r\r\n"));
}

TEST(SaveResults, RowsLongerThanABlockAndManyRowsArriveWhole) {
    StatementStore rows;
    QByteArray expected;
    const std::string huge(9 << 20, 'h');
    for (int i = 0; i < 200000; ++i) {
        const std::string row = i == 100000 ? huge : "row " + std::to_string(i);
        rows.append(row);
        expected += QByteArray::fromStdString(row) + "\r\n";
    }
    int yields = 0;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_NO_THROW(WriteResultRows(rows, buffer, [&] { ++yields; }));
    EXPECT_TRUE(buffer.data() == expected);
    EXPECT_GE(yields, 2);
}

TEST(SaveResults, AFailedWriteStopsAndSaysWhy) {
    StatementStore rows;
    for (int i = 0; i < 1000; ++i) rows.append(std::string(10000, 'x'));
    FullDevice device(5 << 20);
    device.open(QIODevice::WriteOnly);
    try {
        WriteResultRows(rows, device);
        ADD_FAILURE() << "the write did not fail";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.description(), "No space left on device");
        EXPECT_EQ(failure.number(), failures::kDeviceIoError);
    }
}

TEST(SaveResults, ARegularTargetIsReplacedOnlyOnCommit) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quarrytab.txt"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content\r\n");
    old.close();

    StatementStore rows;
    rows.append("new");
    {
        auto file = CreateResultsFile(path);
        ASSERT_TRUE(qobject_cast<QSaveFile*>(file.get()) != nullptr);
        ASSERT_TRUE(file->open(QIODevice::WriteOnly));
        ASSERT_NO_THROW(WriteResultRows(rows, *file));
        EXPECT_EQ(ReadAll(path), QByteArray("old content\r\n"));  // not yet
        DiscardResultsFile(*file);
    }
    EXPECT_EQ(ReadAll(path), QByteArray("old content\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"Quarrytab.txt"});

    auto file = CreateResultsFile(path);
    ASSERT_TRUE(file->open(QIODevice::WriteOnly));
    ASSERT_NO_THROW(WriteResultRows(rows, *file));
    ASSERT_NO_THROW(CommitResultsFile(*file));
    EXPECT_EQ(ReadAll(path), QByteArray("new\r\n"));
}

TEST(SaveResults, AFolderInTheWayCannotBeOpened) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quarrytab.txt"));
    ASSERT_TRUE(QDir().mkpath(path));
    auto file = CreateResultsFile(path);
    EXPECT_FALSE(file->open(QIODevice::WriteOnly));
    EXPECT_TRUE(QFileInfo(path).isDir());
}

#ifndef _WIN32
TEST(SaveResults, ADeviceIsWrittenInPlaceNotReplaced) {
    const QString device = QStringLiteral("/dev/null");
    if (!QFileInfo::exists(device))
        GTEST_SKIP() << "no /dev/null";
    auto file = CreateResultsFile(device);
    EXPECT_TRUE(qobject_cast<QSaveFile*>(file.get()) == nullptr);
    ASSERT_TRUE(file->open(QIODevice::WriteOnly));
    StatementStore rows;
    rows.append("x");
    EXPECT_NO_THROW(WriteResultRows(rows, *file));
    EXPECT_NO_THROW(CommitResultsFile(*file));
    EXPECT_FALSE(QFileInfo(device).isFile());
}
#endif

}  // namespace
}  // namespace quarrytab
