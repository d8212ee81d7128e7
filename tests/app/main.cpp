// Runs the window's test classes on the offscreen platform, with a configuration folder of their
// own so the user's settings are never touched.
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

int RunSettingsStoreTests(int argc, char** argv);
int RunAppearanceTests(int argc, char** argv);
int RunForm1Tests(int argc, char** argv);
int RunInputListTests(int argc, char** argv);
int RunResultsWindowTests(int argc, char** argv);

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    int failures = 0;
    failures += RunSettingsStoreTests(argc, argv);
    failures += RunAppearanceTests(argc, argv);
    failures += RunForm1Tests(argc, argv);
    failures += RunInputListTests(argc, argv);
    failures += RunResultsWindowTests(argc, argv);
    return failures;
}
