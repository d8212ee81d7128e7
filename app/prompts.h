// Every modal interaction of the window: message boxes, the input box, the folder picker, the
// open-files dialog and asking the desktop to open a folder. The window only talks to this
// interface, so tests can answer the dialogs from a script and read back what was shown.
#pragma once

#include <QString>
#include <QStringList>

#include "app/reading_rules.h"

namespace quarrytab {

class Prompts {
  public:
    virtual ~Prompts() = default;

    // A message with an OK button and no icon.
    virtual void information(const QString& text, const QString& title) = 0;

    // A question with Yes and No buttons and no icon; true when the user answered Yes.
    virtual bool question(const QString& text, const QString& title) = 0;

    // A message with an OK button and the warning icon (the "Application Error" report).
    virtual void error(const QString& text, const QString& title) = 0;

    // One line of text with OK and Cancel; Cancel gives "".
    virtual QString inputBox(const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;

    // The folder the user picked, as a native path without a trailing separator except for a
    // root ("C:\", "/"); "" when cancelled. `initialFolder` may be empty or no longer exist.
    virtual QString browseForFolder(const QString& prompt, const QString& initialFolder) = 0;

    // The files the user picked, as native paths in the order the dialog lists them; empty when
    // cancelled. `filter` uses Qt's form, e.g. "CSV Files (*.csv)".
    virtual QStringList openFiles(const QString& title, const QString& filter) = 0;

    // Asks the desktop to show a folder in its file manager; false when it refused.
    virtual bool openFolder(const QString& folder) = 0;

    // The "Reading Rules" dialog over `request`; true when the user kept the rules with OK
    // (`request.rules` then holds them). `request.size` comes back as the dialog was left.
    virtual bool readingRules(RulesRequest& request) = 0;
};

}  // namespace quarrytab
