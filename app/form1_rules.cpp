// The window's reading rules: the "Reading Rules..." button and its dialog, the rules remembered
// in the settings store, shown on the button, and the notes a run with rules ends with.
#include <QAbstractItemModel>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>

#include "app/form1.h"
#include "app/handler_locations.h"
#include "app/prompts.h"
#include "app/run_notes.h"
#include "app/settings_store.h"
#include "filelist/qt_text.h"

namespace quarrytab {

namespace {

const QString kButtonTip = QStringLiteral(
    "Classic rules: every delimiter cuts, quotes mean "
    "nothing, the first line is data.");

// The mark on the button while any rule is on: a small filled dot.
QIcon RulesOnMark() {
    QPixmap dot(12, 12);
    dot.fill(Qt::transparent);
    QPainter painter(&dot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 140, 60));
    painter.drawEllipse(1, 1, 10, 10);
    return QIcon(dot);
}

}  // namespace

void Form1::restoreReadingRules(StepTrap& trap) {
    // Each key its own step: a damaged value is reported and leaves that rule classic.
    int line = 172;
    for (const QString& key : RulesSettingsKeys()) {
        handlerStep(trap, line, [&] {
            const QString value = m_store.ReadSetting(key, QString());
            if (!value.isNull()) {
                ReadRule(key, value, m_rules);
            }
        });
        line += 2;
    }
    showReadingRules();
}

void Form1::showReadingRules() {
    const QString summary = RulesSummary(m_rules);
    PushButton10->setIcon(summary.isEmpty() ? QIcon() : RulesOnMark());
    PushButton10->setToolTip(summary.isEmpty() ? kButtonTip : QStringLiteral("Rules: ") + summary);
    PushButton10->setAccessibleDescription(PushButton10->toolTip());
}

void Form1::PushButton10_Click() {
    StepTrap trap(m_reporter, locations::kPushButton10);
    // Arming the trap is line 100.
    RulesRequest request;
    handlerStep(trap, 102, [&] {
        request.rules = m_rules;
        request.window = captureRunOptions(trap);
        const QAbstractItemModel* model = ListView1->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            request.files << model->data(model->index(row, 0), Qt::EditRole).toString();
        }
        const QModelIndex current = ListView1->currentIndex();
        request.shownFile = current.isValid() ? current.row() : 0;
        const QStringList size = m_store.ReadSetting(QLatin1String(kRulesDialogSizeKey), QString())
                                     .split(QLatin1Char('x'));
        if (size.size() == 2) {
            request.size = QSize(size[0].toInt(), size[1].toInt());
        }
    });
    const std::string delimiter = request.window.CsvDelimiter;
    bool kept = false;
    handlerStep(trap, 104, [&] { kept = m_prompts.readingRules(request); });
    if (request.size.isValid() && !request.size.isEmpty()) {
        handlerStep(trap, 106, [&] {
            writeSetting(
                QLatin1String(kRulesDialogSizeKey),
                QStringLiteral("%1x%2").arg(request.size.width()).arg(request.size.height()));
        });
    }
    if (!kept) {
        return;
    }
    handlerStep(trap, 108, [&] {
        m_rules = request.rules;
        WriteRules(m_rules,
                   [this](const QString& key, const QString& value) { writeSetting(key, value); });
        if (request.window.CsvDelimiter != delimiter && !request.window.CsvDelimiter.empty()) {
            chooseDelimiter(request.window.CsvDelimiter);
        }
    });
    handlerStep(trap, 110, [&] { showReadingRules(); });
}

// The delimiter button that stands for `delimiter`, else "Other" with the text; stored as a
// click on it would store it.
void Form1::chooseDelimiter(const std::string& delimiter) {
    const std::pair<QRadioButton*, const char*> buttons[] = {
        {Option11, ","}, {Option12, ", "}, {Option13, ";"}, {Option14, "\t"}};
    QRadioButton* chosen = Option15;
    for (const auto& [button, text] : buttons) {
        if (delimiter == text) {
            chosen = button;
        }
    }
    if (chosen == Option15) {
        Text4->setText(FromUtf8(delimiter));
    }
    chosen->setChecked(true);
    writeDelimiterChoice();
}

QString Form1::runEndMessage(const QString& ending, const std::vector<FileNotesOf>& notes,
                             const ConversionOptions& options) const {
    if (!m_rules.any()) {
        return ending;
    }
    return RunEndMessage(ending, RulesSummary(m_rules), notes, options);
}

}  // namespace quarrytab
