#include "app/appearance.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <QtGlobal>
#include <vector>

#include "engine/error_trap.h"
#include "engine/failure_numbers.h"

namespace quarrytab {

namespace {

// A skin whose style sheet does not apply is an invalid procedure call or argument.
constexpr int kInvalidSkin = failures::kInvalidCall;

QByteArray ReadWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Failure(failures::kFileNotFound, "Cannot open " + path.toStdString() + ": " +
                                                   file.errorString().toStdString());
    }
    return file.readAll();
}

quint16 ReadWord(const QByteArray& bytes, int offset) {
    return static_cast<quint16>(static_cast<unsigned char>(bytes.at(offset)) |
                                (static_cast<unsigned char>(bytes.at(offset + 1)) << 8));
}

// Collects the warnings Qt gives while it parses a style sheet; Qt reports an unparsable sheet
// in no other way.
QStringList* g_styleSheetWarnings = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void CollectStyleSheetWarnings(QtMsgType type, const QMessageLogContext& context,
                               const QString& message) {
    if (g_styleSheetWarnings != nullptr && type == QtWarningMsg &&
        message.startsWith(QLatin1String("Could not parse"))) {
        g_styleSheetWarnings->append(message);
        return;
    }
    if (g_previousHandler != nullptr) {
        g_previousHandler(type, context, message);
    }
}

}  // namespace

QCursor LoadCursorFile(const QString& path) {
    const QByteArray bytes = ReadWholeFile(path);
    // A cursor file starts with reserved 0, type 2 and the image count; the first directory
    // entry holds the hot spot where an icon file keeps its planes and bit count.
    constexpr int kHeaderAndFirstEntry = 6 + 16;
    if (bytes.size() < kHeaderAndFirstEntry || ReadWord(bytes, 0) != 0 || ReadWord(bytes, 2) != 2 ||
        ReadWord(bytes, 4) == 0) {
        throw Failure(failures::kInvalidPicture, "Invalid picture");
    }
    const QImage image = QImage::fromData(bytes, "CUR");
    if (image.isNull()) {
        throw Failure(failures::kInvalidPicture, "Invalid picture");
    }
    const int hotX = qBound(0, int(ReadWord(bytes, 10)), image.width() - 1);
    const int hotY = qBound(0, int(ReadWord(bytes, 12)), image.height() - 1);
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

QString WindowFontFamily() {
    static const QString family = [] {
        const QString arial = QStringLiteral("Arial");
        if (QFontDatabase::hasFamily(arial)) {
            return arial;
        }
        for (const char* file : {":/quarrytab/fonts/LiberationSans-Regular.ttf",
                                 ":/quarrytab/fonts/LiberationSans-Bold.ttf"}) {
            QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        }
        const QString liberation = QStringLiteral("Liberation Sans");
        return QFontDatabase::hasFamily(liberation) ? liberation : arial;
    }();
    return family;
}

QString ReadSkinFile(const QString& path) {
    return QString::fromUtf8(ReadWholeFile(path));
}

void ApplyStyleSheet(QWidget& window, const QString& styleSheet) {
    // Taking a style sheet away again does not give the controls back the fonts they had, so
    // they are noted first.
    struct KeptFont {
        QPointer<QWidget> widget;
        QFont font;
        bool ownFont;
    };
    std::vector<KeptFont> fonts;
    fonts.push_back({&window, window.font(), window.testAttribute(Qt::WA_SetFont)});
    for (QWidget* child : window.findChildren<QWidget*>()) {
        fonts.push_back({child, child->font(), child->testAttribute(Qt::WA_SetFont)});
    }
    QStringList warnings;
    g_styleSheetWarnings = &warnings;
    g_previousHandler = qInstallMessageHandler(CollectStyleSheetWarnings);
    window.setStyleSheet(styleSheet);
    // Parse now rather than when the window is first shown, so a failure is seen here.
    window.ensurePolished();
    for (QWidget* child : window.findChildren<QWidget*>()) {
        child->ensurePolished();
    }
    qInstallMessageHandler(g_previousHandler);
    g_styleSheetWarnings = nullptr;
    g_previousHandler = nullptr;
    if (!warnings.isEmpty()) {
        window.setStyleSheet(QString());
        for (const KeptFont& kept : fonts) {
            if (kept.widget && kept.ownFont) {
                kept.widget->setFont(kept.font);
            }
        }
        // Controls that take their font from the window follow it again.
        for (const KeptFont& kept : fonts) {
            if (kept.widget && !kept.ownFont && kept.widget->font() != kept.font) {
                kept.widget->setFont(kept.font);
            }
        }
        throw Failure(kInvalidSkin, "The skin cannot be applied: its style sheet has an error");
    }
}

}  // namespace quarrytab
