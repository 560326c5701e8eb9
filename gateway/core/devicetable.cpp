#include "devicetable.h"

#include "settings.h"

#include <algorithm>

QString DeviceTable::heading(int column)
{
    switch (column) {
    case ColPort:
        return QStringLiteral("串口号");
    case ColRate:
        return QStringLiteral("波特率");
    case ColModel:
        return QStringLiteral("设备型号");
    case ColSent:
        return QStringLiteral("已发");
    case ColReceived:
        return QStringLiteral("已收");
    case ColStatus:
        return QStringLiteral("状态");
    }
    return {};
}

int DeviceTable::widthTwips(int column)
{
    switch (column) {
    case ColModel:
        return 2000;
    case ColStatus:
        return 3800;
    default:
        return 1000;
    }
}

int DeviceTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DeviceTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeviceTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const DeviceRow &r = m_rows.at(index.row());
    if (role == ImageRole)
        return index.column() == ColPort ? QVariant(r.image) : QVariant();
    if (role == Qt::ToolTipRole) {
        if (index.column() != ColStatus || r.health().isEmpty())
            return {};
        return r.health();
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case ColPort:
        return r.portText;
    case ColRate:
        return r.rate;
    case ColModel:
        return r.model;
    case ColSent:
        return r.sent;
    case ColReceived:
        return r.received;
    case ColStatus:
        return r.status;
    }
    return {};
}

QVariant DeviceTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return heading(section);
    return {};
}

void DeviceTable::RefreshDeviceList(const Settings &settings)
{
    beginResetModel();
    m_rows.clear();
    for (int d = 0; d < settings.DeviceCount; ++d) {
        m_rows.append(
                DeviceRow::fresh(settings.DevicePorts.value(d), settings.DeviceRates.value(d)));
    }
    endResetModel();
}

void DeviceTable::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void DeviceTable::appendRow(const DeviceRow &row)
{
    const int r = int(m_rows.size());
    beginInsertRows({}, r, r);
    m_rows.append(row);
    endInsertRows();
}

void DeviceTable::removeDeviceRow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

void DeviceTable::setRows(const QList<DeviceRow> &rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void DeviceTable::insertDeviceRows(int first, const QList<DeviceRow> &rows)
{
    if (first < 0 || first > m_rows.size() || rows.isEmpty())
        return;
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    for (qsizetype i = 0; i < rows.size(); ++i)
        m_rows.insert(first + i, rows.at(i));
    endInsertRows();
}

void DeviceTable::removeDeviceRows(int first, int last)
{
    if (first < 0 || last >= m_rows.size() || first > last)
        return;
    beginRemoveRows({}, first, last);
    m_rows.remove(first, last - first + 1);
    endRemoveRows();
}

void DeviceTable::replaceRows(int first, const QList<DeviceRow> &rows)
{
    if (first < 0 || rows.isEmpty() || first + rows.size() > m_rows.size())
        return;
    std::copy(rows.begin(), rows.end(), m_rows.begin() + first);
    Q_EMIT dataChanged(index(first, 0), index(first + int(rows.size()) - 1, ColumnCount - 1));
}

void DeviceTable::changed(int r, int column)
{
    const QModelIndex at = index(r, column);
    Q_EMIT dataChanged(at, at);
}

void DeviceTable::setStatus(int r, const QString &text)
{
    if (r < 0 || r >= m_rows.size())
        return;
    m_rows[r].status = text;
    changed(r, ColStatus);
}

void DeviceTable::setHealth(int r, const QString &signal, const QString &registration,
                            const QString &operatorName)
{
    if (r < 0 || r >= m_rows.size())
        return;
    DeviceRow &row = m_rows[r];
    if (row.signal == signal && row.registration == registration
        && row.operatorName == operatorName)
        return;
    row.signal = signal;
    row.registration = registration;
    row.operatorName = operatorName;
    changed(r, ColStatus);
}

void DeviceTable::setModel(int r, const QString &text)
{
    if (r < 0 || r >= m_rows.size())
        return;
    m_rows[r].model = text;
    changed(r, ColModel);
}

void DeviceTable::setImage(int r, int image)
{
    if (r < 0 || r >= m_rows.size())
        return;
    m_rows[r].image = image;
    changed(r, ColPort);
}

void DeviceTable::setSent(int r, const QString &text)
{
    if (r < 0 || r >= m_rows.size())
        return;
    m_rows[r].sent = text;
    changed(r, ColSent);
}

void DeviceTable::setReceived(int r, const QString &text)
{
    if (r < 0 || r >= m_rows.size())
        return;
    m_rows[r].received = text;
    changed(r, ColReceived);
}

QString DeviceTable::portsText() const
{
    QString ports;
    for (const DeviceRow &r : m_rows)
        ports += r.portText + QLatin1Char(',');
    if (!ports.isEmpty()) {
        ports.chop(1);
        ports.remove(QStringLiteral("Com"), Qt::CaseSensitive);
    }
    return ports;
}

QString DeviceTable::ratesText() const
{
    QString rates;
    for (const DeviceRow &r : m_rows)
        rates += r.rate + QLatin1Char(',');
    if (!rates.isEmpty())
        rates.chop(1);
    return rates;
}

QString DeviceRow::health() const
{
    if (signal.isEmpty() && registration.isEmpty() && operatorName.isEmpty())
        return {};
    const auto shown = [](const QString &value) {
        return value.isEmpty() ? QStringLiteral("-") : value;
    };
    // The <stat> values of AT+CREG (TS 27.007 §7.2).
    static const QStringList stats = {
            QStringLiteral("未注册"),     QStringLiteral("已注册"), QStringLiteral("正在搜索网络"),
            QStringLiteral("注册被拒绝"), QStringLiteral("未知"),   QStringLiteral("已注册(漫游)")};
    bool isDigit = false;
    const int stat = registration.toInt(&isDigit);
    const QString registrationText =
            isDigit && stat >= 0 && stat < stats.size() ? stats.at(stat) : shown(registration);
    return QStringLiteral("信号: %1\n网络注册: %2\n运营商: %3")
            .arg(shown(signal), registrationText, shown(operatorName));
}
