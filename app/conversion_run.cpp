#include "app/conversion_run.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

#include "app/run_progress.h"
#include "engine/conversion.h"
#include "engine/error_trap.h"
#include "results/results_model.h"
#include "results/statement_store.h"

namespace quarrytab {

namespace {

// The handler line every failure of the run is reported at.
constexpr int kRunLine = 164;
// The line of a failure to take statements into the results list.
constexpr int kTakeLine = 204;

// Hands the reports of a conversion on the worker thread to the window's thread and waits until
// the user has dismissed each, so the run resumes only after OK, as in any other handler.
class WindowThreadReporter final : public ErrorReporter {
  public:
    WindowThreadReporter(QObject& window, ErrorReporter& target)
        : m_window(window), m_target(target) {}

    void reportApplicationError(std::string_view location, int line,
                                const Failure& failure) override {
        const std::string where(location);
        QMetaObject::invokeMethod(
            &m_window, [&] { m_target.reportApplicationError(where, line, failure); },
            Qt::BlockingQueuedConnection);
    }

  private:
    QObject& m_window;
    ErrorReporter& m_target;
};

// What the worker thread and the window's thread share during a run.
struct RunState {
    std::atomic<bool> cancel{false};
    std::atomic<int> fileIndex{0};
    std::atomic<quint64> lines{0};
    bool stopped = false;  // written by the worker, read after it ended
};

// Blocks of statements wait here for the window's thread, which takes in all that have arrived
// at once: one insertion, and one new layout of the list, for many blocks.
class BlockHandOff {
  public:
    using Take = std::function<void(std::vector<StatementBlock>&&)>;
    explicit BlockHandOff(Take take) : m_take(std::move(take)) {}

    // On the worker: queues the block and, when it is the first waiting, asks the window's
    // thread to take what has arrived.
    void deliver(StatementBlock&& block) {
        bool first = false;
        {
            const std::lock_guard lock(m_mutex);
            first = m_arrived.empty();
            m_arrived.push_back(std::move(block));
        }
        if (first) {
            QMetaObject::invokeMethod(
                &m_context, [this] { takeArrived(); }, Qt::QueuedConnection);
        }
    }

    // On the window's thread, after the worker ended: the requests still queued, then the rest.
    void takeLast() {
        QCoreApplication::sendPostedEvents(&m_context, QEvent::MetaCall);
        takeArrived();
    }

  private:
    void takeArrived() {
        std::vector<StatementBlock> blocks;
        {
            const std::lock_guard lock(m_mutex);
            blocks.swap(m_arrived);
        }
        if (!blocks.empty()) {
            m_take(std::move(blocks));
        }
    }

    Take m_take;
    QObject m_context;  // requests still queued end with it
    std::mutex m_mutex;
    std::vector<StatementBlock> m_arrived;
};

// Converts every file on the worker thread, going on past a file that fails.
void ConvertAll(const std::vector<std::string>& paths, const ConversionOptions& options,
                RunState& state, ErrorReporter& reporter, std::string_view location,
                BlockHandOff& handOff) {
    StatementBatcher batcher([&](StatementBlock&& block) { handOff.deliver(std::move(block)); });
    const ProgressHook hook = [&](const ConversionProgress& progress) {
        state.lines = progress.linesDone;
        return !state.cancel.load();
    };
    ConversionProgress progress;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (state.cancel.load()) {
            state.stopped = true;
            break;
        }
        state.fileIndex = static_cast<int>(i);
        progress.fileIndex = i;
        try {
            if (!ConvertFile(paths[i], options, reporter, batcher, hook, &progress)) {
                state.stopped = true;
                break;
            }
        } catch (...) {
            reporter.reportApplicationError(location, kRunLine,
                                            CurrentFailure(std::current_exception()));
        }
    }
    batcher.flush();
}

// Waits on the window's thread for the worker to end, painting but taking no user input. When
// the run lasts longer than `delayMs`, the progress dialog shows until then; cancelling it asks
// the worker to stop, and the wait goes on until it has.
void WaitWithDelayedProgress(QThread& worker, int delayMs, int fileCount, RunState& state,
                             const std::function<RunProgress&()>& progressDialog) {
    QObject context;  // every connection of the wait ends with it
    bool finished = false;
    RunProgress* dialog = nullptr;  // set while the dialog is open
    QEventLoop wait;
    QObject::connect(&worker, &QThread::finished, &context, [&] {
        finished = true;
        wait.quit();
        if (dialog != nullptr) {
            dialog->finish();
        }
    });
    QTimer showDialog;
    showDialog.setSingleShot(true);
    QObject::connect(&showDialog, &QTimer::timeout, &context, [&] { wait.quit(); });
    showDialog.start(delayMs);
    while (!finished && showDialog.isActive()) {
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (finished) {
        return;
    }
    RunProgress& progress = progressDialog();
    const auto showProgress = [&] {
        progress.update(state.fileIndex.load() + 1, fileCount, state.lines.load());
    };
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &context, showProgress);
    ticker.start(100);
    showProgress();
    dialog = &progress;
    if (progress.exec(fileCount)) {
        state.cancel = true;
    }
    dialog = nullptr;
    ticker.stop();
    while (!finished) {
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

}  // namespace

ConversionRun::ConversionRun(QObject& window, ErrorReporter& reporter, StepTrap& trap,
                             ResultsModel& results, std::function<RunProgress&()> progress,
                             int progressDelayMs)
    : m_window(window),
      m_reporter(reporter),
      m_trap(trap),
      m_results(results),
      m_progress(std::move(progress)),
      m_progressDelayMs(progressDelayMs) {}

bool ConversionRun::run(const std::vector<std::string>& paths, const ConversionOptions& options) {
    RunState state;
    WindowThreadReporter reporter(m_window, m_reporter);
    bool listFull = false;
    BlockHandOff handOff([&](std::vector<StatementBlock>&& blocks) {
        if (listFull) {
            return;
        }
        try {
            m_results.appendBlocks(std::move(blocks));
        } catch (...) {
            // The list keeps the rows it holds; the run stops, as nothing more fits.
            listFull = true;
            state.cancel = true;
            m_trap.report(kTakeLine, CurrentFailure(std::current_exception()));
        }
    });

    std::unique_ptr<QThread> worker(QThread::create(
        [&] { ConvertAll(paths, options, state, reporter, m_trap.location(), handOff); }));
    worker->start();
    WaitWithDelayedProgress(*worker, m_progressDelayMs, static_cast<int>(paths.size()), state,
                            m_progress);
    worker->wait();
    // The last blocks arrived before the worker ended.
    handOff.takeLast();
    m_results.squeeze();
    return state.stopped;
}

}  // namespace quarrytab
