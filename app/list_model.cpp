#include "app/list_model.h"

namespace quarrytab {

QVariant TextListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole) {
        return m_header;
    }
    return QStringListModel::headerData(section, orientation, role);
}

bool TextListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                  int role) {
    if (orientation != Qt::Horizontal || section != 0 ||
        (role != Qt::EditRole && role != Qt::DisplayRole)) {
        return false;
    }
    m_header = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

}  // namespace quarrytab
