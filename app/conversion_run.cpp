#include "app/conversion_run.h"

#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <limits>
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
    std::atomic<bool> exited{false};  // the worker's thread has nothing left to do
    std::atomic<int> fileIndex{0};
    std::atomic<quint64> lines{0};
    std::atomic<quint64> bytesDone{0};
    std::atomic<quint64> bytesTotal{0};

    std::mutex mutex;
    std::condition_variable answered;
    bool abandoned = false;  // the run has ended without the worker
    std::vector<StatementBlock> arrived;
    std::vector<FileNotesOf> notes;  // each converted file's, in order
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

// Converts one file of the run; false when the run is to stop (cancelled, or the list is full).
bool ConvertOne(RunShared& run, const std::string& path, ErrorReporter& reporter,
                StatementSink& sink, const ProgressHook& hook, ConversionProgress& progress) {
    std::unique_ptr<ByteSource> source = run.opener ? run.opener(path) : nullptr;
    FileNotesOf file{path, {}};
    const ConversionContext context{reporter, sink, hook, &progress, &file.notes};
    const bool goOn = source ? ConvertStream(*source, BaseNameOf(path), run.options, context)
                             : ConvertFile(path, run.options, context);
    const std::lock_guard lock(run.mutex);
    run.notes.push_back(std::move(file));
    return goOn;
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
    for (std::size_t i = 0; i < run.paths.size() && !run.stopped; ++i) {
        run.fileIndex = static_cast<int>(i);
        progress.fileIndex = i;
        progress.fileBytesRead = 0;
        try {
            run.stopped = run.cancel.load() ||
                          !ConvertOne(run, run.paths[i], reporter, batcher, hook, progress);
            if (sinceHandOver.elapsed() >= kHandOverMs) {
                batcher.flush();
                sinceHandOver.restart();
            }
        } catch (...) {
            reporter.reportApplicationError(run.location, kRunLine,
                                            CurrentFailure(std::current_exception()));
        }
        // The next file's bytes count on from this one's, also when it stopped part way with a
        // failure, so the progress never goes back.
        before = std::max<quint64>(run.bytesDone.load(), before + progress.fileBytesRead);
        run.bytesDone = before;
    }
    batcher.flush();
    run.finished = true;
    Wake(shared);
}

// The threads of runs that ended while their worker still ran (a cancelled run whose worker is
// stuck in a read). Each is joined once it has ended, so no worker is ever detached.
class LeftBehindWorkers {
  public:
    static LeftBehindWorkers& instance() {
        static LeftBehindWorkers workers;
        return workers;
    }

    void add(std::thread worker, std::shared_ptr<RunShared> shared) {
        const std::lock_guard lock(m_mutex);
        joinEnded();
        m_workers.push_back({std::move(worker), std::move(shared)});
    }

    // Called by a worker as the last thing it does. Marked under the lock, so a thread seen to
    // have ended needs the lock no more and is joined at once.
    void ended(RunShared& shared) {
        const std::lock_guard lock(m_mutex);
        shared.exited = true;
        m_ended.notify_all();
    }

    bool waitForAll(int timeoutMs) {
        std::unique_lock lock(m_mutex);
        m_ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return std::all_of(m_workers.begin(), m_workers.end(),
                               [](const Worker& worker) { return worker.shared->exited.load(); });
        });
        joinEnded();
        return m_workers.empty();
    }

    ~LeftBehindWorkers() { waitForAll(std::numeric_limits<int>::max()); }

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<RunShared> shared;
    };

    void joinEnded() {
        for (auto worker = m_workers.begin(); worker != m_workers.end();) {
            if (worker->shared->exited.load()) {
                worker->thread.join();
                worker = m_workers.erase(worker);
            } else {
                ++worker;
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_ended;
    std::vector<Worker> m_workers;
};

// Shows the ordinary pointer while it lives, over the wait pointer of the run: the progress
// dialog's Cancel button is something to click.
class OrdinaryPointer {
  public:
    OrdinaryPointer() { QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor)); }
    ~OrdinaryPointer() { QGuiApplication::restoreOverrideCursor(); }
    OrdinaryPointer(const OrdinaryPointer&) = delete;
    OrdinaryPointer& operator=(const OrdinaryPointer&) = delete;
};

}  // namespace

// The window's side of one run, in the order of its steps: start the worker, wait for it a
// moment, show the progress dialog if it goes on, take in what it hands over, and end. However
// the run ends (a throw included), the worker is told to stop, nothing it sends later reaches
// this run, and its thread is joined, now or once it has stopped.
class ConversionRun::Steps {
  public:
    Steps(ConversionRun& run, std::shared_ptr<RunShared> shared)
        : m_run(run), m_shared(std::move(shared)) {
        m_sinceTake.start();
        m_takeLater.setSingleShot(true);
        QObject::connect(&m_takeLater, &QTimer::timeout, &m_context, [this] { take(); });
    }

    Steps(const Steps&) = delete;
    Steps& operator=(const Steps&) = delete;

    ~Steps() {
        m_shared->onArrival = nullptr;
        m_shared->cancel = true;
        {
            const std::lock_guard lock(m_shared->mutex);
            m_run.m_notes = m_shared->notes;
            m_shared->abandoned = true;
            m_shared->arrived.clear();
            m_shared->reports.clear();
        }
        m_shared->answered.notify_all();
        if (!m_worker.joinable()) {
            return;
        }
        if (m_shared->finished) {
            m_worker.join();
        } else {
            LeftBehindWorkers::instance().add(std::move(m_worker), m_shared);
        }
    }

    void startWorker() {
        m_shared->onArrival = [this] {
            arrived();
        };
        m_worker = std::thread([shared = m_shared] {
            ConvertAll(shared);
            LeftBehindWorkers::instance().ended(*shared);
        });
    }

    bool finished() const { return m_shared->finished; }

    // Lets the window's events other than input run until the worker finishes, or until
    // `limitMs` have passed when one is given.
    void waitForWorker(std::optional<int> limitMs) {
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &m_context, [this] { m_wait.quit(); });
        if (limitMs) {
            limit.start(*limitMs);
        }
        while (!m_shared->finished && (!limitMs || limit.isActive())) {
            m_wait.exec(QEventLoop::ExcludeUserInputEvents);
        }
    }

    // Shows the progress dialog until the worker finishes or the user cancels; true when the
    // user cancelled.
    bool showProgress(int fileCount) {
        RunProgress& progress = m_run.m_progress();
        const auto update = [&] {
            progress.update(m_shared->fileIndex.load() + 1, fileCount, m_shared->lines.load(),
                            m_shared->bytesDone.load(), m_shared->bytesTotal.load());
        };
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, &m_context, update);
        ticker.start(100);
        update();
        const OrdinaryPointer pointer;
        m_dialog = &progress;
        bool cancelled = false;
        try {
            cancelled = progress.exec(fileCount) && !m_shared->finished;
        } catch (...) {
            m_dialog = nullptr;
            throw;
        }
        m_dialog = nullptr;
        return cancelled;
    }

    // Asks the worker to stop and gives it a moment to hand over what it made.
    void cancel() {
        m_cancelled = true;
        m_shared->cancel = true;
        waitForWorker(kCancelGraceMs);
    }

    RunEnd end() {
        m_shared->onArrival = nullptr;
        // What arrived before the worker ended, or before the run leaves it behind.
        takeArrived();
        m_run.m_results.squeeze();
        if (m_cancelled) {
            return RunEnd::Cancelled;
        }
        return m_listFull ? RunEnd::ListFull : RunEnd::Finished;
    }

  private:
    // Reports are shown at once, as the worker waits for them; statements wait for the next
    // take, which comes at most every kTakeEveryMs.
    void arrived() {
        bool reportsWaiting = false;
        {
            const std::lock_guard lock(m_shared->mutex);
            reportsWaiting = !m_shared->reports.empty();
        }
        const qint64 since = m_sinceTake.elapsed();
        if (m_shared->finished || reportsWaiting || since >= kTakeEveryMs) {
            take();
        } else if (!m_takeLater.isActive()) {
            m_takeLater.start(static_cast<int>(kTakeEveryMs - since));
        }
    }

    void take() {
        m_takeLater.stop();
        m_sinceTake.restart();
        takeArrived();
        if (m_shared->finished) {
            m_wait.quit();
            if (m_dialog != nullptr) {
                m_dialog->finish();
            }
        }
    }

    // Takes in the blocks that have arrived, all at once (one insertion and one new layout of
    // the list for many blocks), and shows the reports waiting.
    void takeArrived() {
        std::vector<StatementBlock> blocks;
        std::deque<std::shared_ptr<PendingReport>> reports;
        {
            const std::lock_guard lock(m_shared->mutex);
            blocks.swap(m_shared->arrived);
            reports.swap(m_shared->reports);
        }
        if (!blocks.empty() && !m_listFull) {
            try {
                m_run.m_results.appendBlocks(std::move(blocks));
            } catch (...) {
                // The list keeps the rows it holds; the run stops, as nothing more fits.
                m_listFull = true;
                m_shared->cancel = true;
                m_run.m_trap.report(kTakeLine, CurrentFailure(std::current_exception()));
            }
        }
        for (const auto& report : reports) {
            m_run.m_reporter.reportApplicationError(report->location, report->line,
                                                    report->failure);
            const std::lock_guard lock(m_shared->mutex);
            report->answered = true;
        }
        if (!reports.empty()) {
            m_shared->answered.notify_all();
        }
    }

    ConversionRun& m_run;
    std::shared_ptr<RunShared> m_shared;
    std::thread m_worker;
    QObject m_context;  // every connection of the wait ends with it
    QEventLoop m_wait;
    QElapsedTimer m_sinceTake;
    QTimer m_takeLater;
    RunProgress* m_dialog = nullptr;  // set while the dialog is open
    bool m_listFull = false;
    bool m_cancelled = false;
};

ConversionRun::ConversionRun(ErrorReporter& reporter, StepTrap& trap, ResultsModel& results,
                             std::function<RunProgress&()> progress, int progressDelayMs,
                             InputOpener opener)
    : m_reporter(reporter),
      m_trap(trap),
      m_results(results),
      m_progress(std::move(progress)),
      m_progressDelayMs(progressDelayMs),
      m_opener(std::move(opener)) {}

RunEnd ConversionRun::run(const std::vector<std::string>& paths, const ConversionOptions& options) {
    auto shared = std::make_shared<RunShared>();
    shared->paths = paths;
    shared->options = options;
    shared->location = std::string(m_trap.location());
    shared->opener = m_opener;

    Steps steps(*this, shared);
    steps.startWorker();
    // The progress dialog shows only when the run takes longer than its delay.
    steps.waitForWorker(m_progressDelayMs);
    if (!steps.finished()) {
        if (steps.showProgress(static_cast<int>(paths.size()))) {
            steps.cancel();
        } else {
            steps.waitForWorker(std::nullopt);
        }
    }
    return steps.end();
}

bool WaitForLeftBehindWorkers(int timeoutMs) {
    return LeftBehindWorkers::instance().waitForAll(timeoutMs);
}

}  // namespace quarrytab
