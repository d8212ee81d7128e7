#include "filelist/file_collector.h"

#include <QElapsedTimer>
#include <QPointer>
#include <utility>

#include "engine/error_trap.h"
#include "engine/paths.h"
#include "filelist/folder_walk.h"
#include "filelist/qt_text.h"

namespace quarrytab {

namespace {

// A file that is hidden and archive and nothing else: the folder adder leaves it out.
constexpr std::uint32_t kHiddenArchiveOnly = attributes::kHidden | attributes::kArchive;

// Paths are handed over once this many have gathered, or once this long has passed since the
// last hand-over, so the window gets rows steadily without a signal per file.
constexpr qsizetype kBatchRows = 4096;
constexpr qint64 kBatchMilliseconds = 40;

// One job, run on the collector's thread. Everything it finds or fails on goes back as a queued
// call on the collector, which the collector's destruction discards.
class CollectJobRun final : public ErrorReporter {
  public:
    CollectJobRun(QPointer<FileCollector> collector, quint64 job, FolderReader& reader,
                  std::shared_ptr<std::atomic<bool>> cancelled, std::string_view location)
        : m_collector(std::move(collector)),
          m_job(job),
          m_reader(reader),
          m_cancelled(std::move(cancelled)),
          m_trap(*this, location) {
        m_sinceFlush.start();
    }

    void run(const CollectJob& job) {
        if (job.rule == CollectRule::FolderByPattern) {
            if (!job.paths.isEmpty()) {
                collectByPattern(job.paths.first(), job.pattern);
            }
        } else {
            for (const QString& path : job.paths) {
                if (cancelled()) {
                    break;
                }
                collectDropped(path);
            }
        }
        flush();
        post([](FileCollector& collector, quint64 id) { emit collector.finished(id); });
    }

    // The walk's own failures, reported under the walk's location.
    void reportApplicationError(std::string_view location, int line,
                                const Failure& failure) override {
        flush();  // rows found before the failure come first
        post([where = std::string(location), line, failure](FileCollector& collector, quint64 id) {
            emit collector.failed(id, where, line, failure);
        });
    }

  private:
    bool cancelled() const { return m_cancelled->load(std::memory_order_relaxed); }

    template <typename Call>
    void post(Call call) {
        const quint64 id = m_job;
        QMetaObject::invokeMethod(
            m_collector.data(),
            [collector = m_collector, id, call = std::move(call)] {
                if (collector) {
                    call(*collector, id);
                }
            },
            Qt::QueuedConnection);
    }

    void add(QString path) {
        m_batch.push_back(std::move(path));
        if (m_batch.size() >= kBatchRows || m_sinceFlush.elapsed() >= kBatchMilliseconds) {
            flush();
        }
    }

    void flush() {
        m_sinceFlush.restart();
        if (m_batch.isEmpty() || cancelled()) {
            return;
        }
        QStringList paths = std::exchange(m_batch, {});
        post([paths = std::move(paths)](FileCollector& collector, quint64 id) {
            emit collector.filesFound(id, paths);
        });
    }

    WalkYield yield() {
        return [this] {
            // A pause in the listing (a slow folder) must not hold back rows already found.
            if (m_sinceFlush.elapsed() >= kBatchMilliseconds) {
                flush();
            }
            return !cancelled();
        };
    }

    // The folders of a tree in walk order, each with its trailing separator; the start first.
    QStringList walk(const QString& start, int line) {
        QStringList folders{start};
        const WalkYield keepGoing = yield();
        bool completed = true;
        m_trap.step(line, [&] {
            completed = GetSubDirectories2016(folders, true, *this, keepGoing, m_reader);
        });
        return completed ? folders : QStringList();
    }

    void collectByPattern(const QString& folder, const QString& pattern) {
        // Every folder of the walk ends with exactly one separator, a chosen root ("/", "D:\")
        // too: a doubled one would name a folder the reader may not know, and cutting the last
        // character off a root would leave no folder (or the drive's current folder) to list.
        const QStringList folders = walk(WithSeparator(folder), 122);
        for (const QString& entry : folders) {
            if (cancelled()) {
                return;
            }
            QStringList names;
            if (!m_trap.step(128, [&] { names = GetFilesInFolder(entry, pattern, m_reader); })) {
                continue;
            }
            for (const QString& name : names) {
                if (name.startsWith(u'~')) {
                    continue;
                }
                m_trap.step(134, [&] {
                    const QString path = entry + name;
                    if (!m_reader.fileExists(path)) {
                        return;  // gone since it was listed
                    }
                    const PathAttributes info = m_reader.attributesOf(path);
                    if (info.error != ReadError::None) {
                        throw Failure(FailureNumber(info.error), ToUtf8(info.errorText));
                    }
                    if (info.attributes != kHiddenArchiveOnly) {
                        add(FromPathBytes(FixDoubleBackslashes(ToPathBytes(path))));
                    }
                });
            }
        }
    }

    void collectDropped(const QString& path) {
        bool isFolder = false;
        m_trap.step(100, [&] {
            const PathAttributes info = m_reader.attributesOf(path);
            isFolder =
                info.error == ReadError::None && (info.attributes & attributes::kDirectory) != 0;
        });
        if (!isFolder) {
            add(path);
            return;
        }
        const QStringList folders = walk(WithSeparator(path), 102);
        for (const QString& entry : folders) {
            if (cancelled()) {
                return;
            }
            m_trap.step(104, [&] {
                for (const QString& name :
                     GetFilesInFolder(entry, QStringLiteral("*.*"), m_reader)) {
                    if (!name.startsWith(u'~')) {
                        add(entry + name);
                    }
                }
            });
        }
    }

    QPointer<FileCollector> m_collector;
    quint64 m_job;
    FolderReader& m_reader;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    StepTrap m_trap;
    QStringList m_batch;
    QElapsedTimer m_sinceFlush;
};

}  // namespace

FileCollector::FileCollector(FolderReader& reader, QObject* parent)
    : QObject(parent),
      m_threadContext(new QObject),
      m_cancelled(std::make_shared<std::atomic<bool>>(false)) {
    m_thread.setObjectName(QStringLiteral("FileCollector"));
    m_threadContext->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_threadContext, &QObject::deleteLater);
    m_reader = &reader;
    connect(this, &FileCollector::finished, this, [this] { --m_pending; });
    m_thread.start();
}

FileCollector::~FileCollector() {
    m_cancelled->store(true);
    m_thread.quit();
    m_thread.wait();
}

quint64 FileCollector::start(CollectJob job) {
    const quint64 id = ++m_lastJob;
    ++m_pending;
    QPointer<FileCollector> self(this);
    FolderReader* reader = m_reader;
    std::shared_ptr<std::atomic<bool>> cancelled = m_cancelled;
    QMetaObject::invokeMethod(
        m_threadContext,
        [self, id, reader, cancelled, job = std::move(job)] {
            if (cancelled->load()) {
                return;
            }
            CollectJobRun(self, id, *reader, cancelled, job.location).run(job);
        },
        Qt::QueuedConnection);
    return id;
}

}  // namespace quarrytab
