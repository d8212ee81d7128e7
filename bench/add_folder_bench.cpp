// Times filling the input list from a folder tree of 100,000 files in 1,000 folders in the real
// window: "Add All CSV Files In Folder" with answered dialogs, then a drop of the same folder.
// For each it reports the time from the click (or drop) to the last row, how often the event
// loop turned and the list repainted meanwhile, and the longest pause of each. Then it pages
// through the full list and reports how long each page takes to paint and how many rows the
// list asked the model for. Run it on the offscreen platform (the default):
//   quarrytab-add-folder-bench [FOLDER]
// FOLDER, when given, holds the tree between runs (made when missing); otherwise a temporary
// folder is used.
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QIdentityProxyModel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

#include "app/form1.h"
#include "app/prompts.h"
#include "app/settings_store.h"
#include "filelist/input_file_list.h"

namespace {

constexpr int kTopFolders = 10;
constexpr int kFoldersPerTop = 99;  // 10 + 10 x 99 = 1,000 folders
constexpr int kFilesPerFolder = 100;
constexpr int kFiles = (kTopFolders + kTopFolders * kFoldersPerTop) * kFilesPerFolder;
constexpr double kGoalSeconds = 3.0;

// Answers the extension box and the folder picker; reports anything else it is shown.
class BenchPrompts final : public quarrytab::Prompts {
  public:
    QString folder;

    void information(const QString& text, const QString&) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool question(const QString&, const QString&) override { return false; }
    void error(const QString& text, const QString&) override {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
    QString inputBox(const QString&, const QString&, const QString&) override {
        return QStringLiteral("csv");
    }
    QString browseForFolder(const QString&, const QString&) override { return folder; }
    QStringList openFiles(const QString&, const QString&) override { return {}; }
    bool openFolder(const QString&) override { return false; }
    bool readingRules(quarrytab::RulesRequest&) override { return false; }
};

// Makes the tree unless a complete one is there already; returns false when it cannot. The
// marker's name begins with "~", so neither adder lists it.
bool MakeTree(const QString& root) {
    if (QFileInfo::exists(root + QStringLiteral("/~complete")))
        return true;
    for (int top = 0; top < kTopFolders; ++top) {
        const QString topFolder = root + QStringLiteral("/t%1").arg(top, 2, 10, QLatin1Char('0'));
        QStringList folders{topFolder};
        for (int sub = 0; sub < kFoldersPerTop; ++sub)
            folders.append(topFolder + QStringLiteral("/s%1").arg(sub, 2, 10, QLatin1Char('0')));
        for (const QString& folder : folders) {
            if (!QDir().mkpath(folder))
                return false;
            for (int file = 0; file < kFilesPerFolder; ++file) {
                QFile out(folder + QStringLiteral("/f%1.csv").arg(file, 3, 10, QLatin1Char('0')));
                if (!out.open(QIODevice::WriteOnly))
                    return false;
                out.write("a,b\r\n");
            }
        }
    }
    QFile done(root + QStringLiteral("/~complete"));
    return done.open(QIODevice::WriteOnly);
}

// Watches the event loop with a 1 ms timer and the list's repaints, from start() to stop().
class Watch final : public QObject {
  public:
    explicit Watch(QWidget& viewport) : m_viewport(viewport) {
        m_ticks.setTimerType(Qt::PreciseTimer);
        m_ticks.setInterval(1);
        connect(&m_ticks, &QTimer::timeout, this, [this] { note(m_lastTurn, m_turns, m_turnGap); });
        m_viewport.installEventFilter(this);
    }

    void start() {
        m_clock.start();
        m_turns = m_paints = 0;
        m_turnGap = m_paintGap = 0;
        m_lastTurn = m_lastPaint = 0;
        m_firstRows = std::numeric_limits<qint64>::max();
        m_ticks.start();
    }
    void stop() { m_ticks.stop(); }
    qint64 elapsed() const { return m_clock.nsecsElapsed(); }
    void firstRowsArrived() { m_firstRows = m_clock.nsecsElapsed(); }

    int turns() const { return m_turns; }
    int paints() const { return m_paints; }
    double turnGapMs() const { return static_cast<double>(m_turnGap) / 1e6; }
    double paintGapMs() const { return static_cast<double>(m_paintGap) / 1e6; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &m_viewport && event->type() == QEvent::Paint && m_ticks.isActive()) {
            // The pauses between repaints count from the first rows on: before they arrive
            // the list has nothing new to show.
            if (m_lastPaint < m_firstRows) {
                m_lastPaint = m_clock.nsecsElapsed();
                ++m_paints;
            } else {
                note(m_lastPaint, m_paints, m_paintGap);
            }
        }
        return false;
    }

  private:
    void note(qint64& last, int& count, qint64& gap) {
        const qint64 now = m_clock.nsecsElapsed();
        gap = std::max(gap, now - last);
        last = now;
        ++count;
    }

    QWidget& m_viewport;
    QTimer m_ticks;
    QElapsedTimer m_clock;
    int m_turns = 0;
    int m_paints = 0;
    qint64 m_turnGap = 0;
    qint64 m_paintGap = 0;
    qint64 m_lastTurn = 0;
    qint64 m_lastPaint = 0;
    qint64 m_firstRows = std::numeric_limits<qint64>::max();
};

struct Figures {
    double handlerMs = 0;  // until the click's or the drop's handler returned
    double firstRow = 0;
    double seconds = 0;
    int rows = 0;
    int turns = 0;
    int paints = 0;
    double turnGapMs = 0;
    double paintGapMs = 0;
};

// Runs `begin` and the event loop until the list holds `expected` rows and nothing is being
// added any more.
template <typename Begin>
Figures TimeAdding(quarrytab::Form1& window, Watch& watch, int expected, Begin begin) {
    QEventLoop loop;
    qint64 firstRowAt = -1;
    qint64 lastRowAt = -1;
    const QMetaObject::Connection rows =
        QObject::connect(window.inputList(), &QAbstractItemModel::rowsInserted, &loop, [&] {
            if (firstRowAt < 0) {
                firstRowAt = watch.elapsed();
                watch.firstRowsArrived();
            }
            if (window.inputList()->count() >= expected && lastRowAt < 0)
                lastRowAt = watch.elapsed();
        });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (lastRowAt >= 0 && !window.addingFiles())
            loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);  // a stuck add ends the run
    watch.start();
    begin();
    const qint64 handlerReturnedAt = watch.elapsed();
    poll.start(5);
    loop.exec();
    watch.stop();
    QObject::disconnect(rows);
    Figures figures;
    figures.handlerMs = static_cast<double>(handlerReturnedAt) / 1e6;
    figures.firstRow = static_cast<double>(firstRowAt) / 1e9;
    figures.seconds = static_cast<double>(lastRowAt) / 1e9;
    figures.rows = window.inputList()->count();
    figures.turns = watch.turns();
    figures.paints = watch.paints();
    figures.turnGapMs = watch.turnGapMs();
    figures.paintGapMs = watch.paintGapMs();
    return figures;
}

void Print(const char* what, const Figures& f) {
    std::printf(
        "%s: %d rows, handler returned after %.1f ms, first row after %.3f s, %.3f s to the last "
        "row (%s), %d event-loop turns "
        "(longest pause %.1f ms), %d repaints of the list (longest pause once rows arrive "
        "%.1f ms)\n",
        what, f.rows, f.handlerMs, f.firstRow, f.seconds,
        f.seconds < kGoalSeconds ? "under 3 s" : "OVER 3 s", f.turns, f.turnGapMs, f.paints,
        f.paintGapMs);
}

// Counts the rows the list asks for.
class CountingProxy final : public QIdentityProxyModel {
  public:
    mutable QSet<int> rowsAsked;
    QVariant data(const QModelIndex& index, int role) const override {
        rowsAsked.insert(index.row());
        return QIdentityProxyModel::data(index, role);
    }
};

bool ScrollCheck(quarrytab::Form1& window) {
    QTreeView& view = *window.ListView1;
    CountingProxy proxy;
    proxy.setSourceModel(window.inputList());
    view.setModel(&proxy);
    QScrollBar& bar = *view.verticalScrollBar();
    const int rowHeight = view.sizeHintForRow(0);
    const int visible = view.viewport()->height() / std::max(1, rowHeight) + 1;
    std::vector<double> pageMs;
    int mostRowsAsked = 0;
    QElapsedTimer clock;
    // Page down through the first stretch, then jump to the end, the middle and back to the top.
    std::vector<int> positions;
    for (int page = 1; page <= 200; ++page) positions.push_back(page * bar.pageStep());
    positions.insert(positions.end(), {bar.maximum(), bar.maximum() / 2, 0});
    for (const int position : positions) {
        proxy.rowsAsked.clear();
        clock.start();
        bar.setValue(position);
        view.viewport()->repaint();
        pageMs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        mostRowsAsked = std::max(mostRowsAsked, static_cast<int>(proxy.rowsAsked.size()));
    }
    const double longest = *std::max_element(pageMs.begin(), pageMs.end());
    double total = 0;
    for (const double ms : pageMs) total += ms;
    std::printf(
        "scrolling %d rows: uniform row heights %s, %zu pages painted, mean %.2f ms, longest "
        "%.2f ms; at most %d rows asked for per page (%d visible)\n",
        proxy.rowCount(), view.uniformRowHeights() ? "on" : "OFF", pageMs.size(),
        total / static_cast<double>(pageMs.size()), longest, mostRowsAsked, visible);
    view.setModel(window.inputList());
    return view.uniformRowHeights() && mostRowsAsked <= 2 * visible;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir scratch;
    const QString root = argc > 1 ? QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath()
                                  : scratch.filePath(QStringLiteral("tree"));
    QElapsedTimer making;
    making.start();
    if (!MakeTree(root)) {
        std::fprintf(stderr, "cannot make the folder tree in %s\n", qPrintable(root));
        return 2;
    }
    std::printf("tree: %d files in %d folders under %s (%.1f s to make or find)\n", kFiles,
                kTopFolders + kTopFolders * kFoldersPerTop, qPrintable(root),
                static_cast<double>(making.elapsed()) / 1000.0);

    BenchPrompts prompts;
    prompts.folder = QDir::toNativeSeparators(root);
    quarrytab::SettingsStore store(scratch.filePath(QStringLiteral("Velmora.ini")));
    quarrytab::Form1 window(prompts, store, scratch.path());
    window.Form_Load();
    window.resize(900, 700);
    window.show();
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    Watch watch(*window.ListView1->viewport());

    const Figures folder = TimeAdding(window, watch, kFiles, [&] { window.PushButton5->click(); });
    Print("Add All CSV Files In Folder", folder);

    window.PushButton7->click();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(root)});
    QWidget* viewport = window.ListView1->viewport();
    const QPoint at(20, 20);
    const Figures drop = TimeAdding(window, watch, kFiles, [&] {
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent over(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &over);
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &dropped);
    });
    Print("drop of the folder", drop);

    const bool scrolls = ScrollCheck(window);
    const bool complete = folder.rows == kFiles && drop.rows == kFiles;
    if (!complete)
        std::fprintf(stderr, "expected %d rows each time\n", kFiles);
    return complete && scrolls ? 0 : 1;
}
