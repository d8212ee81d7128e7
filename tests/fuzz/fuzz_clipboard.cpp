// Fuzzes the clipboard text against a plain model of its rules: widths over every row, every cell
// but the last padded to its width and followed by a TAB, trailing spaces removed, CR LF. The same
// bytes, split into statements, must give the same UTF-8 text through the statements' own path.
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "results/clipboard_text.h"
#include "results/display_text.h"
#include "results/statement_store.h"

namespace {

QString Model(const std::vector<QStringList>& rows, int columns, const std::vector<bool>& marked) {
    if (rows.empty())
        return {};
    std::vector<qsizetype> widths(static_cast<std::size_t>(columns), 0);
    for (const auto& row : rows)
        for (int c = 0; c < columns; ++c) widths[c] = std::max(widths[c], row[c].size());
    QString text;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (!marked[r])
            continue;
        for (int c = 0; c < columns; ++c) {
            const QString& cell = rows[r][c];
            text += cell;
            if (widths[c] >= cell.size())
                text += QString(widths[c] - cell.size(), u' ');
            text += u'\t';
        }
        text.chop(1);
        while (text.endsWith(u' ')) text.chop(1);
        text += QStringLiteral("\r\n");
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int columns = 1 + data[0] % 4;
    const std::uint8_t markBits = data[1];
    // Rows are separated by "\n", cells by "|"; missing cells are empty.
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 2),
                                           static_cast<qsizetype>(size - 2));
    std::vector<QStringList> rows;
    std::vector<bool> marked;
    if (!text.isEmpty()) {
        for (const QString& line : text.split(u'\n')) {
            QStringList cells = line.split(u'|');
            while (cells.size() < columns) cells.push_back(QString());
            rows.push_back(cells);
            marked.push_back(markBits == 0 || ((markBits >> (rows.size() % 8)) & 1) != 0);
        }
    }
    quarrytab::ListCells list;
    list.rows = static_cast<int>(rows.size());
    list.columns = columns;
    list.cell = [&](int row, int column) {
        return rows[row][column];
    };
    list.marked = [&](int row) {
        return static_cast<bool>(marked[row]);
    };
    if (quarrytab::ListViewToClipboard(list) != Model(rows, columns, marked))
        std::abort();

    // The raw bytes as statements, one per "\n", which need not be valid UTF-8.
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    std::vector<std::string> statements;
    for (std::size_t begin = 0; begin <= bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', begin), bytes.size());
        statements.emplace_back(bytes.substr(begin, end - begin));
        begin = end + 1;
    }
    quarrytab::StatementStore store;
    for (const std::string& statement : statements) store.append(statement);
    quarrytab::ListCells shown;
    shown.rows = static_cast<int>(statements.size());
    shown.cell = [&](int row, int) {
        return quarrytab::DisplayText(statements[static_cast<std::size_t>(row)]);
    };
    if (quarrytab::StatementsClipboardUtf8(store) != quarrytab::ListViewToClipboard(shown).toUtf8())
        std::abort();
    return 0;
}
