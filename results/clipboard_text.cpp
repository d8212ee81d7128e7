#include "results/clipboard_text.h"

#include <QVariant>
#include <algorithm>
#include <vector>

#include "results/display_text.h"

namespace quarrytab {

namespace {
constexpr int kCellsBetweenYields = 4096;

// The UTF-8 bytes of a line without the spaces at its end, then CR LF.
void AppendLine(QByteArray& text, const char* data, qsizetype size) {
    while (size > 0 && data[size - 1] == ' ') {
        --size;
    }
    text.append(data, size);
    text.append("\r\n", 2);
}

QString PlainTextUtf8() {
    return QStringLiteral("text/plain;charset=utf-8");
}
QString PlainText() {
    return QStringLiteral("text/plain");
}
}  // namespace

QString ListViewToClipboard(const ListCells& list, const std::function<void()>& yield) {
    QString text;
    if (list.rows <= 0 || list.columns <= 0) {
        return text;
    }
    if (list.sizeHint > 0) {
        text.reserve(list.sizeHint);
    }
    int sinceYield = 0;
    const auto cellDone = [&] {
        if (yield && ++sinceYield == kCellsBetweenYields) {
            sinceYield = 0;
            yield();
        }
    };

    // The last column's padding always goes with the trailing spaces, so its width is never
    // needed and its cells are read once.
    std::vector<qsizetype> widths(static_cast<std::size_t>(list.columns), 0);
    for (int column = 0; column + 1 < list.columns; ++column) {
        qsizetype widest = 0;
        for (int row = 0; row < list.rows; ++row) {
            widest = std::max(widest, list.cell(row, column).size());
            cellDone();
        }
        widths[static_cast<std::size_t>(column)] = widest;
    }

    for (int row = 0; row < list.rows; ++row) {
        if (list.marked && !list.marked(row)) {
            continue;
        }
        for (int column = 0; column < list.columns; ++column) {
            const QString cell = list.cell(row, column);
            text += cell;
            const qsizetype width = widths[static_cast<std::size_t>(column)];
            if (column + 1 < list.columns) {
                if (width > cell.size()) {
                    text += QString(width - cell.size(), QLatin1Char(' '));
                }
                text += QLatin1Char('\t');
            }
            cellDone();
        }
        // The last cell takes no TAB; the spaces at the end of the line go.
        qsizetype end = text.size();
        while (end > 0 && text.at(end - 1) == QLatin1Char(' ')) {
            --end;
        }
        text.truncate(end);
        text += QLatin1String("\r\n");
    }
    return text;
}

QByteArray StatementsClipboardUtf8(const StatementStore& rows) {
    QByteArray text;
    if (rows.empty()) {
        return text;
    }
    // Display text never has more UTF-8 bytes than the row unless the row is Windows-1252.
    text.reserve(static_cast<qsizetype>(rows.byteSize() + 2 * rows.size()));
    rows.forEachRow([&](std::string_view row) {
        const QByteArrayView bytes(row.data(), static_cast<qsizetype>(row.size()));
        // Valid UTF-8 is shown as it is, except that decoding drops a byte order mark at the
        // start; anything else is decoded as DisplayText decodes it.
        if (bytes.isValidUtf8() && !bytes.startsWith("\xef\xbb\xbf")) {
            AppendLine(text, bytes.data(), bytes.size());
        } else {
            const QByteArray utf8 = DisplayText(row).toUtf8();
            AppendLine(text, utf8.constData(), utf8.size());
        }
        return true;
    });
    return text;
}

StatementsMimeData::StatementsMimeData(StatementStore rows) {
    if (rows.byteSize() > kClipboardBuildAheadBytes) {
        m_building = std::async(std::launch::async,
                                [rows = std::move(rows)] { return StatementsClipboardUtf8(rows); });
    } else {
        m_rows = std::move(rows);
    }
}

// A text still being built is waited for: the thread reads the rows this object gave it.
StatementsMimeData::~StatementsMimeData() = default;

const QByteArray& StatementsMimeData::utf8() const {
    if (!m_utf8) {
        if (m_building.valid()) {
            m_utf8 = m_building.get();
        } else {
            m_utf8 = StatementsClipboardUtf8(m_rows);
            m_rows.clear();
        }
    }
    return *m_utf8;
}

QStringList StatementsMimeData::formats() const {
    return {PlainTextUtf8(), PlainText()};
}

bool StatementsMimeData::hasFormat(const QString& mimeType) const {
    return mimeType == PlainTextUtf8() || mimeType == PlainText();
}

QVariant StatementsMimeData::retrieveData(const QString& mimeType, QMetaType type) const {
    if (!hasFormat(mimeType)) {
        return {};
    }
    const QByteArray& bytes = utf8();
    if (type.id() != QMetaType::QString) {
        return QVariant(bytes);
    }
    if (!m_text) {
        // Decoding UTF-8 drops a byte order mark at the start, which here is part of the text.
        QString text = QString::fromUtf8(bytes);
        if (bytes.startsWith("\xef\xbb\xbf") && !text.startsWith(QChar(0xFEFF))) {
            text.prepend(QChar(0xFEFF));
        }
        m_text = std::move(text);
    }
    return QVariant(*m_text);
}

}  // namespace quarrytab
