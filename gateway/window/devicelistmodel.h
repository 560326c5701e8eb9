#pragma once

#include <QIdentityProxyModel>

// The device table as the list view shows it: the image number becomes the row's icon.
class DeviceListModel : public QIdentityProxyModel
{
    Q_OBJECT

public:
    DeviceListModel(QAbstractItemModel *source, QObject *parent);
    QVariant data(const QModelIndex &index, int role) const override;
};
