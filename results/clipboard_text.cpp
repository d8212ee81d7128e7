#include "results/clipboard_text.h"

#include <algorithm>
#include <vector>

namespace quarrytab {

namespace {
constexpr int kCellsBetweenYields = 4096;
}

QString ListViewToClipboard(const ListCells& list, const std::function<void()>& yield) {
    QString text;
    if (list.rows <= 0 || list.columns <= 0)
        return text;
    if (list.sizeHint > 0)
        text.reserve(list.sizeHint);
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
        if (list.marked && !list.marked(row))
            continue;
        for (int column = 0; column < list.columns; ++column) {
            const QString cell = list.cell(row, column);
            text += cell;
            const qsizetype width = widths[static_cast<std::size_t>(column)];
            if (column + 1 < list.columns) {
                if (width > cell.size())
                    text += QString(width - cell.size(), QLatin1Char(' '));
                text += QLatin1Char('\t');
            }
            cellDone();
        }
        // The last cell takes no TAB; the spaces at the end of the line go.
        qsizetype end = text.size();
        while (end > 0 && text.at(end - 1) == QLatin1Char(' ')) --end;
        text.truncate(end);
        text += QLatin1String("\r\n");
    }
    return text;
}

}  // namespace quarrytab
