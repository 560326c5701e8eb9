#include "devicetable.h"

#include "settings.h"

#include <algorithm>

DeviceStatus DeviceTable::fresh(const QString &port, const QString &rate)
{
    DeviceStatus device;
    device.port = port;
    device.rate = rate;
    return device;
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
        if (index.column() != ColStatus || r.health.isEmpty())
            return {};
        return r.health;
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
    QList<DeviceStatus> devices;
    for (int d = 0; d < settings.DeviceCount; ++d) {
        DeviceStatus device = fresh(settings.DevicePorts.value(d), settings.DeviceRates.value(d));
        // The rows are rebuilt at every start and stop; what a port's modem was stays known.
        for (const DeviceStatus &before : std::as_const(m_devices)) {
            if (before.port == device.port) {
                device.known = before.known;
                break;
            }
        }
        devices.append(device);
    }
    setStatuses(devices);
}

void DeviceTable::clear()
{
    setStatuses({});
}

void DeviceTable::appendDevice(const DeviceStatus &device)
{
    insertStatuses(int(m_devices.size()), {device});
}

void DeviceTable::removeDeviceRow(int row)
{
    removeDeviceRows(row, row);
}

void DeviceTable::setStatuses(const QList<DeviceStatus> &devices)
{
    beginResetModel();
    m_devices = devices;
    m_rows.clear();
    m_rows.reserve(devices.size());
    for (const DeviceStatus &d : devices)
        m_rows.append(DeviceRow::of(d));
    endResetModel();
}

void DeviceTable::insertStatuses(int first, const QList<DeviceStatus> &devices)
{
    if (first < 0 || first > m_devices.size() || devices.isEmpty())
        return;
    beginInsertRows({}, first, first + int(devices.size()) - 1);
    for (qsizetype i = 0; i < devices.size(); ++i) {
        m_devices.insert(first + i, devices.at(i));
        m_rows.insert(first + i, DeviceRow::of(devices.at(i)));
    }
    endInsertRows();
}

void DeviceTable::removeDeviceRows(int first, int last)
{
    if (first < 0 || last >= m_devices.size() || first > last)
        return;
    beginRemoveRows({}, first, last);
    m_devices.remove(first, last - first + 1);
    m_rows.remove(first, last - first + 1);
    endRemoveRows();
}

void DeviceTable::replaceStatuses(int first, const QList<DeviceStatus> &devices)
{
    if (first < 0 || devices.isEmpty() || first + devices.size() > m_devices.size())
        return;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        m_devices[first + i] = devices.at(i);
        m_rows[first + i] = DeviceRow::of(devices.at(i));
    }
    Q_EMIT dataChanged(index(first, 0), index(first + int(devices.size()) - 1, ColumnCount - 1));
}

template<typename Edit>
bool DeviceTable::change(int r, Edit edit)
{
    if (r < 0 || r >= m_devices.size())
        return false;
    DeviceStatus &device = m_devices[r];
    const DeviceStatus before = device;
    edit(device);
    if (device == before)
        return true;
    m_rows[r].follow(before, device);
    Q_EMIT dataChanged(index(r, 0), index(r, ColumnCount - 1));
    Q_EMIT deviceChanged(r);
    return true;
}

void DeviceTable::setLink(int r, LinkState link)
{
    change(r, [link](DeviceStatus &d) { d.link = link; });
}

void DeviceTable::setPortOpen(int r, bool open)
{
    change(r, [open](DeviceStatus &d) { d.portOpen = open; });
}

void DeviceTable::setModel(int r, const QString &model)
{
    change(r, [&model](DeviceStatus &d) { d.model = model; });
}

void DeviceTable::countSent(int r, bool success, const QDateTime &at)
{
    change(r, [success, &at](DeviceStatus &d) {
        ++(success ? d.sent : d.failed);
        if (success)
            d.lastSuccess = at;
    });
}

void DeviceTable::countReceived(int r, int count)
{
    change(r, [count](DeviceStatus &d) { d.received += count; });
}

void DeviceTable::setHealth(int r, std::optional<int> rssi, std::optional<int> ber,
                            std::optional<int> registration, const QString &operatorName,
                            const QDateTime &at)
{
    change(r, [&](DeviceStatus &d) {
        d.healthAt = at;
        d.rssi = rssi;
        d.ber = ber;
        d.registration = registration;
        d.operatorName = operatorName;
    });
}

void DeviceTable::setLastFailure(int r, const QString &reason)
{
    change(r, [&](DeviceStatus &d) {
        d.lastFailureAt = reason.isEmpty() ? QDateTime() : m_clock->now();
        d.lastFailure = reason;
    });
}

void DeviceTable::setLastFailure(int r, const QString &reason, const QString &code)
{
    change(r, [&](DeviceStatus &d) {
        // The same failure again (a reopen failing every tick) is stamped anew: it is current.
        d.lastFailureAt = reason.isEmpty() ? QDateTime() : m_clock->now();
        d.lastFailure = reason;
        d.failureCode = code;
    });
}

void DeviceTable::setIdentity(int r, const QString &imsi, const QString &imei,
                              const QString &simNumber)
{
    change(r, [&](DeviceStatus &d) {
        d.imsi = imsi;
        d.imei = imei;
        d.simNumber = simNumber;
        d.known = {d.model, imsi, imei, simNumber, m_clock->now()};
    });
}

void DeviceTable::setInService(int r, bool inService)
{
    change(r, [inService](DeviceStatus &d) { d.inService = inService; });
}

QString DeviceTable::simNumberOf(int r) const
{
    if (r < 0 || r >= m_devices.size())
        return {};
    const DeviceStatus &d = m_devices.at(r);
    return d.simNumber.isEmpty() ? d.known.simNumber : d.simNumber;
}

QString DeviceTable::simNumberOfPort(const QString &port) const
{
    for (int r = 0; r < m_devices.size(); ++r) {
        if (m_devices.at(r).port == port)
            return simNumberOf(r);
    }
    return {};
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
