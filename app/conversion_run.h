// One "Start Converting" run: the files are converted on a worker thread, their statements handed
// to the results list in blocks, and the progress dialog shown once the run has lasted a while.
// The window's thread keeps painting meanwhile; the user's input waits until the run ends.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QObject;

namespace quarrytab {

class ErrorReporter;
class ResultsModel;
class RunProgress;
class StepTrap;
struct ConversionOptions;

class ConversionRun {
  public:
    // Reports of the worker go to `reporter` on the window's thread; failures of the run itself
    // are reported under `trap`, at the handler's line for the whole run. `progress` gives the
    // dialog, made when the run first needs it, `progressDelayMs` after the start.
    ConversionRun(QObject& window, ErrorReporter& reporter, StepTrap& trap, ResultsModel& results,
                  std::function<RunProgress&()> progress, int progressDelayMs);

    // Converts the files in order; true when the run stopped early (cancelled, or the results
    // list could hold no more).
    bool run(const std::vector<std::string>& paths, const ConversionOptions& options);

  private:
    QObject& m_window;
    ErrorReporter& m_reporter;
    StepTrap& m_trap;
    ResultsModel& m_results;
    std::function<RunProgress&()> m_progress;
    int m_progressDelayMs;
};

}  // namespace quarrytab
