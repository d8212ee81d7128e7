// The real dialogs behind Prompts: QMessageBox, QInputDialog, QFileDialog and QDesktopServices,
// each modal to the owner window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/prompts.h"

namespace quarrytab {

class QtPrompts final : public Prompts {
  public:
    // The window the dialogs belong to; may be set after the window is built.
    void setOwner(QWidget* owner) { m_owner = owner; }

    void information(const QString& text, const QString& title) override;
    bool question(const QString& text, const QString& title) override;
    void error(const QString& text, const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    QString browseForFolder(const QString& prompt, const QString& initialFolder) override;
    QStringList openFiles(const QString& title, const QString& filter) override;
    bool openFolder(const QString& folder) override;
    bool readingRules(RulesRequest& request) override;

  private:
    QPointer<QWidget> m_owner;
};

// The message texts keep CR LF and lone CR as line breaks; a label only breaks at LF.
QString DisplayLineBreaks(const QString& text);

// Turns a folder path from a dialog into the form callers get: native separators, no trailing
// separator except for a root.
QString FolderPathFromDialog(const QString& path);

}  // namespace quarrytab
