// The text "Copy Results To Clipboard" puts on the clipboard, for any list of rows and columns:
// one line per copied row, its cells separated by a TAB, every cell but the last padded with
// spaces to its column's width, no spaces before the CR LF that ends the line.
#pragma once

#include <QByteArray>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <future>
#include <optional>

#include "results/statement_store.h"

namespace quarrytab {

// The rows and columns of a list as the clipboard text reads them.
struct ListCells {
    int rows = 0;
    int columns = 1;
    std::function<QString(int row, int column)> cell;  // row and column from 0
    // Whether a row is copied; every row when not set. Rows that are not copied still widen
    // their columns.
    std::function<bool(int row)> marked;
    // The expected length of the text, when known, so it is built without growing.
    qsizetype sizeHint = 0;
};

// The text for the clipboard; empty when the list has no rows or no row is copied. A column's
// width is the length of its longest cell over every row, headers not counted. `yield` is called
// every few thousand cells so a window can keep itself painted.
QString ListViewToClipboard(const ListCells& list, const std::function<void()>& yield = {});

// The clipboard text of the one-column list whose rows show `rows` (each decoded as DisplayText
// does), as UTF-8: byte for byte ListViewToClipboard(...).toUtf8(), built without the UTF-16
// text. Rows of ASCII are copied as they are.
QByteArray StatementsClipboardUtf8(const StatementStore& rows);

// Rows of more bytes than this have their clipboard text built on another thread.
inline constexpr std::size_t kClipboardBuildAheadBytes = std::size_t{1} << 20;

// Offers statements to the clipboard as plain text. It keeps the rows (sharing the results list's
// bytes) until the text is built, and builds the text once per copy: when it is first asked for,
// or, for more than kClipboardBuildAheadBytes of rows, at once on a thread of its own, so a paste
// of a long list does not build it on the window's thread. Every later request gets the same
// text, which stays what it was at the copy whatever later happens to the list.
class StatementsMimeData final : public QMimeData {
  public:
    explicit StatementsMimeData(StatementStore rows);
    ~StatementsMimeData() override;

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

  protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

  private:
    const QByteArray& utf8() const;

    mutable StatementStore m_rows;               // until the text is built here
    mutable std::future<QByteArray> m_building;  // the text being built on another thread
    mutable std::optional<QByteArray> m_utf8;
    mutable std::optional<QString> m_text;
};

}  // namespace quarrytab
