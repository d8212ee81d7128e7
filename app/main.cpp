// Starts the program as its window; closing the window ends it.
#include <QApplication>
#include <QDir>
#include <QList>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "app/conversion_run.h"
#include "app/form1.h"
#include "app/qt_prompts.h"
#include "app/settings_store.h"

namespace {

constexpr int kNoDisplay = 1;

[[noreturn]] void NoDisplay() {
    std::fputs(
        "quarrytab: no desktop session to show the window in (no display); 'quarrytab-cli "
        "--help' tells how to convert files without one, and 'xvfb-run quarrytab' shows the "
        "window anyway\n",
        stderr);
    std::fflush(stderr);
    std::_Exit(kNoDisplay);
}

// True when nothing tells where a window could be shown: no display server named and no Qt
// platform chosen. Windows and macOS always have their own.
bool NoDisplayNamed() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return qEnvironmentVariableIsEmpty("DISPLAY") &&
           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
           qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    return false;
#endif
}

// While the application starts, Qt's messages are held back: when no window system can be
// reached Qt ends with a fatal message (and would abort), and then the one line above is all
// that is said. Otherwise the held messages go out as they came.
QList<std::pair<QtMsgType, QString>> g_held;
QtMessageHandler g_previous = nullptr;

void HoldStartMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        if (message.contains(QLatin1String("platform plugin")) ||
            message.contains(QLatin1String("display"))) {
            NoDisplay();
        }
        for (const auto& [heldType, text] : std::as_const(g_held)) {
            g_previous(heldType, context, text);
        }
        g_previous(type, context, message);
        return;
    }
    g_held.append({type, message});
}

}  // namespace

int main(int argc, char* argv[]) {
    if (NoDisplayNamed()) {
        NoDisplay();
    }
    g_previous = qInstallMessageHandler(HoldStartMessages);
    QApplication application(argc, argv);
    qInstallMessageHandler(g_previous);
    for (const auto& [type, text] : std::as_const(g_held)) {
        g_previous(type, QMessageLogContext(), text);
    }
    g_held.clear();

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
    const int status = QApplication::exec();
    // A worker that a cancelled run left stuck in a read (an unreachable network share) must not
    // run on while the program tears itself down: the program then ends at once.
    constexpr int kWorkerGraceMs = 2000;
    if (!quarrytab::WaitForLeftBehindWorkers(kWorkerGraceMs)) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
