// Collects the files the folder adder and a drop add to the input list, on a thread of its own
// so the window stays responsive while a large tree is walked. Paths come back in batches, in
// walk order, through queued signals on the thread that owns the collector.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "engine/error_trap.h"
#include "filelist/folder_reader.h"

namespace quarrytab {

enum class CollectRule {
    // "Add All Files In Folder": the files of the first path's tree that match `pattern`, less
    // names beginning with "~", files gone by the time they are looked at and files whose only
    // attributes are hidden and archive; every path cleaned of doubled separators. Failures of
    // the adder's own steps are reported under `location`.
    FolderByPattern,
    // Dropped paths, in order: a file as it is, a folder as every file of its tree (names
    // beginning with "~" left out), exactly as listed. Failures of the collection itself are
    // reported under `location`.
    Dropped,
};

struct CollectJob {
    CollectRule rule = CollectRule::Dropped;
    QStringList paths;
    QString pattern;       // FolderByPattern only
    std::string location;  // location text for failures outside the walk
};

class FileCollector final : public QObject {
    Q_OBJECT
  public:
    // `reader` must outlive the collector; it is used from the collector's thread.
    explicit FileCollector(FolderReader& reader = systemFolderReader(), QObject* parent = nullptr);
    // Cancels what is still to do and waits for the thread to stop; no signal follows.
    ~FileCollector() override;

    // Queues a job behind those already queued and returns its number (from 1 upwards).
    quint64 start(CollectJob job);

    // Jobs queued or running.
    int pending() const { return m_pending; }

  signals:
    void filesFound(quint64 job, const QStringList& paths);
    // A failed step: the location text, the step's line and the failure, for an ErrorReporter.
    void failed(quint64 job, const std::string& location, int line,
                const quarrytab::Failure& failure);
    // The last signal of a job.
    void finished(quint64 job);

  private:
    QThread m_thread;
    FolderReader* m_reader = nullptr;
    QObject* m_threadContext = nullptr;  // lives on m_thread; jobs run as its queued calls
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    quint64 m_lastJob = 0;
    int m_pending = 0;
};

}  // namespace quarrytab
