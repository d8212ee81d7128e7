#include "app/rules_dialog.h"

#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/run_notes.h"
#include "engine/paths.h"
#include "filelist/qt_text.h"
#include "results/display_text.h"

namespace quarrytab {

namespace {

// The encodings most files come in; the box takes any other name the engine knows too.
const char* const kEncodings[] = {"utf-8",       "windows-1252", "iso-8859-1",
                                  "iso-8859-15", "windows-1250", "windows-1251",
                                  "utf-16",      "utf-16le",     "utf-16be"};
const QString kBytesAsTheyAre = QStringLiteral("(bytes as they are)");

const Dialect kDatabases[] = {Dialect::Classic, Dialect::Sqlite, Dialect::Postgres, Dialect::Mysql};
const RaggedMode kWidths[] = {RaggedMode::Keep, RaggedMode::Pad, RaggedMode::Skip,
                              RaggedMode::Fail};
const char* const kWidthCaptions[] = {"Keep them as they are", "Pad short rows with NULL",
                                      "Skip them", "Stop the conversion"};

// A cell's text on one line: line breaks and TABs shown as symbols.
QString CellText(const PreviewCell& cell) {
    if (cell.null) {
        return QStringLiteral("NULL");
    }
    QString text = DisplayText(cell.text);
    text.replace(QLatin1String("\r\n"), QStringLiteral(u"\u21b5"));
    text.replace(QLatin1Char('\n'), QStringLiteral(u"\u21b5"));
    text.replace(QLatin1Char('\r'), QStringLiteral(u"\u21b5"));
    text.replace(QLatin1Char('\t'), QStringLiteral(u"\u2192"));
    if (cell.cut) {
        text += QStringLiteral(u"\u2026");
    }
    return text;
}

constexpr int kWidestColumn = 320;

// "128 KiB", "1 MiB", "900 bytes".
QString SizeText(std::size_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) {
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    }
    if (bytes >= 10240) {
        return QStringLiteral("%1 KiB").arg(bytes >> 10);
    }
    return QStringLiteral("%1 bytes").arg(bytes);
}

// A row's heading: its number, " !" when it has another width, "…" when the sample cuts it.
QString RowMark(int row, const PreviewRecord& record) {
    QString mark = QString::number(row + 1);
    if (record.ragged) {
        mark += QStringLiteral(" !");
    }
    if (record.cut) {
        mark += QStringLiteral(u" \u2026");
    }
    return mark;
}

// What becomes of a record of another width under `mode`, and that the sample cuts it; `stopped`
// is set once a record stops the conversion, so every later one says so too.
QString RowTip(const PreviewRecord& record, const Preview& preview, RaggedMode mode,
               bool& stopped) {
    QString tip;
    if (record.ragged) {
        tip = QStringLiteral("%1 fields; the first record has %2: ")
                  .arg(record.fields)
                  .arg(preview.width);
        tip += stopped || mode == RaggedMode::Fail ? QStringLiteral("the conversion stops here")
               : mode == RaggedMode::Skip          ? QStringLiteral("left out")
               : mode == RaggedMode::Pad && record.fields < preview.width
                   ? QStringLiteral("padded with NULL")
                   : QStringLiteral("written as it is");
        stopped = stopped || mode == RaggedMode::Fail;
    }
    if (record.cut) {
        tip += (tip.isEmpty() ? QString() : QStringLiteral("; ")) +
               QStringLiteral("the preview reads the first %1 of the file only")
                   .arg(SizeText(preview.sampleBytes));
    }
    return tip;
}

// The statements one a line, "…" after them when the sample makes more.
QString StatementsText(const Preview& preview) {
    QString statements;
    for (const auto& statement : preview.statements) {
        statements += DisplayText(statement) + QLatin1Char('\n');
    }
    if (preview.moreStatements) {
        statements += QStringLiteral(u"\u2026\n");
    }
    return statements;
}

// The delimiter in words, as the Reading group shows it.
QString DelimiterWords(const std::string& delimiter) {
    const std::pair<const char*, const char*> named[] = {
        {",", "comma ,"}, {", ", "comma and space"}, {";", "semicolon ;"},
        {"\t", "TAB"},    {"|", "vertical bar |"},   {" ", "space"}};
    for (const auto& [text, words] : named) {
        if (delimiter == text) {
            return QLatin1String(words);
        }
    }
    return QLatin1Char('"') + DisplayText(delimiter) + QLatin1Char('"');
}

QSize DefaultSize() {
    return {980, 760};
}

}  // namespace

RulesDialog::RulesDialog(const RulesRequest& request, QWidget* parent)
    : QDialog(parent), m_request(request) {
    setObjectName(QStringLiteral("RulesDialog"));
    setWindowTitle(QStringLiteral("Reading Rules"));
    setSizeGripEnabled(true);
    build();
    setRules(request.rules);
    connectChanges();
    resize(request.size.isValid() && !request.size.isEmpty() ? request.size : DefaultSize());
    refresh();
}

void RulesDialog::build() {
    auto* rulesRow = new QHBoxLayout;
    rulesRow->addWidget(buildReading(), 1);
    rulesRow->addWidget(buildWriting(), 1);
    QHBoxLayout* fileRow = buildFileRow();
    QSplitter* splitter = buildPreview();
    QDialogButtonBox* buttons = buildButtons();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rulesRow);
    layout->addLayout(fileRow);
    layout->addWidget(splitter, 1);
    layout->addWidget(buttons);

    nameControls();
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(0);
    connect(m_refreshTimer, &QTimer::timeout, this, &RulesDialog::refresh);
}

QGroupBox* RulesDialog::buildReading() {
    auto* reading = new QGroupBox(QStringLiteral("Reading"), this);
    auto* readingForm = new QFormLayout(reading);
    quotedFields = new QCheckBox(QStringLiteral("&Quoted fields: \"a, b\" is one value"), reading);
    headerRow = new QCheckBox(QStringLiteral("&First line names the columns"), reading);
    skipLines = new QSpinBox(reading);
    skipLines->setRange(0, static_cast<int>(kMostSkipLines));
    commentPrefix = new QLineEdit(reading);
    commentPrefix->setPlaceholderText(QStringLiteral("none, e.g. #"));
    encoding = new QComboBox(reading);
    encoding->setEditable(true);
    encoding->setInsertPolicy(QComboBox::NoInsert);
    encoding->addItem(kBytesAsTheyAre);
    for (const char* name : kEncodings) {
        encoding->addItem(QLatin1String(name));
    }
    detectEachFile =
        new QCheckBox(QStringLiteral("Detect the r&ules of each file as it is converted"), reading);
    detectEachFile->setToolTip(
        QStringLiteral("Each file's delimiter, quoting and header are decided from its first "
                       "bytes; so are the lines to skip, the comment prefix and the encoding "
                       "unless they are set here."));
    delimiterShown = new QLabel(reading);
    delimiterShown->setToolTip(
        QStringLiteral("The window's delimiter choice; Detect sets it to the one it finds."));
    readingForm->addRow(QStringLiteral("Delimiter:"), delimiterShown);
    readingForm->addRow(quotedFields);
    readingForm->addRow(headerRow);
    readingForm->addRow(QStringLiteral("Lines to s&kip:"), skipLines);
    readingForm->addRow(QStringLiteral("&Comment lines start with:"), commentPrefix);
    readingForm->addRow(QStringLiteral("&Encoding:"), encoding);
    readingForm->addRow(detectEachFile);
    return reading;
}

QGroupBox* RulesDialog::buildWriting() {
    auto* writing = new QGroupBox(QStringLiteral("Writing"), this);
    auto* writingForm = new QFormLayout(writing);
    database = new QComboBox(writing);
    for (const Dialect dialect : kDatabases) {
        database->addItem(DatabaseName(dialect));
    }
    emptyAsNull = new QCheckBox(QStringLiteral("E&mpty fields as NULL"), writing);
    otherWidth = new QComboBox(writing);
    for (const char* caption : kWidthCaptions) {
        otherWidth->addItem(QLatin1String(caption));
    }
    rowsPerInsert = new QSpinBox(writing);
    rowsPerInsert->setRange(1, static_cast<int>(kMostRowsPerInsert));
    transaction = new QCheckBox(QStringLiteral("One &transaction per file"), writing);
    writingForm->addRow(QStringLiteral("Data&base:"), database);
    writingForm->addRow(emptyAsNull);
    writingForm->addRow(QStringLiteral("Rows of another &width:"), otherWidth);
    writingForm->addRow(QStringLiteral("&Rows per INSERT:"), rowsPerInsert);
    writingForm->addRow(transaction);
    return writing;
}

// The choice of the file previewed, the request's shown file chosen.
QHBoxLayout* RulesDialog::buildFileRow() {
    previewFile = new QComboBox(this);
    for (const QString& file : m_request.files) {
        previewFile->addItem(ShownText(QFileInfo(file).fileName()), file);
        previewFile->setItemData(previewFile->count() - 1, ShownText(file), Qt::ToolTipRole);
    }
    previewFile->setCurrentIndex(
        m_request.files.isEmpty()
            ? -1
            : qBound(0, m_request.shownFile, int(m_request.files.size()) - 1));
    auto* fileLabel = new QLabel(QStringLiteral("&Preview of:"), this);
    fileLabel->setBuddy(previewFile);
    detectButton = new QPushButton(QStringLiteral("&Detect"), this);
    detectButton->setToolTip(
        QStringLiteral("Set the delimiter and the reading rules to those this file's first "
                       "bytes show"));
    detectButton->setAutoDefault(false);
    connect(detectButton, &QPushButton::clicked, this, &RulesDialog::detect);
    detectResult = new QLabel(this);
    detectResult->setTextFormat(Qt::PlainText);
    detectResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    detectResult->setWordWrap(true);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(fileLabel);
    fileRow->addWidget(previewFile, 1);
    fileRow->addWidget(detectButton);
    fileRow->addWidget(detectResult, 2);
    return fileRow;
}

// The records' table with its notes above the statements, the table taking the most room.
QSplitter* RulesDialog::buildPreview() {
    previewTable = new QTableWidget(this);
    previewTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    previewTable->setSelectionMode(QAbstractItemView::ContiguousSelection);
    previewTable->setWordWrap(false);
    previewTable->setTabKeyNavigation(false);  // Tab leaves the table; the arrows move in it
    previewTable->verticalHeader()->setDefaultSectionSize(previewTable->fontMetrics().height() + 6);
    previewNotes = new QLabel(this);
    previewNotes->setWordWrap(true);
    previewNotes->setTextFormat(Qt::PlainText);
    previewNotes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    previewStatements = new QPlainTextEdit(this);
    previewStatements->setReadOnly(true);
    previewStatements->setLineWrapMode(QPlainTextEdit::NoWrap);
    previewStatements->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    previewStatements->setTabChangesFocus(true);
    // Read and copied from the keyboard as well.
    previewStatements->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                               Qt::TextSelectableByKeyboard);
    previewStatements->setFocusPolicy(Qt::StrongFocus);

    auto* tablePart = new QWidget(this);
    auto* tableLayout = new QVBoxLayout(tablePart);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addWidget(previewTable, 1);
    tableLayout->addWidget(previewNotes);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(tablePart);
    splitter->addWidget(previewStatements);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    return splitter;
}

QDialogButtonBox* RulesDialog::buildButtons() {
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    classicButton =
        buttons->addButton(QStringLiteral("C&lassic Rules"), QDialogButtonBox::ResetRole);
    classicButton->setToolTip(
        QStringLiteral("Every field cut at the delimiter, the first line data, the generic SQL"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(classicButton, &QPushButton::clicked, this, [this] { setRules(ReadingRules{}); });
    return buttons;
}

void RulesDialog::nameControls() {
    const std::pair<QWidget*, const char*> names[] = {{quotedFields, "quotedFields"},
                                                      {headerRow, "headerRow"},
                                                      {skipLines, "skipLines"},
                                                      {commentPrefix, "commentPrefix"},
                                                      {encoding, "encoding"},
                                                      {detectEachFile, "detectEachFile"},
                                                      {delimiterShown, "delimiterShown"},
                                                      {database, "database"},
                                                      {emptyAsNull, "emptyAsNull"},
                                                      {otherWidth, "otherWidth"},
                                                      {rowsPerInsert, "rowsPerInsert"},
                                                      {transaction, "transaction"},
                                                      {previewFile, "previewFile"},
                                                      {detectButton, "detectButton"},
                                                      {detectResult, "detectResult"},
                                                      {previewTable, "previewTable"},
                                                      {previewNotes, "previewNotes"},
                                                      {previewStatements, "previewStatements"},
                                                      {classicButton, "classicButton"}};
    for (const auto& [widget, name] : names) {
        widget->setObjectName(QLatin1String(name));
    }
}

void RulesDialog::connectChanges() {
    for (QCheckBox* box : {quotedFields, headerRow, detectEachFile, emptyAsNull, transaction}) {
        connect(box, &QCheckBox::toggled, this, &RulesDialog::scheduleRefresh);
    }
    for (QSpinBox* box : {skipLines, rowsPerInsert}) {
        connect(box, &QSpinBox::valueChanged, this, &RulesDialog::scheduleRefresh);
    }
    connect(detectEachFile, &QCheckBox::toggled, this, &RulesDialog::showDetectionRules);
    connect(commentPrefix, &QLineEdit::textChanged, this, &RulesDialog::scheduleRefresh);
    connect(encoding, &QComboBox::currentTextChanged, this, &RulesDialog::scheduleRefresh);
    for (QComboBox* box : {database, otherWidth, previewFile}) {
        connect(box, &QComboBox::currentIndexChanged, this, &RulesDialog::scheduleRefresh);
    }
}

void RulesDialog::scheduleRefresh() {
    m_refreshTimer->start();
}

// Under detection each file decides its own quoting, header and delimiter: those controls rest.
void RulesDialog::showDetectionRules() {
    const bool each = detectEachFile->isChecked();
    quotedFields->setEnabled(!each);
    headerRow->setEnabled(!each);
    delimiterShown->setText(each ? QStringLiteral("detected for each file")
                                 : DelimiterWords(m_request.window.CsvDelimiter));
}

void RulesDialog::detect() {
    const int file = shownFile();
    if (file < 0) {
        detectResult->setText(QStringLiteral("Add files to the list to detect their rules."));
        return;
    }
    const FileSample& sample = sampleOf(file);
    if (!sample.error.empty()) {
        detectResult->setText(FromUtf8(sample.error));
        return;
    }
    // Every reading rule decided afresh; the writing rules stay as they are.
    ConversionOptions given = m_request.window;
    ApplyRules(rules(), given);
    given.AutoRules = true;
    given.Kept = {};
    given.Kept.ragged = true;
    FileNotes notes;
    const ConversionOptions found = DecideRules(sample, given, notes);
    ReadingRules detected = rules();
    detected.QuotedFields = found.QuotedFields;
    detected.HeaderRow = found.HeaderRow;
    detected.SkipLines = found.SkipLines;
    detected.CommentPrefix = found.CommentPrefix;
    detected.Encoding = found.Encoding;
    m_request.window.CsvDelimiter = found.CsvDelimiter;
    setRules(detected);
    detectResult->setText(QStringLiteral("Found: ") + FromUtf8(notes.rulesChosen) +
                          QLatin1Char('.'));
    scheduleRefresh();
}

ReadingRules RulesDialog::rules() const {
    ReadingRules rules;
    rules.QuotedFields = quotedFields->isChecked();
    rules.HeaderRow = headerRow->isChecked();
    rules.SkipLines = static_cast<std::uint64_t>(skipLines->value());
    rules.CommentPrefix = ToUtf8(commentPrefix->text());
    const QString name = encoding->currentText().trimmed();
    rules.Encoding = name == kBytesAsTheyAre ? std::string() : ToUtf8(name);
    rules.DetectEachFile = detectEachFile->isChecked();
    rules.Database = kDatabases[qBound(0, database->currentIndex(), 3)];
    rules.EmptyAsNull = emptyAsNull->isChecked();
    rules.OtherWidth = kWidths[qBound(0, otherWidth->currentIndex(), 3)];
    rules.RowsPerInsert = static_cast<std::size_t>(rowsPerInsert->value());
    rules.Transaction = transaction->isChecked();
    return rules;
}

void RulesDialog::setRules(const ReadingRules& rules) {
    quotedFields->setChecked(rules.QuotedFields);
    headerRow->setChecked(rules.HeaderRow);
    skipLines->setValue(static_cast<int>(std::min<std::uint64_t>(rules.SkipLines, kMostSkipLines)));
    commentPrefix->setText(FromUtf8(rules.CommentPrefix));
    encoding->setCurrentText(rules.Encoding.empty() ? kBytesAsTheyAre : FromUtf8(rules.Encoding));
    detectEachFile->setChecked(rules.DetectEachFile);
    for (int i = 0; i < 4; ++i) {
        if (kDatabases[i] == rules.Database) {
            database->setCurrentIndex(i);
        }
        if (kWidths[i] == rules.OtherWidth) {
            otherWidth->setCurrentIndex(i);
        }
    }
    emptyAsNull->setChecked(rules.EmptyAsNull);
    rowsPerInsert->setValue(static_cast<int>(rules.RowsPerInsert));
    transaction->setChecked(rules.Transaction);
    showDetectionRules();
}

int RulesDialog::shownFile() const {
    return previewFile->currentIndex();
}

const FileSample& RulesDialog::sampleOf(int file) {
    auto found = m_samples.find(file);
    if (found == m_samples.end()) {
        m_samples.clear();  // one file's sample at a time
        found = m_samples
                    .emplace(file, ReadFileSample(ToPathBytes(m_request.files.at(file)),
                                                  kPreviewSampleBytes))
                    .first;
    }
    return found->second;
}

void RulesDialog::refresh() {
    m_refreshTimer->stop();
    QElapsedTimer timer;
    timer.start();
    const int file = shownFile();
    if (file < 0) {
        previewTable->clear();
        previewTable->setRowCount(0);
        previewTable->setColumnCount(0);
        previewStatements->clear();
        previewNotes->setText(
            QStringLiteral("Add files to the list to see how they will be read."));
        m_lastRefreshMs = timer.elapsed();
        return;
    }
    ConversionOptions options = m_request.window;
    ApplyRules(rules(), options);
    const std::string path = ToPathBytes(m_request.files.at(file));
    const FileSample& sample = sampleOf(file);
    showPreview(PreviewSample(sample, BaseNameOf(path), options));
    m_lastRefreshMs = timer.elapsed();
}

void RulesDialog::showPreview(const Preview& preview) {
    previewTable->setUpdatesEnabled(false);
    previewTable->clear();
    if (!preview.problem.empty()) {
        previewTable->setRowCount(0);
        previewTable->setColumnCount(0);
        previewStatements->clear();
        previewNotes->setText(FromUtf8(preview.problem));
        previewTable->setUpdatesEnabled(true);
        return;
    }
    const QStringList headers = shapeTable(preview);
    fillRows(preview);
    fitColumns(headers);
    previewTable->setUpdatesEnabled(true);
    previewStatements->setPlainText(StatementsText(preview));
    showNotes(preview);
}

// As many columns as the widest record, headed by the column names; returns the headings.
QStringList RulesDialog::shapeTable(const Preview& preview) {
    std::size_t columns = preview.columns.size();
    for (const auto& record : preview.records) {
        columns = std::max(columns, record.cells.size());
    }
    previewTable->setColumnCount(static_cast<int>(columns));
    previewTable->setRowCount(static_cast<int>(preview.records.size()));
    QStringList headers;
    for (std::size_t k = 0; k < columns; ++k) {
        headers << (k < preview.columns.size() ? DisplayText(preview.columns[k]) : QString());
    }
    previewTable->setHorizontalHeaderLabels(headers);
    return headers;
}

void RulesDialog::fillRows(const Preview& preview) {
    const RaggedMode mode = rules().OtherWidth;
    bool stopped = false;
    for (int row = 0; row < previewTable->rowCount(); ++row) {
        const PreviewRecord& record = preview.records[static_cast<std::size_t>(row)];
        const QString tip = RowTip(record, preview, mode, stopped);
        auto* header = new QTableWidgetItem(RowMark(row, record));
        header->setToolTip(tip);
        previewTable->setVerticalHeaderItem(row, header);
        std::size_t shown = record.cells.size();
        if (record.ragged && mode == RaggedMode::Pad) {
            shown = std::max(shown, preview.columns.size());
        }
        fillCells(row, record, shown, tip);
    }
}

// The row's first `shown` cells; those past the record's fields are the NULLs it is padded with.
void RulesDialog::fillCells(int row, const PreviewRecord& record, std::size_t shown,
                            const QString& tip) {
    const QBrush raggedBrush(QColor(255, 236, 200));
    const QBrush nullBrush(QColor(120, 120, 120));
    for (std::size_t k = 0; k < shown; ++k) {
        const bool padded = k >= record.cells.size();
        auto* item =
            new QTableWidgetItem(padded ? QStringLiteral("NULL") : CellText(record.cells[k]));
        if (padded || record.cells[k].null) {
            item->setForeground(nullBrush);
        }
        if (record.ragged) {
            item->setBackground(raggedBrush);
            item->setToolTip(tip);
        }
        previewTable->setItem(row, static_cast<int>(k), item);
    }
}

// Each column as wide as its widest text, within bounds; measured here rather than by the view,
// which asks every cell for all its roles.
void RulesDialog::fitColumns(const QStringList& headers) {
    const QFontMetrics metrics = previewTable->fontMetrics();
    for (int k = 0; k < previewTable->columnCount(); ++k) {
        int width = metrics.horizontalAdvance(headers[k]) + 24;
        for (int row = 0; row < previewTable->rowCount() && width < kWidestColumn; ++row) {
            if (const QTableWidgetItem* item = previewTable->item(row, k)) {
                width = std::max(width, metrics.horizontalAdvance(item->text()) + 12);
            }
        }
        previewTable->setColumnWidth(k, std::min(width, kWidestColumn));
    }
}

// How many records the sample holds and how many are shown, then the notes a run would give.
void RulesDialog::showNotes(const Preview& preview) {
    ConversionOptions applied = m_request.window;
    ApplyRules(rules(), applied);
    QStringList notes = NoteLines(preview.notes, applied);
    notes.prepend(QStringLiteral("%1 records in %2%3.")
                      .arg(preview.recordsInSample)
                      .arg(preview.complete
                               ? QStringLiteral("the file")
                               : QStringLiteral("its first ") + SizeText(preview.sampleBytes))
                      .arg(preview.records.size() < preview.recordsInSample
                               ? QStringLiteral(", the first %1 shown").arg(preview.records.size())
                               : QString()));
    if (preview.width > preview.columns.size()) {
        notes.insert(1, QStringLiteral("The first %1 of its %2 columns shown.")
                            .arg(preview.columns.size())
                            .arg(preview.width));
    }
    previewNotes->setText(notes.join(QLatin1Char(' ')));
}

}  // namespace quarrytab
