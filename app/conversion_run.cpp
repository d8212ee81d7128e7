#include "app/conversion_run.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "app/run_progress.h"
#include "engine/conversion.h"
#include "engine/error_trap.h"
#include "engine/options.h"
#include "engine/platform.h"
#include "results/results_model.h"
#include "results/statement_store.h"

namespace quarrytab {

namespace {

// The handler line every failure of the run is reported at.
constexpr int kRunLine = 164;
// The line of a failure to take statements into the results list.
constexpr int kTakeLine = 204;
// How long a cancelled worker is given to stop by itself, keeping what it made, before the run
// ends without it.
constexpr int kCancelGraceMs = 150;
// The longest a finished file's statements wait on the worker before they are handed over.
constexpr qint64 kHandOverMs = 100;
// The least time between two takes of statements into the results list while the worker runs.
// The list lays out all its rows again after each take, work that would otherwise keep the
// window's thread busy for the whole run and take a core from the worker on a busy machine.
constexpr int kTakeEveryMs = 100;

// A report of the worker, waiting to be shown on the window's thread.
struct PendingReport {
    std::string location;
    int line;
    Failure failure;
    bool answered = false;
};

// What the worker thread and the window's thread share. The worker holds it as long as it runs,
// which may be longer than the run when the run has left it behind.
struct RunShared {
    std::vector<std::string> paths;
    ConversionOptions options;
    std::string location;
    InputOpener opener;

    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> stopped{false};
    std::atomic<int> fileIndex{0};
    std::atomic<quint64> lines{0};
    std::atomic<quint64> bytesDone{0};
    std::atomic<quint64> bytesTotal{0};

    std::mutex mutex;
    std::condition_variable answered;
    bool abandoned = false;  // the run has ended without the worker
    std::vector<StatementBlock> arrived;
    std::deque<std::shared_ptr<PendingReport>> reports;

    // Set and cleared on the window's thread while the run waits; called there when something
    // has arrived or the worker has ended.
    std::function<void()> onArrival;
};

// Asks the window's thread to look at what has arrived. The call goes through the application
// object, which outlives every run, and finds the run's handler only while the run waits.
void Wake(const std::shared_ptr<RunShared>& shared) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        application,
        [shared] {
            if (shared->onArrival) {
                shared->onArrival();
            }
        },
        Qt::QueuedConnection);
}

// Hands the worker's reports to the window's thread and waits until the user has dismissed each,
// so the run resumes only after OK, as in any other handler. Once the run has left the worker
// behind, its reports are dropped.
class WorkerReporter final : public ErrorReporter {
  public:
    explicit WorkerReporter(std::shared_ptr<RunShared> shared) : m_shared(std::move(shared)) {}

    void reportApplicationError(std::string_view location, int line,
                                const Failure& failure) override {
        auto report = std::make_shared<PendingReport>(
            PendingReport{std::string(location), line, failure, false});
        {
            const std::lock_guard lock(m_shared->mutex);
            if (m_shared->abandoned) {
                return;
            }
            m_shared->reports.push_back(report);
        }
        Wake(m_shared);
        std::unique_lock lock(m_shared->mutex);
        m_shared->answered.wait(lock, [&] { return report->answered || m_shared->abandoned; });
    }

  private:
    std::shared_ptr<RunShared> m_shared;
};

// A file's size, 0 when it cannot be told; only regular files are read at all.
quint64 SizeOf(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(FileSystemPath(path), error);
    if (error || !std::filesystem::is_regular_file(status)) {
        return 0;
    }
    const auto size = std::filesystem::file_size(FileSystemPath(path), error);
    return error ? 0 : static_cast<quint64>(size);
}

// The worker: converts every file, going on past a file that fails.
void ConvertAll(const std::shared_ptr<RunShared>& shared) {
    RunShared& run = *shared;
    WorkerReporter reporter(shared);
    quint64 total = 0;
    for (const std::string& path : run.paths) {
        total += SizeOf(path);
    }
    run.bytesTotal = total;
    StatementBatcher batcher([&](StatementBlock&& block) {
        bool first = false;
        {
            const std::lock_guard lock(run.mutex);
            if (run.abandoned) {
                return;
            }
            first = run.arrived.empty();
            run.arrived.push_back(std::move(block));
        }
        if (first) {
            Wake(shared);
        }
    });
    // Statements go to the list in large blocks, but not later than a moment after a file
    // ended, so a worker stuck in a later file (and left behind by a cancel) has handed over
    // the files it finished.
    QElapsedTimer sinceHandOver;
    sinceHandOver.start();
    quint64 before = 0;  // bytes of the files done
    const ProgressHook hook = [&](const ConversionProgress& progress) {
        run.lines = progress.linesDone;
        run.bytesDone = before + progress.fileBytesRead;
        return !run.cancel.load();
    };
    ConversionProgress progress;
    for (std::size_t i = 0; i < run.paths.size(); ++i) {
        if (run.cancel.load()) {
            run.stopped = true;
            break;
        }
        run.fileIndex = static_cast<int>(i);
        progress.fileIndex = i;
        const std::string& path = run.paths[i];
        try {
            std::unique_ptr<ByteSource> source = run.opener ? run.opener(path) : nullptr;
            const ConversionContext context{reporter, batcher, hook, &progress};
            const bool goOn = source
                                  ? ConvertStream(*source, BaseNameOf(path), run.options, context)
                                  : ConvertFile(path, run.options, context);
            before += progress.fileBytesRead;
            if (sinceHandOver.elapsed() >= kHandOverMs) {
                batcher.flush();
                sinceHandOver.restart();
            }
            if (!goOn) {
                run.stopped = true;
                break;
            }
        } catch (...) {
            reporter.reportApplicationError(run.location, kRunLine,
                                            CurrentFailure(std::current_exception()));
        }
    }
    batcher.flush();
    run.finished = true;
    Wake(shared);
}

}  // namespace

ConversionRun::ConversionRun(ErrorReporter& reporter, StepTrap& trap, ResultsModel& results,
                             std::function<RunProgress&()> progress, int progressDelayMs,
                             InputOpener opener)
    : m_reporter(reporter),
      m_trap(trap),
      m_results(results),
      m_progress(std::move(progress)),
      m_progressDelayMs(progressDelayMs),
      m_opener(std::move(opener)) {}

bool ConversionRun::run(const std::vector<std::string>& paths, const ConversionOptions& options) {
    auto shared = std::make_shared<RunShared>();
    shared->paths = paths;
    shared->options = options;
    shared->location = std::string(m_trap.location());
    shared->opener = m_opener;

    bool listFull = false;
    // Takes in the blocks that have arrived, all at once (one insertion and one new layout of
    // the list for many blocks), and shows the reports waiting.
    const auto takeArrived = [&] {
        std::vector<StatementBlock> blocks;
        std::deque<std::shared_ptr<PendingReport>> reports;
        {
            const std::lock_guard lock(shared->mutex);
            blocks.swap(shared->arrived);
            reports.swap(shared->reports);
        }
        if (!blocks.empty() && !listFull) {
            try {
                m_results.appendBlocks(std::move(blocks));
            } catch (...) {
                // The list keeps the rows it holds; the run stops, as nothing more fits.
                listFull = true;
                shared->cancel = true;
                m_trap.report(kTakeLine, CurrentFailure(std::current_exception()));
            }
        }
        for (const auto& report : reports) {
            m_reporter.reportApplicationError(report->location, report->line, report->failure);
            const std::lock_guard lock(shared->mutex);
            report->answered = true;
        }
        if (!reports.empty()) {
            shared->answered.notify_all();
        }
    };

    QObject context;  // every connection of the wait ends with it
    QEventLoop wait;
    RunProgress* dialog = nullptr;  // set while the dialog is open
    // Reports are shown at once, as the worker waits for them; statements wait for the next take.
    QElapsedTimer sinceTake;
    sinceTake.start();
    QTimer takeLater;
    takeLater.setSingleShot(true);
    const auto take = [&] {
        takeLater.stop();
        sinceTake.restart();
        takeArrived();
        if (shared->finished) {
            wait.quit();
            if (dialog != nullptr) {
                dialog->finish();
            }
        }
    };
    shared->onArrival = [&] {
        bool reportsWaiting = false;
        {
            const std::lock_guard lock(shared->mutex);
            reportsWaiting = !shared->reports.empty();
        }
        const qint64 since = sinceTake.elapsed();
        if (shared->finished || reportsWaiting || since >= kTakeEveryMs) {
            take();
        } else if (!takeLater.isActive()) {
            takeLater.start(static_cast<int>(kTakeEveryMs - since));
        }
    };
    QObject::connect(&takeLater, &QTimer::timeout, &context, [&] {
        if (shared->onArrival) {
            take();
        }
    });
    try {
        std::thread(ConvertAll, shared).detach();
    } catch (...) {
        shared->onArrival = nullptr;
        throw;
    }

    // Lets the window's events other than input run until the worker finishes, or until
    // `limitMs` have passed when one is given.
    const auto waitForWorker = [&](std::optional<int> limitMs) {
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &context, [&] { wait.quit(); });
        if (limitMs) {
            limit.start(*limitMs);
        }
        while (!shared->finished && (!limitMs || limit.isActive())) {
            wait.exec(QEventLoop::ExcludeUserInputEvents);
        }
    };

    // The progress dialog shows only when the run takes longer than its delay.
    waitForWorker(m_progressDelayMs);
    bool cancelled = false;
    if (!shared->finished) {
        RunProgress& progress = m_progress();
        const int fileCount = static_cast<int>(paths.size());
        const auto showProgress = [&] {
            progress.update(shared->fileIndex.load() + 1, fileCount, shared->lines.load(),
                            shared->bytesDone.load(), shared->bytesTotal.load());
        };
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, &context, showProgress);
        ticker.start(100);
        showProgress();
        dialog = &progress;
        cancelled = progress.exec(fileCount) && !shared->finished;
        dialog = nullptr;
        ticker.stop();
        if (cancelled) {
            // A worker stuck in a read is left behind after a short grace.
            shared->cancel = true;
            waitForWorker(kCancelGraceMs);
        } else {
            waitForWorker(std::nullopt);
        }
    }
    shared->onArrival = nullptr;
    // What arrived before the worker ended, or before the run left it behind.
    takeArrived();
    const bool leftBehind = !shared->finished;
    {
        const std::lock_guard lock(shared->mutex);
        shared->abandoned = true;
        shared->arrived.clear();
        shared->reports.clear();
    }
    shared->answered.notify_all();
    m_results.squeeze();
    return shared->stopped || leftBehind || cancelled;
}

}  // namespace quarrytab
