// The "Reading Rules" dialog: the rules for real-world files grouped as reading and writing, a
// live preview of the chosen input file as it will be read and written, OK, Cancel and a return
// to the classic rules. It holds no conversion logic: the preview comes from the engine.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QStringList>
#include <map>
#include <string>

#include "app/reading_rules.h"
#include "engine/preview.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTableWidget;
class QTimer;

namespace quarrytab {

// The bytes the preview reads from the start of a file, whatever its size.
inline constexpr std::size_t kPreviewSampleBytes = 1 << 20;

class RulesDialog final : public QDialog {
    Q_OBJECT
  public:
    RulesDialog(const RulesRequest& request, QWidget* parent = nullptr);

    // The rules as the controls show them, and setting every control to `rules`.
    ReadingRules rules() const;
    void setRules(const ReadingRules& rules);
    // The input file the preview shows (an index into the request's files; -1 for none).
    int shownFile() const;
    // The delimiter the window is to cut with: its own, or the one Detect found.
    const std::string& delimiter() const { return m_request.window.CsvDelimiter; }

    // Decides the rules of the shown file from its first bytes, as a run detecting them would,
    // and sets the controls and the delimiter to them; says in one line what it found.
    void detect();

    // Draws the preview again now (it is otherwise redrawn as soon as the window is idle after a
    // change), and how long the last drawing took.
    void refresh();
    qint64 lastRefreshMs() const { return m_lastRefreshMs; }

    // The controls, named as their object names.
    QCheckBox* quotedFields = nullptr;
    QCheckBox* headerRow = nullptr;
    QSpinBox* skipLines = nullptr;
    QLineEdit* commentPrefix = nullptr;
    QComboBox* encoding = nullptr;
    QCheckBox* detectEachFile = nullptr;
    QLabel* delimiterShown = nullptr;
    QComboBox* database = nullptr;
    QCheckBox* emptyAsNull = nullptr;
    QComboBox* otherWidth = nullptr;
    QSpinBox* rowsPerInsert = nullptr;
    QCheckBox* transaction = nullptr;
    QComboBox* previewFile = nullptr;
    QPushButton* detectButton = nullptr;
    QLabel* detectResult = nullptr;
    QTableWidget* previewTable = nullptr;
    QLabel* previewNotes = nullptr;
    QPlainTextEdit* previewStatements = nullptr;
    QPushButton* classicButton = nullptr;

  private:
    void build();
    QGroupBox* buildReading();
    QGroupBox* buildWriting();
    QHBoxLayout* buildFileRow();
    QSplitter* buildPreview();
    QDialogButtonBox* buildButtons();
    void nameControls();
    void connectChanges();
    void scheduleRefresh();
    void showDetectionRules();
    const FileSample& sampleOf(int file);
    void showPreview(const Preview& preview);
    QStringList shapeTable(const Preview& preview);
    void fillRows(const Preview& preview);
    void fillCells(int row, const PreviewRecord& record, std::size_t shown, const QString& tip);
    void fitColumns(const QStringList& headers);
    void showNotes(const Preview& preview);

    RulesRequest m_request;
    std::map<int, FileSample> m_samples;  // the files previewed so far
    QTimer* m_refreshTimer = nullptr;
    qint64 m_lastRefreshMs = 0;
};

}  // namespace quarrytab
