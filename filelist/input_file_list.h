// The input list: the full paths of the files the next conversion run works through, one per
// row, in the order they were added. The same path may stand in several rows.
#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QModelIndexList>
#include <QString>
#include <QStringList>

namespace quarrytab {

class InputFileList final : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit InputFileList(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Names the one column; the window names it "CSV File(s)" at start-up.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    // Adds rows at the end; a list of paths arrives as one insertion.
    void append(const QString& path);
    void append(const QStringList& paths);

    int count() const { return static_cast<int>(m_paths.size()); }
    // The path in `row` (0 is the top row); "" outside the list.
    QString rowText(int row) const;
    const QStringList& paths() const { return m_paths; }

    // Removes the rows of the given indexes (any order, repeats allowed); false when none was
    // a row of this list.
    bool removeSelected(const QModelIndexList& selected);
    void clear();

    // Exchanges the texts of two rows; the rows between them stay where they are.
    bool swapRows(int first, int second);

    // True when some row holds exactly `path` (letter case counts).
    bool ItemInList(const QString& path) const;

  private:
    QStringList m_paths;
    QString m_header;
};

}  // namespace quarrytab
