// Runs the window's test classes on the offscreen platform, with a configuration folder of their
// own so the user's settings are never touched. `app_tests CLASS [Qt Test options]` runs one
// class (ctest has an entry for each); without a class name every class runs.
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <cstring>
#include <vector>

int RunSettingsStoreTests(int argc, char** argv);
int RunAppearanceTests(int argc, char** argv);
int RunForm1Tests(int argc, char** argv);
int RunInputListTests(int argc, char** argv);
int RunResultsWindowTests(int argc, char** argv);
int RunRulesDialogTests(int argc, char** argv);

namespace {

struct TestClass {
    const char* name;
    int (*run)(int argc, char** argv);
};

constexpr TestClass kTestClasses[] = {
    {"SettingsStore", RunSettingsStoreTests},
    {"Appearance", RunAppearanceTests},
    {"Form1", RunForm1Tests},
    {"InputList", RunInputListTests},
    {"ResultsWindow", RunResultsWindowTests},
    {"RulesDialog", RunRulesDialogTests},
};

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    if (argc > 1 && argv[1][0] != '-') {
        // The first argument names the class; Qt Test gets the rest.
        std::vector<char*> rest(argv, argv + argc);
        rest.erase(rest.begin() + 1);
        for (const TestClass& testClass : kTestClasses) {
            if (std::strcmp(argv[1], testClass.name) == 0)
                return testClass.run(static_cast<int>(rest.size()), rest.data());
        }
        std::fprintf(stderr, "app_tests: no test class named %s\n", argv[1]);
        return 2;
    }
    int failures = 0;
    for (const TestClass& testClass : kTestClasses) failures += testClass.run(argc, argv);
    return failures;
}
