#include "results/results_model.h"

#include <limits>

#include "engine/error_trap.h"
#include "engine/failure_numbers.h"
#include "results/display_text.h"

namespace quarrytab {

namespace {
void CheckRoom(std::size_t rows, std::size_t more, std::size_t limit) {
    if (rows > limit || more > limit - rows) {
        throw Failure(failures::kOutOfMemory, "The results list cannot hold more rows");
    }
}
}  // namespace

ResultsModel::ResultsModel(QObject* parent) : QAbstractListModel(parent) {}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_store.size());
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return rowText(index.row());
    }
    return {};
}

QString ResultsModel::rowText(int row) const {
    return DisplayText(rowBytes(row));
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return m_header;
    }
    return QAbstractListModel::headerData(section, orientation, role);
}

bool ResultsModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                 int role) {
    if (section != 0 || orientation != Qt::Horizontal ||
        (role != Qt::EditRole && role != Qt::DisplayRole)) {
        return false;
    }
    m_header = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

bool ResultsModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count <= 0 || row > rowCount() - count) {
        return false;
    }
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    m_store.remove(static_cast<std::size_t>(row), static_cast<std::size_t>(count));
    endRemoveRows();
    return true;
}

void ResultsModel::statement(std::string_view text) {
    CheckRoom(m_store.size(), 1, m_rowLimit);
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_store.append(text);
    endInsertRows();
}

void ResultsModel::appendBlock(StatementBlock&& block) {
    if (block.empty()) {
        return;
    }
    CheckRoom(m_store.size(), block.rows(), m_rowLimit);
    const int first = rowCount();
    const int last = first + static_cast<int>(block.rows()) - 1;
    beginInsertRows(QModelIndex(), first, last);
    m_store.appendBlock(std::move(block));
    endInsertRows();
}

void ResultsModel::appendBlocks(std::vector<StatementBlock>&& blocks) {
    std::size_t rows = 0;
    for (const StatementBlock& block : blocks) {
        rows += block.rows();
    }
    if (rows == 0) {
        return;
    }
    CheckRoom(m_store.size(), rows, m_rowLimit);
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows) - 1);
    for (StatementBlock& block : blocks) {
        m_store.appendBlock(std::move(block));
    }
    endInsertRows();
    blocks.clear();
}

void ResultsModel::clear() {
    if (m_store.empty() && m_store.footprint() == 0) {
        return;
    }
    beginResetModel();
    m_store.clear();
    endResetModel();
}

}  // namespace quarrytab
