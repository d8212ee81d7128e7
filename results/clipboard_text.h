// The text "Copy Results To Clipboard" puts on the clipboard, for any list of rows and columns:
// one line per copied row, its cells separated by a TAB, every cell but the last padded with
// spaces to its column's width, no spaces before the CR LF that ends the line.
#pragma once

#include <QString>
#include <functional>

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

}  // namespace quarrytab
