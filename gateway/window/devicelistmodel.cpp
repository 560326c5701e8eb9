#include "devicelistmodel.h"

#include "core/devicetable.h"
#include "icons.h"

DeviceListModel::DeviceListModel(QAbstractItemModel *source, QObject *parent)
    : QIdentityProxyModel(parent)
{
    setSourceModel(source);
}

QVariant DeviceListModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::DecorationRole && index.column() == DeviceTable::ColPort) {
        const QVariant image = QIdentityProxyModel::data(index, DeviceTable::ImageRole);
        if (image.isValid())
            return Icons::deviceImage(image.toInt());
    }
    return QIdentityProxyModel::data(index, role);
}
