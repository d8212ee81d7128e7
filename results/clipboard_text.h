// The text "Copy Results To Clipboard" puts on the clipboard, for any list of rows and columns:
// one line per copied row, its cells separated by a TAB, every cell but the last padded with
// spaces to its column's width, no spaces before the CR LF that ends the line.
#pragma once

#include <QByteArray>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <functional>

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

// Offers statements to the clipboard as plain text without holding the text: it keeps the rows
// (sharing the results list's bytes) and builds the UTF-8 text only when the text is asked for,
// as a paste does. The text stays what it was at the copy whatever later happens to the list.
class StatementsMimeData final : public QMimeData {
  public:
    explicit StatementsMimeData(StatementStore rows) : m_rows(std::move(rows)) {}

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

  protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

  private:
    StatementStore m_rows;
};

}  // namespace quarrytab
