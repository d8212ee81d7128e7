// One "Start Converting" run: the files are converted on a worker thread, their statements handed
// to the results list in blocks, and the progress dialog shown once the run has lasted a while.
// The window's thread keeps painting meanwhile; the user's input waits until the run ends.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/run_notes.h"

namespace quarrytab {

class ByteSource;
class ErrorReporter;
class ResultsModel;
class RunProgress;
class StepTrap;
struct ConversionOptions;

// Where a run reads a file's bytes: a source for `path`, or null to open the file itself. Tests
// use it to hold a run at one file, as a read from an unreachable network share would.
using InputOpener = std::function<std::unique_ptr<ByteSource>(const std::string& path)>;

// How a run ended: every file converted, cancelled by the user, or stopped because the results
// list could hold no more (which was reported).
enum class RunEnd { Finished, Cancelled, ListFull };

class ConversionRun {
  public:
    // Reports of the worker go to `reporter` on the window's (the calling) thread; failures of the
    // run itself are reported under `trap`, at the handler's line for the whole run. `progress`
    // gives the dialog, made when the run first needs it, `progressDelayMs` after the start.
    ConversionRun(ErrorReporter& reporter, StepTrap& trap, ResultsModel& results,
                  std::function<RunProgress&()> progress, int progressDelayMs,
                  InputOpener opener = {});

    // Converts the files in order. A cancelled run ends at once for the user, whatever the
    // worker is doing: a worker that does not stop within a moment is left to finish on its
    // own, and whatever it makes or reports from then on is thrown away.
    RunEnd run(const std::vector<std::string>& paths, const ConversionOptions& options);

    // What the last run noticed in each file it converted, in order (see FileNotes).
    const std::vector<FileNotesOf>& notes() const { return m_notes; }

  private:
    class Steps;

    ErrorReporter& m_reporter;
    StepTrap& m_trap;
    ResultsModel& m_results;
    std::function<RunProgress&()> m_progress;
    int m_progressDelayMs;
    InputOpener m_opener;
    std::vector<FileNotesOf> m_notes;
};

// Waits up to `timeoutMs` for the workers that cancelled runs left behind to end; true when none
// runs any more. The program asks before it ends: a worker still running then (stuck in a read)
// would race the program's teardown, so the program ends at once without tearing down.
bool WaitForLeftBehindWorkers(int timeoutMs);

}  // namespace quarrytab
