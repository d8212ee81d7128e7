#include "app/run_progress.h"

#include <QLocale>
#include <QProgressDialog>

namespace quarrytab {

QString RunProgressText(int fileNumber, int fileCount, quint64 lines) {
    return QStringLiteral("Converting file %1 of %2\n%3 lines done")
        .arg(fileNumber)
        .arg(fileCount)
        .arg(QLocale().toString(lines));
}

int RunProgressValue(int fileNumber, int fileCount, quint64 bytesDone, quint64 bytesTotal) {
    if (bytesTotal > 0) {
        const quint64 done = qMin(bytesDone, bytesTotal);
        return static_cast<int>(done * kRunProgressSteps / bytesTotal);
    }
    if (fileCount <= 0) {
        return 0;
    }
    return qBound(0, (fileNumber - 1) * kRunProgressSteps / fileCount, kRunProgressSteps);
}

DialogRunProgress::DialogRunProgress(QWidget* owner, QString title)
    : m_owner(owner), m_title(std::move(title)) {}

DialogRunProgress::~DialogRunProgress() = default;

bool DialogRunProgress::exec(int fileCount) {
    m_finished = false;
    QProgressDialog dialog(RunProgressText(1, fileCount, 0), QStringLiteral("Cancel"), 0,
                           kRunProgressSteps, m_owner);
    dialog.setWindowTitle(m_title);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setValue(0);
    m_dialog = &dialog;
    // Cancel hides the dialog, which ends exec(); finish() accepts it.
    dialog.exec();
    m_dialog = nullptr;
    return dialog.wasCanceled() && !m_finished;
}

void DialogRunProgress::update(int fileNumber, int fileCount, quint64 lines, quint64 bytesDone,
                               quint64 bytesTotal) {
    if (!m_dialog) {
        return;
    }
    m_dialog->setLabelText(RunProgressText(fileNumber, fileCount, lines));
    m_dialog->setValue(RunProgressValue(fileNumber, fileCount, bytesDone, bytesTotal));
}

void DialogRunProgress::finish() {
    m_finished = true;
    if (m_dialog) {
        m_dialog->accept();
    }
}

}  // namespace quarrytab
