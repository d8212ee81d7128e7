// Starts the program as its window; closing the window ends it.
#include <QApplication>
#include <QDir>

#include "app/form1.h"
#include "app/qt_prompts.h"
#include "app/settings_store.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarrytab"));
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setDesktopFileName(QStringLiteral("quarrytab"));

    quarrytab::QtPrompts prompts;
    quarrytab::SettingsStore store;
    const QString programFolder = QDir::toNativeSeparators(QApplication::applicationDirPath());

    quarrytab::Form1 window(prompts, store, programFolder);
    prompts.setOwner(&window);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
