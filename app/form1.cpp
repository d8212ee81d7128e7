#include "app/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTreeView>
#include <cstring>
#include <type_traits>
#include <variant>

#include "app/appearance.h"
#include "app/form1_layout.h"
#include "app/handler_locations.h"
#include "app/prompts.h"
#include "app/run_progress.h"
#include "app/settings_store.h"
#include "engine/failure_numbers.h"
#include "engine/paths.h"
#include "filelist/input_file_list.h"
#include "filelist/qt_text.h"
#include "results/results_model.h"

namespace quarrytab {

namespace {

const QString kCaption = QStringLiteral("Quarrytab Software");

// The window is laid out in twips; 15 twips make one pixel, and Qt scales pixels for high DPI.
int Twips(int twips) {
    return (twips + 7) / 15;
}

void Place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
}

QString BooleanText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// A stored number as the restore rules compare it; anything that is not a number is a type
// mismatch.
double ToNumber(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !qIsFinite(value)) {
        throw Failure(failures::kTypeMismatch, "Type mismatch");
    }
    return value;
}

// "True" and "False" in any letter case, or a number (non-zero is true).
bool ToBoolean(const QString& text) {
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    return ToNumber(word) != 0.0;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/quarrytab/quarrytab-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

// A frame as the design draws it: a thin etched border with the caption set into its top edge,
// and nothing painted inside, so the window's own background shows through.
class DesignFrame final : public QGroupBox {
  public:
    using QGroupBox::QGroupBox;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const QRect border = rect().adjusted(0, metrics.height() / 2, -1, -1);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(border.adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(border.adjusted(1, 1, 0, 0));
        if (title().isEmpty()) {
            return;
        }
        const QRect caption(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
        painter.fillRect(caption, palette().color(QPalette::Window));
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter, title());
    }
};

QTreeView* CreateList(QWidget* parent) {
    auto* view = new QTreeView(parent);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The column stays at its own width; dragging its edge right reveals long names.
    view->header()->setStretchLastSection(false);
    return view;
}

}  // namespace

QString ApplicationTitleFor(const QString& caption) {
    QString title = caption;
    do {
        const qsizetype lastSpace = title.lastIndexOf(QLatin1Char(' '));
        if (lastSpace < 0) {
            break;
        }
        title.truncate(lastSpace);
    } while (title.size() > 40);
    return title;
}

QString GetDesktopPath() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty()) {
        throw Failure(failures::kInvalidCall, "The desktop folder is not known");
    }
    QString path = QDir::toNativeSeparators(desktop);
    if (!path.endsWith(QDir::separator())) {
        path += QDir::separator();
    }
    return path;
}

Form1::Form1(Prompts& prompts, SettingsStore& store, QString programFolder, QWidget* parent)
    : QWidget(parent),
      m_prompts(prompts, [this] { postWaitingStart(); }),
      m_store(store),
      m_programFolder(std::move(programFolder)),
      m_reporter(m_prompts) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kCaption);
    setFixedSize(Twips(15960), Twips(6630));

    QFont font(WindowFontFamily());
    font.setBold(true);
    font.setPointSizeF(9);
    setFont(font);

    setAutoFillBackground(true);
    createControls();
    // The design look is white; the skin turns it to the system's button face.
    setBackground(Qt::white);
    connectHandlers();
    connectResultsHandlers();
    setUpInputList();
}

void Form1::setBackground(const QColor& colour) {
    // The window and the controls drawn on its background; text boxes, lists and push buttons
    // keep their own colours.
    QList<QWidget*> targets{this};
    for (QWidget* child : findChildren<QWidget*>()) {
        if (qobject_cast<QGroupBox*>(child) || qobject_cast<QRadioButton*>(child) ||
            qobject_cast<QCheckBox*>(child) || qobject_cast<QLabel*>(child)) {
            targets.append(child);
        }
    }
    for (QWidget* widget : targets) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, colour);
        widget->setPalette(palette);
    }
}

Form1::~Form1() {
    setBusyPointer(false);
}

void Form1::createControls() {
    QFont buttonFont = font();
    buttonFont.setPointSizeF(11.25);
    for (const ControlLayout& layout : kForm1Layout) {
        QWidget* parent = std::strcmp(layout.parent, kWindowName) == 0
                              ? this
                              : findChild<QWidget*>(QLatin1String(layout.parent));
        const QString caption = QString::fromUtf8(layout.caption);
        QWidget* control = std::visit(
            [&](auto member) -> QWidget* {
                using Control =
                    std::remove_pointer_t<std::remove_reference_t<decltype(this->*member)>>;
                Control* created = nullptr;
                if constexpr (std::is_same_v<Control, QTreeView>) {
                    created = CreateList(parent);
                } else if constexpr (std::is_same_v<Control, QGroupBox>) {
                    created = new DesignFrame(caption, parent);
                } else if constexpr (std::is_same_v<Control, QPushButton>) {
                    created = new QPushButton(caption, parent);
                    created->setFont(buttonFont);
                    created->setAutoDefault(false);
                    created->setCursor(m_buttonPointer);
                } else {
                    created = new Control(caption, parent);
                }
                if constexpr (std::is_base_of_v<QAbstractButton, Control>) {
                    created->setChecked(layout.checked);
                }
                this->*member = created;
                return created;
            },
            layout.member);
        control->setObjectName(QLatin1String(layout.name));
        if (layout.toolTip != nullptr) {
            control->setToolTip(QString::fromUtf8(layout.toolTip));
        }
        Place(control, layout.left, layout.top, layout.width, layout.height);
    }
    m_inputList = new InputFileList(this);
    ListView1->setModel(m_inputList);
    m_resultsModel = new ResultsModel(this);
    ListView2->setModel(m_resultsModel);
}

void Form1::connectHandlers() {
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(PushButton10, &QPushButton::clicked, this, &Form1::PushButton10_Click);

    // An option button's click is its selection, by the user or by start-up; being deselected
    // by a neighbour is not a click.
    const auto onSelect = [this](QRadioButton* button, void (Form1::*handler)()) {
        connect(button, &QRadioButton::toggled, this, [this, handler](bool selected) {
            if (selected) {
                (this->*handler)();
            }
        });
    };
    onSelect(Option1, &Form1::Option1_Click);
    onSelect(Option2, &Form1::Option2_Click);
    onSelect(Option6, &Form1::Option6_Click);
    onSelect(Option7, &Form1::Option7_Click);
    onSelect(Option11, &Form1::Option11_Click);
    onSelect(Option12, &Form1::Option12_Click);
    onSelect(Option13, &Form1::Option13_Click);
    onSelect(Option14, &Form1::Option14_Click);
    onSelect(Option15, &Form1::Option15_Click);
    connect(Check3, &QCheckBox::toggled, this, &Form1::Check3_Click);

    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    connect(Text3, &QLineEdit::textChanged, this, &Form1::Text3_Change);
    connect(Text4, &QLineEdit::textChanged, this, &Form1::Text4_Change);
    Text4->installEventFilter(this);
}

void Form1::Form_Load() {
    StepTrap trap(m_reporter, locations::kFormLoad);
    // Line 100 holds no statement and arming the trap is line 102.
    loadAppearance(trap);           // lines 104 to 130
    nameListColumns(trap);          // lines 132 to 138
    restoreStatementMode(trap);     // lines 140 to 144
    restoreIncludeSemicolon(trap);  // lines 148 to 152
    restoreTexts(trap);             // lines 156 to 162
    restoreOutputChoice(trap);      // lines 164 to 168
    handlerStep(trap, 170, [&] { restoreDelimiterChoice(); });
    restoreReadingRules(trap);  // lines 172 to 192
}

void Form1::loadAppearance(StepTrap& trap) {
    handlerStep(trap, 104, [&] { applySkin(); });
    bool handPointerExists = true;  // a failed test runs the step it guards
    handlerStep(trap, 104, [&] {
        handPointerExists =
            PathExists(ToUtf8(m_programFolder + QDir::separator() + QStringLiteral("HAND-M.CUR")));
    });
    if (handPointerExists) {
        handlerStep(trap, 106, [&] { loadHandPointer(); });
    }
    handlerStep(trap, 108, [&] { saveSampleSnapshotOnFirstStart(); });
    handlerStep(trap, 128, [&] { setWindowTitle(kCaption); });
    handlerStep(trap, 128, [&] { setWindowIcon(ProgramIcon()); });
    handlerStep(trap, 130, [&] { setApplicationTitle(); });
}

void Form1::nameListColumns(StepTrap& trap) {
    const auto nameColumn = [](QTreeView* view, const QString& header) {
        if (!view->model()->setHeaderData(0, Qt::Horizontal, header)) {
            throw Failure(failures::kInvalidCall, "The list has no column to name");
        }
    };
    handlerStep(trap, 132, [&] { nameColumn(ListView1, QStringLiteral("CSV File(s)")); });
    handlerStep(trap, 134, [&] { ListView1->setColumnWidth(0, Twips(7200)); });
    handlerStep(trap, 136, [&] { nameColumn(ListView2, QStringLiteral("Result(s)")); });
    handlerStep(trap, 138, [&] { ListView2->setColumnWidth(0, Twips(7200)); });
}

void Form1::restoreStatementMode(StepTrap& trap) {
    // "1" selects Option6, "2" Option7, any other number leaves Option7.
    const auto storedModeIs = [&](double mode) {
        return ToNumber(m_store.ReadSetting(QStringLiteral("Option"), QStringLiteral("2"))) == mode;
    };
    bool insertOnly = true;
    handlerStep(trap, 140, [&] { insertOnly = storedModeIs(1.0); });
    if (insertOnly) {
        handlerStep(trap, 142, [&] { Option6->setChecked(true); });
        return;
    }
    bool createAndInsert = true;
    handlerStep(trap, 142, [&] { createAndInsert = storedModeIs(2.0); });
    if (createAndInsert) {
        handlerStep(trap, 144, [&] { Option7->setChecked(true); });
    }
}

void Form1::restoreIncludeSemicolon(StepTrap& trap) {
    // Only the exact word "True" checks the box.
    bool include = true;
    handlerStep(trap, 148, [&] {
        include = m_store.ReadSetting(QStringLiteral("Include"), QStringLiteral("True")) ==
                  QLatin1String("True");
    });
    if (include) {
        handlerStep(trap, 150, [&] { Check3->setChecked(true); });
    } else {
        handlerStep(trap, 152, [&] { Check3->setChecked(false); });
    }
}

void Form1::restoreTexts(StepTrap& trap) {
    handlerStep(trap, 156, [&] {
        Text1->setText(m_store.ReadSetting(QStringLiteral("Table Name"), QStringLiteral("Table1")));
    });
    handlerStep(trap, 158, [&] {
        Text2->setText(m_store.ReadSetting(QStringLiteral("Table Delimited"), QStringLiteral("'")));
    });
    handlerStep(trap, 160, [&] {
        // The desktop is looked up even when a folder is stored; without it nothing is restored.
        const QString desktop = GetDesktopPath();
        Text3->setText(m_store.ReadSetting(QStringLiteral("Output Folder"), desktop));
    });
    handlerStep(trap, 162, [&] {
        Text4->setText(m_store.ReadSetting(QStringLiteral("Other"), QStringLiteral("|")));
    });
}

void Form1::restoreOutputChoice(StepTrap& trap) {
    handlerStep(trap, 164, [&] {
        setOutputChoice(Option1, ToBoolean(m_store.ReadSetting(QStringLiteral("Option1"),
                                                               QStringLiteral("1"))));
    });
    handlerStep(trap, 166, [&] {
        setOutputChoice(Option2, ToBoolean(m_store.ReadSetting(QStringLiteral("Option2"),
                                                               QStringLiteral("0"))));
    });
    bool outputToFolder = true;
    handlerStep(trap, 166, [&] { outputToFolder = Option1->isChecked(); });
    handlerStep(trap, 168, [&] { Frame2->setEnabled(outputToFolder); });
}

bool Form1::handlerStep(StepTrap& trap, int line, const std::function<void()>& action) {
    ++m_stepDepth;
    const bool ran = trap.step(line, [&] {
        m_pendingWriteFailure.reset();
        action();
        if (m_pendingWriteFailure) {
            const Failure failure = *m_pendingWriteFailure;
            m_pendingWriteFailure.reset();
            throw failure;
        }
    });
    --m_stepDepth;
    if (m_stepDepth == 0) {
        postWaitingStart();
    }
    return ran;
}

void Form1::postWaitingStart() {
    if (!m_startWhenIdle || m_startPosted || handlerRunning()) {
        return;
    }
    m_startPosted = true;
    QMetaObject::invokeMethod(this, &Form1::startWhenIdle, Qt::QueuedConnection);
}

void Form1::startWhenIdle() {
    m_startPosted = false;
    // Delivered inside a handler that began after it was queued: that handler's end posts it
    // again.
    if (!m_startWhenIdle || handlerRunning()) {
        return;
    }
    m_startWhenIdle = false;
    PushButton2_Click();
}

void Form1::writeSetting(const QString& key, const QString& value) {
    try {
        m_store.WriteSetting(key, value);
    } catch (const Failure& failure) {
        if (m_stepDepth > 0) {
            if (!m_pendingWriteFailure) {
                m_pendingWriteFailure = failure;
            }
            return;
        }
        // A change by the user: the window keeps the choice; say once that it is not kept.
        if (!m_writeFailureShown) {
            m_writeFailureShown = true;
            m_prompts.error(QString::fromStdString(failure.description()) +
                                QStringLiteral("\r\n\r\nYour choices stay in effect until the "
                                               "program closes but will not be remembered."),
                            m_applicationTitle);
        }
    }
}

void Form1::setOutputChoice(QRadioButton* button, bool selected) {
    if (selected) {
        button->setChecked(true);
        return;
    }
    // The buttons of a frame normally keep one selected; a stored "False" for both clears both.
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

void Form1::restoreDelimiterChoice() {
    QRadioButton* const buttons[] = {Option11, Option12, Option13, Option14, Option15};
    const char* const keys[] = {"Option11", "Option12", "Option13", "Option14", "Option15"};
    for (int i = 0; i < 5; ++i) {
        if (m_store.ReadSetting(QLatin1String(keys[i]), QString()) == QLatin1String("True")) {
            buttons[i]->setChecked(true);
            return;
        }
    }
    Option11->setChecked(true);
}

void Form1::applySkin() {
    const QChar separator = QDir::separator();
    const QString skinFile =
        m_programFolder + separator + QStringLiteral("x") + separator + QStringLiteral("o.cjs");
    if (!QFileInfo(skinFile).isFile()) {
        return;
    }
    setBackground(QGuiApplication::palette().color(QPalette::Button));
    ApplyStyleSheet(*this, ReadSkinFile(skinFile));
    m_skinApplied = true;
}

void Form1::loadHandPointer() {
    const QString cursorFile = m_programFolder + QDir::separator() + QStringLiteral("HAND-M.CUR");
    m_buttonPointer = LoadCursorFile(cursorFile);
    for (QPushButton* button : {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5,
                                PushButton6, PushButton7, PushButton8, PushButton9, PushButton10}) {
        button->setCursor(m_buttonPointer);
    }
}

void Form1::setApplicationTitle() {
    m_applicationTitle = ApplicationTitleFor(windowTitle());
}

void Form1::setBusyPointer(bool busy) {
    if (busy == m_busy) {
        return;
    }
    m_busy = busy;
    // The override shows over every window of the program and hides the hand over the buttons,
    // so hovering changes nothing while a long action runs.
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

void Form1::PushButton6_Click() {
    StepTrap trap(m_reporter, locations::kPushButton6);
    // Arming the trap is line 100.
    handlerStep(trap, 102, [&] {
        m_outputStartFolder = m_store.ReadSetting(QStringLiteral("LastFolderDot"), QString());
    });
    QString folder;
    const bool picked = handlerStep(trap, 104, [&] {
        folder =
            m_prompts.browseForFolder(QStringLiteral("Please select folder:"), m_outputStartFolder);
    });
    // A cancelled dialog, or one that failed, changes nothing.
    if (!picked || folder.isEmpty()) {
        return;
    }
    handlerStep(trap, 106, [&] {
        m_outputStartFolder = folder;
        m_store.WriteSetting(QStringLiteral("LastFolderDot"), folder);
    });
    bool needsSeparator = true;
    handlerStep(trap, 106, [&] { needsSeparator = !folder.endsWith(QDir::separator()); });
    if (needsSeparator) {
        handlerStep(trap, 108, [&] { Text3->setText(folder + QDir::separator()); });
    } else {
        handlerStep(trap, 108, [&] { Text3->setText(folder); });
    }
}

void Form1::Option6_Click() {
    writeSetting(QStringLiteral("Option"), QStringLiteral("1"));
}
void Form1::Option7_Click() {
    writeSetting(QStringLiteral("Option"), QStringLiteral("2"));
}

void Form1::Check3_Click() {
    writeSetting(QStringLiteral("Include"), BooleanText(Check3->isChecked()));
}

void Form1::Text1_Change() {
    writeSetting(QStringLiteral("Table Name"), Text1->text());
}
void Form1::Text2_Change() {
    writeSetting(QStringLiteral("Table Delimited"), Text2->text());
}
void Form1::Text3_Change() {
    writeSetting(QStringLiteral("Output Folder"), Text3->text());
}
void Form1::Text4_Change() {
    writeSetting(QStringLiteral("Other"), Text4->text());
}

void Form1::writeOutputChoice() {
    writeSetting(QStringLiteral("Option1"), BooleanText(Option1->isChecked()));
    writeSetting(QStringLiteral("Option2"), BooleanText(Option2->isChecked()));
    Frame2->setEnabled(Option1->isChecked());
}

void Form1::Option1_Click() {
    writeOutputChoice();
}
void Form1::Option2_Click() {
    writeOutputChoice();
}

void Form1::writeDelimiterChoice() {
    writeSetting(QStringLiteral("Option11"), BooleanText(Option11->isChecked()));
    writeSetting(QStringLiteral("Option12"), BooleanText(Option12->isChecked()));
    writeSetting(QStringLiteral("Option13"), BooleanText(Option13->isChecked()));
    writeSetting(QStringLiteral("Option14"), BooleanText(Option14->isChecked()));
    writeSetting(QStringLiteral("Option15"), BooleanText(Option15->isChecked()));
}

void Form1::Option11_Click() {
    writeDelimiterChoice();
}
void Form1::Option12_Click() {
    writeDelimiterChoice();
}
void Form1::Option13_Click() {
    writeDelimiterChoice();
}
void Form1::Option14_Click() {
    writeDelimiterChoice();
}
void Form1::Option15_Click() {
    writeDelimiterChoice();
}

void Form1::Text4_LostFocus() {
    // An empty delimiter would cut nothing; a text of spaces is a delimiter like any other.
    if (!Text4->text().isEmpty() || m_runInProgress) {
        return;
    }
    m_prompts.information(QStringLiteral("You forgot to input a value."), m_applicationTitle);
    Text4->setFocus(Qt::OtherFocusReason);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Text4 && event->type() == QEvent::FocusOut) {
        // Only a move to another control of the window counts, not the window losing the focus
        // (another program, a message box, a menu).
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Nor does a click on "Start Converting": the focus then leaves for a run, and the
        // reminder belongs to moving between fields.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            QApplication::focusWidget() != PushButton2) {
            // After the focus change is complete, so the message box does not run inside it.
            QMetaObject::invokeMethod(this, &Form1::Text4_LostFocus, Qt::QueuedConnection);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
    // Every choice is already stored; closing the window ends the program.
    event->accept();
    QCoreApplication::quit();
}

}  // namespace quarrytab
