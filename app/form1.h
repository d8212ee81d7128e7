// The program's window: the input list and its adders on the left, the conversion choices,
// results and output choice on the right. Every choice is written to the settings store the
// moment it changes and restored at start-up.
#pragma once

#include <QCursor>
#include <QList>
#include <QPersistentModelIndex>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/conversion_run.h"
#include "app/reading_rules.h"
#include "app/tracked_prompts.h"
#include "app/window_error_reporter.h"
#include "engine/error_trap.h"
#include "results/save_results.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeView;
class QDragMoveEvent;
class QDropEvent;

namespace quarrytab {

struct CollectJob;
class FileCollector;
class FolderReader;
class InputFileList;
class Prompts;
class ResultsModel;
class RunProgress;
struct ConversionOptions;
class SettingsStore;
struct FileNotesOf;

// The title of every box that has none of its own: the caption without its last word, shortened
// word by word until it is at most 40 characters long.
QString ApplicationTitleFor(const QString& caption);

// The current user's desktop folder with a trailing separator, whether or not it exists yet.
// Throws Failure when the system names no desktop folder.
QString GetDesktopPath();

class Form1 : public QWidget {
    Q_OBJECT
  public:
    // `programFolder` is the folder the program runs from, without a trailing separator; the
    // optional skin, hand pointer and sample files are looked up in it.
    Form1(Prompts& prompts, SettingsStore& store, QString programFolder, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: appearance, caption, application title, list columns, then every remembered
    // choice. A failing step is reported and start-up goes on with the next one.
    void Form_Load();

    QString applicationTitle() const { return m_applicationTitle; }
    QString programFolder() const { return m_programFolder; }

    // The busy state of long actions: while set, the whole program shows the wait pointer and
    // hovering changes nothing. Setting it twice and clearing it once clears it.
    void setBusyPointer(bool busy);
    bool busyPointer() const { return m_busy; }

    // The pointer shown over the push buttons: the image of HAND-M.CUR when it loaded, otherwise
    // the ordinary pointer.
    QCursor buttonPointer() const { return m_buttonPointer; }

    // True when the skin was applied at start-up.
    bool skinApplied() const { return m_skinApplied; }

    // The input list's rows: the full paths of the files to convert, in order.
    InputFileList* inputList() const { return m_inputList; }
    // True while folder adds or drops are still collecting files.
    bool addingFiles() const;
    // Where folder adds and drops read folders; by default the real file system. Takes effect
    // for adds started afterwards.
    void setFolderReader(FolderReader& reader);
    // The pointer shown while a row of the input list is dragged: the image of drag.ico when it
    // loaded, otherwise the platform's closed hand.
    QCursor dragPointer() const { return m_dragPointer; }

    // The results list's rows, and whether a conversion run is going.
    ResultsModel* resultsModel() const { return m_resultsModel; }
    bool runInProgress() const { return m_runInProgress; }
    // The progress dialog of conversion runs and how long a run goes before it shows it; by
    // default a real dialog after half a second.
    void setRunProgress(std::shared_ptr<RunProgress> progress, int delayMs);
    // Where conversion runs read a file's bytes; by default the file itself.
    void setInputOpener(InputOpener opener) { m_inputOpener = std::move(opener); }
    // How saving creates the results file; by default CreateResultsFile.
    void setResultsFileFactory(ResultsFileFactory factory);

    // The rules for real-world files chosen through "Reading Rules..."; the classic rules unless
    // the user chose others.
    const ReadingRules& readingRules() const { return m_rules; }

  public slots:
    // The handlers of the controls, named for the control and its event; each trapped one keeps
    // its location text (handler_locations.h).
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void PushButton8_Click();
    void PushButton9_Click();
    void PushButton10_Click();

    void Option1_Click();
    void Option2_Click();
    void Option6_Click();
    void Option7_Click();
    void Option11_Click();
    void Option12_Click();
    void Option13_Click();
    void Option14_Click();
    void Option15_Click();
    void Check3_Click();
    void Text1_Change();
    void Text2_Change();
    void Text3_Change();
    void Text4_Change();
    void Text4_LostFocus();
    void ListView1_DblClick();
    void ListView1_MouseDown();
    void ListView1_ItemClick(const QModelIndex& index);
    void ListView1_MouseMove(const QPoint& position);
    void ListView1_MouseUp();
    void ListView1_OLEDragOver(QDragMoveEvent* event);
    void ListView1_OLEDragDrop(QDropEvent* event);
    void ListView2_DblClick();
    void ListView2_KeyDown(int keyCode);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    void connectHandlers();
    void setUpInputList();
    void startCollecting(CollectJob job, bool showBusy);
    void loadDragPointer();
    void setBackground(const QColor& colour);
    void applySkin();
    void loadHandPointer();
    void saveSampleSnapshotOnFirstStart();
    void SaveSampleSnapshot();
    void LoadSampleFiles();
    void connectResultsHandlers();
    // The steps of "Start Converting": whether a run may start (false when the handler ends
    // there), the options and the input paths, each captured once for the whole run.
    bool beginRun(StepTrap& trap);
    ConversionOptions captureRunOptions(StepTrap& trap);
    std::vector<std::string> captureRunPaths(StepTrap& trap);
    // The progress dialog of conversion runs, made when a run first needs it.
    RunProgress& runProgress();
    // The steps of "Save Results As Text File": the file's path (empty when there is none to
    // write), the overwrite question, and the save itself (true when it succeeded).
    QString resultsFilePath(StepTrap& trap);
    bool mayWriteResultsFile(StepTrap& trap, const QString& path);
    bool saveResultsFile(StepTrap& trap, const QString& path);
    int inputRowCount() const;
    QString inputRowText(int row) const;
    void setApplicationTitle();
    // The steps of Form_Load, in its order.
    void loadAppearance(StepTrap& trap);
    void nameListColumns(StepTrap& trap);
    void restoreStatementMode(StepTrap& trap);
    void restoreIncludeSemicolon(StepTrap& trap);
    void restoreTexts(StepTrap& trap);
    void restoreOutputChoice(StepTrap& trap);
    void restoreDelimiterChoice();
    void writeDelimiterChoice();
    void writeOutputChoice();
    // The reading rules: restored at start-up (lines 172 to 192, one per key), shown on their
    // button, and the message a run ends with.
    void restoreReadingRules(StepTrap& trap);
    void showReadingRules();
    void chooseDelimiter(const std::string& delimiter);
    QString runEndMessage(const QString& ending, const std::vector<FileNotesOf>& notes,
                          const ConversionOptions& options) const;

    // Writes one setting for a change handler. While a trapped handler runs a step, a failed
    // write is kept and reported with that step's line (the step caused the change); outside of
    // one, the first failed write of a run is shown once.
    void writeSetting(const QString& key, const QString& value);
    // Runs one step of a trapped handler, including the change handlers the step sets off.
    bool handlerStep(StepTrap& trap, int line, const std::function<void()>& action);
    // True while a handler is at work: running one of its steps, or waiting on a box. Events
    // delivered meanwhile (a box's own event loop, a save keeping the window painted) come in
    // the middle of that handler.
    bool handlerRunning() const { return m_stepDepth > 0 || m_prompts.open() > 0; }
    // "Start Converting" that waited for the list to be complete starts once no handler is at
    // work: a run inside another handler would change the results under it.
    void startWhenIdle();
    void postWaitingStart();

    void setOutputChoice(QRadioButton* button, bool selected);

  public:
    // The controls, named as the window's design names them.
    QTreeView* ListView1 = nullptr;
    QTreeView* ListView2 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton7 = nullptr;
    QPushButton* PushButton8 = nullptr;
    QPushButton* PushButton9 = nullptr;
    QPushButton* PushButton10 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QGroupBox* Frame6 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option6 = nullptr;
    QRadioButton* Option7 = nullptr;
    QRadioButton* Option11 = nullptr;
    QRadioButton* Option12 = nullptr;
    QRadioButton* Option13 = nullptr;
    QRadioButton* Option14 = nullptr;
    QRadioButton* Option15 = nullptr;
    QCheckBox* Check3 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;

  private:
    TrackedPrompts m_prompts;
    SettingsStore& m_store;
    QString m_programFolder;
    WindowErrorReporter m_reporter;
    InputFileList* m_inputList = nullptr;
    FileCollector* m_collector = nullptr;
    QList<quint64> m_busyCollections;   // adds and drops that show the busy pointer until done
    bool m_startWhenCollected = false;  // "Start Converting" waits for the list to be complete
    bool m_startWhenIdle = false;       // ... and then for the handler at work to end
    bool m_startPosted = false;         // startWhenIdle is queued
    // Dragging a row of the input list: set by a press on the list, cleared by the release.
    bool DragInProgress = false;
    QPersistentModelIndex DragSourceRow;  // outlives the gesture; invalid once its row is gone
    QCursor m_dragPointer{Qt::ClosedHandCursor};
    bool m_dragPointerLoaded = false;
    ResultsModel* m_resultsModel = nullptr;
    bool m_runInProgress = false;
    std::shared_ptr<RunProgress> m_runProgress;
    int m_progressDelayMs = 500;
    InputOpener m_inputOpener;
    ResultsFileFactory m_resultsFileFactory;
    ReadingRules m_rules;

    QString m_applicationTitle;
    QString m_outputStartFolder;  // start folder of the output-folder dialog
    QCursor m_buttonPointer{Qt::ArrowCursor};
    bool m_busy = false;
    bool m_skinApplied = false;

    int m_stepDepth = 0;  // > 0 while a trapped handler runs a step
    std::optional<Failure> m_pendingWriteFailure;
    bool m_writeFailureShown = false;
};

}  // namespace quarrytab
