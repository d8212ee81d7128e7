// The input list's handlers: the adders (open dialog, folder by extension, drops), removing and
// clearing rows, and reordering rows by dragging them inside the list.
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QTreeView>
#include <QUrl>

#include "app/form1.h"
#include "app/handler_locations.h"
#include "app/prompts.h"
#include "app/settings_store.h"
#include "engine/paths.h"
#include "filelist/file_collector.h"
#include "filelist/input_file_list.h"
#include "filelist/qt_text.h"

namespace quarrytab {

namespace {

// Failures while a drop is being collected are reported under this location.
constexpr std::string_view kDropLocation = "in Quarrytab2021/08/31.Form1.ListView1_OLEDragDrop ";

// The dropped paths when the data is a list of local files or folders only; empty otherwise.
QStringList DroppedPaths(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return {};
    }
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        const QString path = LocalPathOfUrl(url);
        if (path.isEmpty()) {
            return {};
        }
        paths.append(path);
    }
    return paths;
}

// Passes the list's pointer, double-click and drop events to the window's handlers.
class InputListEvents final : public QObject {
  public:
    InputListEvents(Form1& form, QTreeView& view)
        : QObject(&form), m_form(form), m_view(view), m_viewport(view.viewport()) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The viewport is compared by address: events still arrive while the list is being
        // destroyed, when it can no longer be asked for its viewport.
        if (watched != m_viewport) {
            return false;
        }
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                m_form.ListView1_MouseDown();
                // A press on empty space leaves no row selected, as in the platform's lists.
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (!m_view.indexAt(mouse->position().toPoint()).isValid()) {
                    m_view.selectionModel()->clearSelection();
                }
                return false;  // the list selects the row and reports the click
            }
            case QEvent::MouseMove: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->buttons() == Qt::NoButton) {
                    return false;
                }
                m_form.ListView1_MouseMove(mouse->position().toPoint());
                // Moving with a button down reorders rows; it neither extends the selection
                // nor starts a drag of data.
                return true;
            }
            case QEvent::MouseButtonRelease:
                m_form.ListView1_MouseUp();
                return false;
            case QEvent::MouseButtonDblClick:
                m_form.ListView1_DblClick();
                return true;
            case QEvent::DragEnter:
                // Every drag that enters is taken, even one that cannot be dropped: the
                // application sends the moves and the drop of a drag only to the widget that
                // took its entry, so a refused entry would leave each move undecided, showing
                // whatever the source proposed. Refused data is taken with no action, which
                // shows as no-drop.
                m_form.ListView1_OLEDragOver(static_cast<QDragMoveEvent*>(event));
                event->accept();
                return true;
            case QEvent::DragMove:
                m_form.ListView1_OLEDragOver(static_cast<QDragMoveEvent*>(event));
                return true;
            case QEvent::Drop:
                m_form.ListView1_OLEDragDrop(static_cast<QDropEvent*>(event));
                return true;
            default:
                return false;
        }
    }

  private:
    Form1& m_form;
    QTreeView& m_view;
    const QObject* m_viewport;
};

}  // namespace

void Form1::setUpInputList() {
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Rows are reordered by the window's own drag steps; no drag of data ever leaves the list.
    ListView1->setDragEnabled(false);
    ListView1->setDragDropMode(QAbstractItemView::NoDragDrop);
    ListView1->viewport()->setAcceptDrops(true);
    ListView1->viewport()->installEventFilter(new InputListEvents(*this, *ListView1));
    connect(ListView1, &QAbstractItemView::pressed, this, &Form1::ListView1_ItemClick);
    setFolderReader(systemFolderReader());
}

void Form1::setFolderReader(FolderReader& reader) {
    delete m_collector;
    m_busyCollections.clear();
    m_collector = new FileCollector(reader, this);
    connect(m_collector, &FileCollector::filesFound, this,
            [this](quint64, const QStringList& paths) { m_inputList->append(paths); });
    connect(m_collector, &FileCollector::failed, this,
            [this](quint64, const std::string& location, int line, const Failure& failure) {
                m_reporter.reportApplicationError(location, line, failure);
            });
    connect(m_collector, &FileCollector::finished, this, [this](quint64 job) {
        if (m_busyCollections.removeOne(job) && m_busyCollections.isEmpty()) {
            setBusyPointer(false);
        }
        // "Start Converting" clicked while the list was filling converts it once it is complete
        // and no other handler is at work.
        if (m_startWhenCollected && !addingFiles()) {
            m_startWhenCollected = false;
            m_startWhenIdle = true;
            postWaitingStart();
        }
    });
}

bool Form1::addingFiles() const {
    return m_collector != nullptr && m_collector->pending() > 0;
}

void Form1::startCollecting(CollectJob job, bool showBusy) {
    const quint64 id = m_collector->start(std::move(job));
    if (showBusy) {
        m_busyCollections.append(id);
    }
}

void Form1::PushButton1_Click() {
    StepTrap trap(m_reporter, locations::kPushButton1);
    QStringList files;
    handlerStep(trap, 116, [&] {
        files =
            m_prompts.openFiles(QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"),
                                QStringLiteral("CSV Files (*.csv)"));
    });
    if (files.isEmpty()) {
        return;  // 118: cancelled
    }
    if (files.size() == 1) {
        handlerStep(trap, 126, [&] { m_inputList->append(files.first()); });
        return;
    }
    QStringList cleaned;
    for (const QString& file : files) {
        handlerStep(trap, 142, [&] {
            cleaned.append(FromPathBytes(FixDoubleBackslashes(ToPathBytes(file))));
        });
    }
    handlerStep(trap, 144, [&] { m_inputList->append(cleaned); });
}

void Form1::PushButton5_Click() {
    StepTrap trap(m_reporter, locations::kPushButton5);
    // Arming the trap is line 100.
    QString extension;
    handlerStep(trap, 100, [&] {
        extension = m_prompts.inputBox(
            QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                           "files, doc for all doc files, etc.)"),
            m_applicationTitle,
            m_store.ReadSetting(QStringLiteral("Extension"), QStringLiteral("csv")));
    });
    if (!extension.isEmpty()) {
        handlerStep(trap, 102,
                    [&] { m_store.WriteSetting(QStringLiteral("Extension"), extension); });
    }
    if (extension.isEmpty()) {
        return;  // 106: cancelled or empty; nothing is stored
    }
    QString lastFolder;
    handlerStep(trap, 108,
                [&] { lastFolder = m_store.ReadSetting(QStringLiteral("LastFolder"), QString()); });
    QString folder;
    handlerStep(trap, 333, [&] {
        folder = m_prompts.browseForFolder(QStringLiteral("Please select folder:"), lastFolder);
    });
    if (folder.isEmpty()) {
        return;  // 334: cancelled; the extension stays stored
    }
    handlerStep(trap, 112, [&] { m_store.WriteSetting(QStringLiteral("LastFolder"), folder); });
    handlerStep(trap, 118, [&] { setBusyPointer(true); });
    // Steps 120 to 140 run on the collector's thread; the busy pointer goes when they are done.
    bool started = false;
    handlerStep(trap, 120, [&] {
        CollectJob job;
        job.rule = CollectRule::FolderByPattern;
        job.paths = QStringList{folder};
        job.pattern = QStringLiteral("*.") + extension;
        job.location = std::string(locations::kPushButton5);
        startCollecting(std::move(job), true);
        started = true;
    });
    if (!started && m_busyCollections.isEmpty()) {
        handlerStep(trap, 142, [&] { setBusyPointer(false); });
    }
}

void Form1::PushButton7_Click() {
    StepTrap trap(m_reporter, locations::kPushButton7);
    handlerStep(trap, 100, [&] {
        if (!busyPointer()) {
            m_inputList->clear();
        }
    });
}

void Form1::ListView1_DblClick() {
    if (busyPointer() || m_inputList->count() == 0) {
        return;
    }
    m_inputList->removeSelected(ListView1->selectionModel()->selectedRows());
}

void Form1::ListView1_MouseDown() {
    DragInProgress = true;
}

void Form1::ListView1_ItemClick(const QModelIndex& index) {
    if (!index.isValid()) {
        return;
    }
    DragSourceRow = index;
    loadDragPointer();
    ListView1->viewport()->setCursor(m_dragPointer);
}

void Form1::loadDragPointer() {
    if (m_dragPointerLoaded) {
        return;
    }
    m_dragPointerLoaded = true;
    const QString file = m_programFolder + QDir::separator() + QStringLiteral("drag.ico");
    if (!QFileInfo(file).isFile()) {
        return;
    }
    QImageReader reader(file);
    const QPixmap image = QPixmap::fromImage(reader.read());
    if (!image.isNull()) {
        m_dragPointer = QCursor(image);  // an icon's hot spot is its centre
    }
}

void Form1::ListView1_MouseMove(const QPoint& position) {
    if (!DragInProgress) {
        return;
    }
    const QModelIndex target = ListView1->indexAt(position);
    // A source row removed meanwhile is no longer held, so it is never touched.
    if (!target.isValid() || !DragSourceRow.isValid()) {
        return;
    }
    const int source = DragSourceRow.row();
    if (m_inputList->rowText(target.row()) == m_inputList->rowText(source)) {
        return;  // the same text, or the source row itself
    }
    m_inputList->swapRows(source, target.row());
    const QModelIndex moved = m_inputList->index(target.row());
    ListView1->selectionModel()->setCurrentIndex(moved, QItemSelectionModel::ClearAndSelect);
    DragSourceRow = moved;
    // Near the list's top or bottom edge the list shows one more row in that direction.
    const int rowHeight = ListView1->visualRect(moved).height();
    const int height = ListView1->viewport()->height();
    if (position.y() < rowHeight && moved.row() > 0) {
        ListView1->scrollTo(m_inputList->index(moved.row() - 1));
    } else if (position.y() >= height - rowHeight && moved.row() < m_inputList->count() - 1) {
        ListView1->scrollTo(m_inputList->index(moved.row() + 1));
    }
}

void Form1::ListView1_MouseUp() {
    DragInProgress = false;
    ListView1->viewport()->unsetCursor();
}

void Form1::ListView1_OLEDragOver(QDragMoveEvent* event) {
    if (DroppedPaths(event->mimeData()).isEmpty()) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return;
    }
    // Offered as a copy whatever the source proposes: a file manager treats an accepted move as
    // permission to delete the originals.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void Form1::ListView1_OLEDragDrop(QDropEvent* event) {
    const QStringList paths = DroppedPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    CollectJob job;
    job.rule = CollectRule::Dropped;
    job.paths = paths;
    job.location = std::string(kDropLocation);
    // Collecting is busy work like a conversion: the busy pointer shows until the list is
    // complete.
    setBusyPointer(true);
    startCollecting(std::move(job), true);
}

}  // namespace quarrytab
