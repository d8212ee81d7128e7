// The results list: one row per statement, in the order made, shown as text in one column whose
// header the window names. The rows live in a StatementStore, so the list holds a million
// statements in little more memory than their text.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <cstddef>
#include <limits>
#include <string_view>
#include <vector>

#include "engine/statements.h"
#include "results/statement_store.h"

namespace quarrytab {

class ResultsModel final : public QAbstractListModel, public StatementSink {
    Q_OBJECT
  public:
    explicit ResultsModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    // Appends one row.
    void statement(std::string_view text) override;
    // Appends blocks of rows with one notification for all of them.
    void appendBlock(StatementBlock&& block);
    void appendBlocks(std::vector<StatementBlock>&& blocks);
    // Removes every row at once.
    void clear();
    // Gives back reserved room once a run has ended.
    void squeeze() { m_store.squeeze(); }

    // The row's bytes as made, and its text as shown.
    std::string_view rowBytes(int row) const { return m_store.row(static_cast<std::size_t>(row)); }
    QString rowText(int row) const;

    const StatementStore& store() const { return m_store; }

    // The most rows the list holds; appending beyond them throws Failure. By default as many as
    // a list view can show; tests lower it.
    void setRowLimit(std::size_t rows) { m_rowLimit = rows; }

  private:
    StatementStore m_store;
    std::size_t m_rowLimit = static_cast<std::size_t>(std::numeric_limits<int>::max());
    QString m_header;
};

}  // namespace quarrytab
