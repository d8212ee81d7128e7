#include "app/qt_prompts.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

#include "app/rules_dialog.h"
#include "filelist/folder_walk.h"

namespace quarrytab {

namespace {

QMessageBox::StandardButton ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& text,
                                    const QString& title, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, title, DisplayLineBreaks(text), buttons, owner);
    // Descriptions and file names may hold "<"; never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QString DisplayLineBreaks(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QString FolderPathFromDialog(const QString& path) {
    QString folder = QDir::toNativeSeparators(path);
    const auto isRoot = [](const QString& f) {
        return f == QLatin1String("/") || f == QLatin1String("\\") ||
               (f.size() == 3 && f.at(1) == QLatin1Char(':') && f.at(2) == QLatin1Char('\\'));
    };
    while (folder.size() > 1 && folder.endsWith(QDir::separator()) && !isRoot(folder)) {
        folder.chop(1);
    }
    return folder;
}

void QtPrompts::information(const QString& text, const QString& title) {
    ShowBox(m_owner, QMessageBox::NoIcon, text, title, QMessageBox::Ok);
}

bool QtPrompts::question(const QString& text, const QString& title) {
    return ShowBox(m_owner, QMessageBox::NoIcon, text, title, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void QtPrompts::error(const QString& text, const QString& title) {
    ShowBox(m_owner, QMessageBox::Warning, text, title, QMessageBox::Ok);
}

QString QtPrompts::inputBox(const QString& prompt, const QString& title,
                            const QString& defaultText) {
    bool accepted = false;
    const QString answer = QInputDialog::getText(m_owner, title, DisplayLineBreaks(prompt),
                                                 QLineEdit::Normal, defaultText, &accepted);
    return accepted ? answer : QString();
}

QString QtPrompts::browseForFolder(const QString& prompt, const QString& initialFolder) {
    // A start folder that no longer exists leaves the dialog at its own default.
    const QString start = QDir(initialFolder).exists() ? initialFolder : QString();
    const QString chosen = QFileDialog::getExistingDirectory(
        m_owner, prompt, start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    return ResolveShownPath(FolderPathFromDialog(chosen));
}

QStringList QtPrompts::openFiles(const QString& title, const QString& filter) {
    QStringList files = QFileDialog::getOpenFileNames(m_owner, title, QString(), filter);
    for (QString& file : files) {
        file = ResolveShownPath(QDir::toNativeSeparators(file));
    }
    return files;
}

bool QtPrompts::openFolder(const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::fromNativeSeparators(folder)));
}

bool QtPrompts::readingRules(RulesRequest& request) {
    RulesDialog dialog(request, m_owner);
    const bool kept = dialog.exec() == QDialog::Accepted;
    request.size = dialog.size();
    if (kept) {
        request.rules = dialog.rules();
        request.window.CsvDelimiter = dialog.delimiter();
    }
    return kept;
}

}  // namespace quarrytab
