// A one-column list of texts whose column header can be named, shown by the window's two lists
// until their own models take over.
#pragma once

#include <QStringListModel>

namespace quarrytab {

class TextListModel final : public QStringListModel {
    Q_OBJECT
  public:
    using QStringListModel::QStringListModel;

    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

  private:
    QString m_header;
};

}  // namespace quarrytab
