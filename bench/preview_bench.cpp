// How long the reading rules dialog takes to show its preview of one file, and to draw it again
// as rules change: the real dialog on the offscreen platform, its first preview (the sample read
// and the preview drawn), then a round of rule changes, each drawn again at once.
// usage: quarrytab-preview-bench INPUT [ROUNDS]
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSpinBox>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/rules_dialog.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: quarrytab-preview-bench INPUT [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    quarrytab::RulesRequest request;
    request.files = {
        QDir::toNativeSeparators(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath())};

    QElapsedTimer clock;
    clock.start();
    quarrytab::RulesDialog dialog(request);
    const double opened = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    dialog.show();
    QApplication::processEvents();

    // Each change as a user makes it, then the preview drawn again.
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"quoted fields",
         [&] {
             dialog.quotedFields->toggle();
         }},
        {"header",
         [&] {
             dialog.headerRow->toggle();
         }},
        {"PostgreSQL",
         [&] {
             dialog.database->setCurrentIndex(2);
         }},
        {"pad",
         [&] {
             dialog.otherWidth->setCurrentIndex(1);
         }},
        {"500 rows per INSERT",
         [&] {
             dialog.rowsPerInsert->setValue(500);
         }},
        {"windows-1252",
         [&] {
             dialog.encoding->setCurrentText(QStringLiteral("windows-1252"));
         }},
        {"classic",
         [&] {
             dialog.setRules({});
         }},
    };
    // The engine's part alone: the preview made from the sample, no table drawn.
    const quarrytab::FileSample sample =
        quarrytab::ReadFileSample(argv[1], quarrytab::kPreviewSampleBytes);
    std::vector<double> engineTimes;
    std::vector<double> times;
    double worst = 0;
    const char* worstChange = "";
    for (int round = 0; round < rounds; ++round) {
        for (const auto& [name, change] : changes) {
            change();
            quarrytab::ConversionOptions options;
            quarrytab::ApplyRules(dialog.rules(), options);
            clock.restart();
            (void)quarrytab::PreviewSample(sample, "bench", options);
            engineTimes.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            clock.restart();
            dialog.refresh();
            QApplication::processEvents();  // the table painted
            const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            times.push_back(ms);
            if (ms > worst) {
                worst = ms;
                worstChange = name;
            }
        }
    }
    std::sort(times.begin(), times.end());
    std::sort(engineTimes.begin(), engineTimes.end());
    std::printf("%s: %lld bytes\n", argv[1],
                static_cast<long long>(QFileInfo(QString::fromLocal8Bit(argv[1])).size()));
    std::printf("first preview (sample read, drawn): %.1f ms\n", opened);
    std::printf("redraw after a rule change, %zu changes: median %.1f ms, max %.1f ms (%s)\n",
                times.size(), times[times.size() / 2], worst, worstChange);
    std::printf("of which the engine's preview: median %.1f ms, max %.1f ms\n",
                engineTimes[engineTimes.size() / 2], engineTimes.back());
    return 0;
}
