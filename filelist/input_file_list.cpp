#include "filelist/input_file_list.h"

#include <algorithm>

#include "filelist/qt_text.h"

namespace quarrytab {

InputFileList::InputFileList(QObject* parent) : QAbstractListModel(parent) {}

int InputFileList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant InputFileList::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    // The path as shown; a name's bytes that are not UTF-8 show as replacement characters,
    // while the row's own text keeps them.
    if (role == Qt::DisplayRole) {
        return ShownText(m_paths.at(index.row()));
    }
    if (role == Qt::EditRole) {
        return m_paths.at(index.row());
    }
    return {};
}

Qt::ItemFlags InputFileList::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // Rows are selected and reordered by the window itself; they are neither edited in place
    // nor dragged out as data.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant InputFileList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole) {
        return m_header;
    }
    return QAbstractListModel::headerData(section, orientation, role);
}

bool InputFileList::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                  int role) {
    if (orientation != Qt::Horizontal || section != 0 ||
        (role != Qt::EditRole && role != Qt::DisplayRole)) {
        return false;
    }
    m_header = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

bool InputFileList::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count <= 0 || row + count > this->count()) {
        return false;
    }
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    m_paths.remove(row, count);
    endRemoveRows();
    return true;
}

void InputFileList::append(const QString& path) {
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    m_paths.append(path);
    endInsertRows();
}

void InputFileList::append(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    const int first = count();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(paths.size()) - 1);
    m_paths.append(paths);
    endInsertRows();
}

QString InputFileList::rowText(int row) const {
    return row >= 0 && row < count() ? m_paths.at(row) : QString();
}

bool InputFileList::removeSelected(const QModelIndexList& selected) {
    QList<int> rows;
    for (const QModelIndex& index : selected) {
        if (index.model() == this && index.isValid() && !index.parent().isValid()) {
            rows.append(index.row());
        }
    }
    if (rows.isEmpty()) {
        return false;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the bottom up, one removal per run of neighbouring rows, so the numbers of the rows
    // still to go stay valid.
    qsizetype end = rows.size();
    while (end > 0) {
        qsizetype start = end - 1;
        while (start > 0 && rows.at(start - 1) == rows.at(start) - 1) {
            --start;
        }
        removeRows(rows.at(start), static_cast<int>(end - start));
        end = start;
    }
    return true;
}

void InputFileList::clear() {
    if (m_paths.isEmpty()) {
        return;
    }
    beginResetModel();
    m_paths.clear();
    endResetModel();
}

bool InputFileList::swapRows(int first, int second) {
    if (first < 0 || second < 0 || first >= count() || second >= count()) {
        return false;
    }
    if (first == second) {
        return true;
    }
    m_paths.swapItemsAt(first, second);
    const QModelIndex a = index(first);
    const QModelIndex b = index(second);
    emit dataChanged(a, a, {Qt::DisplayRole, Qt::EditRole});
    emit dataChanged(b, b, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

bool InputFileList::ItemInList(const QString& path) const {
    return m_paths.contains(path, Qt::CaseSensitive);
}

}  // namespace quarrytab
