// The window's results side: the conversion run behind "Start Converting", the results list's
// removal handlers, "Clear Results", saving, copying and the sample files.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeView>
#include <algorithm>
#include <memory>
#include <utility>

#include "app/conversion_run.h"
#include "app/form1.h"
#include "app/handler_locations.h"
#include "app/prompts.h"
#include "app/run_notes.h"
#include "app/run_progress.h"
#include "app/settings_store.h"
#include "engine/conversion.h"
#include "engine/paths.h"
#include "filelist/input_file_list.h"
#include "filelist/qt_text.h"
#include "filelist/sample_files.h"
#include "results/clipboard_text.h"
#include "results/results_model.h"
#include "results/save_results.h"

namespace quarrytab {

namespace {

constexpr int kDeleteKey = 46;

const QString kNoFilesAdded = QStringLiteral("No files added.");
const QString kFolderDoesNotExist =
    QStringLiteral("Folder does not exist. Please select another folder.");
const QString kDone = QStringLiteral("Done.");
const QString kCancelled = QStringLiteral("Conversion cancelled.");
const QString kStopped = QStringLiteral("Stopped at a row of another width.");

// Lets the window's thread paint and run its timers during a long action while the user's input
// waits: nothing the user does can change the rows an action is working through.
void KeepWindowPainted() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// Passes the Delete key of the results list to its handler.
class DeleteKeyFilter final : public QObject {
  public:
    DeleteKeyFilter(QObject* parent, std::function<void(int)> onKey)
        : QObject(parent), m_onKey(std::move(onKey)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            m_onKey(kDeleteKey);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void(int)> m_onKey;
};

}  // namespace

void Form1::connectResultsHandlers() {
    ListView2->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(ListView2, &QTreeView::doubleClicked, this, [this] { ListView2_DblClick(); });
    ListView2->installEventFilter(
        new DeleteKeyFilter(ListView2, [this](int keyCode) { ListView2_KeyDown(keyCode); }));
    setResultsFileFactory({});
}

void Form1::setRunProgress(std::shared_ptr<RunProgress> progress, int delayMs) {
    m_runProgress = std::move(progress);
    m_progressDelayMs = delayMs;
}

void Form1::setResultsFileFactory(ResultsFileFactory factory) {
    // By default the file is named by the path's own bytes, which a QString keeps as escapes
    // where they are no UTF-8.
    m_resultsFileFactory =
        factory ? std::move(factory) : ResultsFileFactory([](const QString& path) {
            return CreateResultsFile(std::string_view(ToPathBytes(path)));
        });
}

int Form1::inputRowCount() const {
    return ListView1->model()->rowCount();
}

QString Form1::inputRowText(int row) const {
    const QAbstractItemModel* model = ListView1->model();
    return model->data(model->index(row, 0), Qt::EditRole).toString();
}

void Form1::PushButton2_Click() {
    StepTrap trap(m_reporter, locations::kPushButton2);
    // Line 100 holds no statement and arming the trap is line 102.
    if (!beginRun(trap)) {  // lines 104 to 110, 214 and 216
        return;
    }
    handlerStep(trap, 112, [&] { setBusyPointer(true); });
    handlerStep(trap, 114, [&] { m_resultsModel->clear(); });
    const ConversionOptions options = captureRunOptions(trap);     // lines 116 to 152
    const std::vector<std::string> paths = captureRunPaths(trap);  // lines 156 and 158

    RunEnd end = RunEnd::Finished;
    std::vector<FileNotesOf> notes;
    handlerStep(trap, 164, [&] {
        ConversionRun run(
            m_reporter, trap, *m_resultsModel, [this]() -> RunProgress& { return runProgress(); },
            m_progressDelayMs, m_inputOpener);
        end = run.run(paths, options);
        notes = run.notes();
    });

    // A list that could hold no more was reported at its step; the run then ends as usual.
    const bool cancelled = end == RunEnd::Cancelled;
    handlerStep(trap, 210, [&] {
        // Rows of another width may stop a run under the rules; that is no cancel.
        const bool stopped = std::any_of(
            notes.begin(), notes.end(), [](const FileNotesOf& file) { return file.notes.stopped; });
        const QString ending = stopped ? kStopped : cancelled ? kCancelled : kDone;
        m_prompts.information(runEndMessage(ending, notes, options), m_applicationTitle);
    });
    handlerStep(trap, 212, [&] { setBusyPointer(false); });
    m_runInProgress = false;
}

bool Form1::beginRun(StepTrap& trap) {
    bool running = false;
    // While an add or a drop is still collecting rows the list is not complete yet: the run
    // starts once it is.
    handlerStep(trap, 104, [&] {
        running = m_runInProgress;
        if (!running && addingFiles()) {
            m_startWhenCollected = true;
            running = true;
        }
    });
    if (running) {
        return false;
    }
    handlerStep(trap, 106, [&] { m_runInProgress = true; });

    bool noFiles = false;
    handlerStep(trap, 108, [&] { noFiles = inputRowCount() == 0; });
    if (noFiles) {
        handlerStep(trap, 216, [&] { m_prompts.information(kNoFilesAdded, m_applicationTitle); });
        m_runInProgress = false;
        return false;
    }
    bool noFolder = false;
    handlerStep(trap, 110, [&] {
        noFolder = !FolderExists(ToPathBytes(Text3->text())) && !Option2->isChecked();
    });
    if (noFolder) {
        handlerStep(trap, 214,
                    [&] { m_prompts.information(kFolderDoesNotExist, m_applicationTitle); });
        m_runInProgress = false;
        return false;
    }
    return true;
}

ConversionOptions Form1::captureRunOptions(StepTrap& trap) {
    ConversionOptions options;
    options.CsvDelimiter.clear();
    const std::pair<QRadioButton*, const char*> delimiters[] = {
        {Option11, ","}, {Option12, ", "}, {Option13, ";"}, {Option14, "\t"}};
    int delimiterStep = 116;
    bool chosen = false;
    for (const auto& choice : delimiters) {
        handlerStep(trap, delimiterStep, [&] {
            if (!chosen && choice.first->isChecked()) {
                options.CsvDelimiter = choice.second;
                chosen = true;
            }
        });
        delimiterStep += 4;
    }
    handlerStep(trap, 130, [&] {
        if (!chosen && Option15->isChecked()) {
            options.CsvDelimiter = ToUtf8(Text4->text());
        }
    });
    handlerStep(trap, 136, [&] { options.DelimitingChar = ToUtf8(Text2->text()); });
    handlerStep(trap, 138, [&] {
        options.ClosingDelimitingChar = ClosingDelimiterFor(options.DelimitingChar);
    });
    // The rest of the capture, reported with the last step that derives an option.
    handlerStep(trap, 152, [&] {
        options.TableName = ToUtf8(Text1->text());
        options.Mode =
            Option7->isChecked() ? StatementMode::CreateAndInsert : StatementMode::InsertOnly;
        options.IncludeSemicolon = Check3->checkState() == Qt::Checked;
        options.SaveToOriginalFolder = Option2->isChecked();
        options.OutputFolder = ToPathBytes(Text3->text());
        // The rules for real-world files; with the classic rules nothing changes.
        ApplyRules(m_rules, options);
        options.WarnOnOtherDelimiter = m_rules.any() && Option11->isChecked();
    });
    return options;
}

std::vector<std::string> Form1::captureRunPaths(StepTrap& trap) {
    int count = 0;
    handlerStep(trap, 156, [&] { count = inputRowCount(); });
    std::vector<std::string> paths;
    for (int row = 0; row < count; ++row) {
        handlerStep(trap, 158, [&] { paths.push_back(ToPathBytes(inputRowText(row))); });
    }
    return paths;
}

RunProgress& Form1::runProgress() {
    if (!m_runProgress) {
        m_runProgress = std::make_shared<DialogRunProgress>(this, m_applicationTitle);
    }
    return *m_runProgress;
}

void Form1::ListView2_DblClick() {
    if (busyPointer()) {
        return;
    }
    if (m_resultsModel->rowCount() == 0) {
        return;
    }
    const QModelIndexList selected = ListView2->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    m_resultsModel->removeRows(selected.first().row(), 1);
}

void Form1::ListView2_KeyDown(int keyCode) {
    if (keyCode == kDeleteKey) {
        ListView2_DblClick();
    }
}

void Form1::PushButton9_Click() {
    StepTrap trap(m_reporter, locations::kPushButton9);
    // Arming the trap is line 100, and so is the clearing.
    handlerStep(trap, 100, [&] { m_resultsModel->clear(); });
}

void Form1::PushButton8_Click() {
    StepTrap trap(m_reporter, locations::kPushButton8);
    // Line 100 holds no statement and arming the trap is line 102.
    const QString path = resultsFilePath(trap);  // lines 110 to 116 and 146
    if (path.isEmpty()) {
        return;
    }
    if (!mayWriteResultsFile(trap, path)) {  // lines 120 and 122
        return;
    }
    handlerStep(trap, 130, [&] { setBusyPointer(true); });
    const bool saved = saveResultsFile(trap, path);  // lines 132 to 144
    handlerStep(trap, 144, [&] { setBusyPointer(false); });
    if (saved) {
        handlerStep(trap, 144, [&] { m_prompts.information(kDone, m_applicationTitle); });
    }
}

QString Form1::resultsFilePath(StepTrap& trap) {
    bool located = true;
    handlerStep(trap, 110, [&] {
        located = FolderExists(ToPathBytes(Text3->text())) || Option2->isChecked();
    });
    if (!located) {
        handlerStep(trap, 146,
                    [&] { m_prompts.information(kFolderDoesNotExist, m_applicationTitle); });
        return QString();
    }

    const QString fileName = QDir::separator() + QLatin1String(kResultsFileName);
    QString path;
    bool toFolder = false;
    handlerStep(trap, 112, [&] { toFolder = Option1->isChecked(); });
    if (toFolder) {
        handlerStep(trap, 114, [&] {
            path = FromPathBytes(FixDoubleBackslashes(ToPathBytes(Text3->text() + fileName)));
        });
        return path;
    }
    bool beside = false;
    handlerStep(trap, 114, [&] { beside = Option2->isChecked(); });
    if (!beside) {
        return path;
    }
    // Beside the first input file; with no input file there is no such folder.
    bool noFiles = false;
    handlerStep(trap, 116, [&] { noFiles = inputRowCount() == 0; });
    if (noFiles) {
        handlerStep(trap, 116, [&] { m_prompts.information(kNoFilesAdded, m_applicationTitle); });
        return path;
    }
    handlerStep(trap, 116, [&] {
        const std::string folder = GetFolderFromPath(ToPathBytes(inputRowText(0)));
        path = FromPathBytes(FixDoubleBackslashes(folder + ToPathBytes(fileName)));
    });
    return path;
}

bool Form1::mayWriteResultsFile(StepTrap& trap, const QString& path) {
    bool exists = true;
    handlerStep(trap, 120, [&] { exists = PathExists(ToPathBytes(path)); });
    if (!exists) {
        return true;
    }
    bool overwrite = false;
    handlerStep(trap, 122, [&] {
        overwrite = m_prompts.question(QStringLiteral("Are you sure you wish to overwrite ") +
                                           ShownText(path) + QStringLiteral(" ?"),
                                       m_applicationTitle);
    });
    return overwrite;
}

bool Form1::saveResultsFile(StepTrap& trap, const QString& path) {
    // The first failure ends the save: the old file stays as it was and no "Done." follows.
    std::unique_ptr<QFileDevice> file;
    if (!handlerStep(trap, 132, [&] { file = m_resultsFileFactory(path); }) || !file) {
        return false;
    }
    if (!handlerStep(trap, 134, [&] { OpenResultsFile(*file); })) {
        return false;
    }
    if (!handlerStep(trap, 140, [&] {
            WriteResultRows(m_resultsModel->store(), *file, &KeepWindowPainted);
        })) {
        DiscardResultsFile(*file);
        return false;
    }
    return handlerStep(trap, 144, [&] { CommitResultsFile(*file); });
}

void Form1::PushButton4_Click() {
    StepTrap trap(m_reporter, locations::kPushButton4);
    // Line 100 holds no statement and arming the trap is line 102.
    handlerStep(trap, 108, [&] {
        const int rows = m_resultsModel->rowCount();
        if (rows == 0) {
            return;  // an empty list leaves the clipboard as it was
        }
        // The clipboard shares the list's statement bytes and builds its text when pasted, so a
        // copy of a large list costs no second copy of the statements, let alone one in UTF-16.
        auto data = std::make_unique<StatementsMimeData>(m_resultsModel->store().shared());
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setMimeData(data.release());
    });
    handlerStep(trap, 108, [&] {
        m_prompts.information(QStringLiteral("Results have been copied to the clipboard.\r\rClick "
                                             "a text area where you normally type and press "
                                             "Ctrl+V to paste the clipboard."),
                              m_applicationTitle);
    });
}

void Form1::saveSampleSnapshotOnFirstStart() {
    if (m_store.ReadSetting(QLatin1String(kSnapshotKey), QString()).isEmpty()) {
        SaveSampleSnapshot();
    }
}

void Form1::SaveSampleSnapshot() {
    m_store.WriteSetting(QLatin1String(kSnapshotKey), SampleSnapshot(m_programFolder));
}

void Form1::LoadSampleFiles() {
    auto* list = qobject_cast<InputFileList*>(ListView1->model());
    const QString snapshot = m_store.ReadSetting(QLatin1String(kSnapshotKey), QString());
    for (const QString& path : SnapshotPaths(snapshot)) {
        if (list != nullptr && PathExists(ToPathBytes(path)) && !list->ItemInList(path)) {
            list->append(path);
        }
    }
    const bool open = m_prompts.question(
        QStringLiteral("Would you like this software to open the folder where these sample files "
                       "are stored (so that you can view them before working with them)?"),
        m_applicationTitle);
    if (open) {
        m_prompts.openFolder(SampleFolder(m_programFolder) + QDir::separator());
    }
}

void Form1::PushButton3_Click() {
    StepTrap trap(m_reporter, locations::kPushButton3);
    // Arming the trap is line 100, and so is the one call.
    handlerStep(trap, 100, [&] { LoadSampleFiles(); });
}

}  // namespace quarrytab
