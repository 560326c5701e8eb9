#pragma once

#include "common/clock.h"
#include "model/devicerow.h"
#include "model/devicestatus.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <optional>

struct Settings;

// The device list: row d holds device d's status in numbers, and shows it in the operator's
// texts. The engine keeps the one status of each device here and changes it with the typed
// setters below; the window's copy follows the engine's statuses and formats them the same way.
class DeviceTable : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        ColPort = DeviceRow::ColPort,
        ColRate = DeviceRow::ColRate,
        ColModel = DeviceRow::ColModel,
        ColSent = DeviceRow::ColSent,
        ColReceived = DeviceRow::ColReceived,
        ColStatus = DeviceRow::ColStatus,
        ColumnCount = DeviceRow::ColumnCount
    };
    // Data role that carries the row's image number (2 connected, 3 not connected).
    static constexpr int ImageRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;
    // Where the failure and identity times come from; the system clock unless a test sets one.
    void setClock(const Clock &clock) { m_clock = &clock; }

    static QString heading(int column) { return DeviceRow::heading(column); }
    static int widthTwips(int column);
    // A device as it is added: not connected, counters at zero.
    static DeviceStatus fresh(const QString &port, const QString &rate);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Rebuilds the rows from the settings: one fresh row per device in service.
    void RefreshDeviceList(const Settings &settings);
    void clear();
    void appendDevice(const DeviceStatus &device);
    void removeDeviceRow(int row);
    // A copy of the table follows the engine's with these.
    void setStatuses(const QList<DeviceStatus> &devices);
    void insertStatuses(int first, const QList<DeviceStatus> &devices);
    void removeDeviceRows(int first, int last);
    // Rows first.. take these statuses; views refresh them once.
    void replaceStatuses(int first, const QList<DeviceStatus> &devices);

    // The texts of row r, as the window shows them.
    const DeviceRow &row(int r) const { return m_rows.at(r); }
    const QList<DeviceRow> &rows() const { return m_rows; }
    const DeviceStatus &status(int r) const { return m_devices.at(r); }
    const QList<DeviceStatus> &statuses() const { return m_devices; }

    void setLink(int r, LinkState link);
    void setPortOpen(int r, bool open);
    void setModel(int r, const QString &model);
    // One result of a send at a time: accepted by the network or not.
    void countSent(int r, bool success, const QDateTime &at);
    // Messages received; a negative count takes back one that could not be kept.
    void countReceived(int r, int count);
    // What the modem said of its signal and network, and when.
    void setHealth(int r, std::optional<int> rssi, std::optional<int> ber,
                   std::optional<int> registration, const QString &operatorName,
                   const QDateTime &at);
    void setLastFailure(int r, const QString &reason);
    // The reason in the operator's words and its machine form (FailureCode).
    void setLastFailure(int r, const QString &reason, const QString &code);
    void setIdentity(int r, const QString &imsi, const QString &imei, const QString &simNumber);
    void setInService(int r, bool inService);

    // The SIM's own number of row r, or of the device on a configured port ("3"), as the modem
    // told it or, while it is down, as last known; empty when none was ever told.
    QString simNumberOf(int r) const;
    QString simNumberOfPort(const QString &port) const;

    // The Port and Rate values that describe the rows, as written to the configuration file.
    QString portsText() const;
    QString ratesText() const;

Q_SIGNALS:
    // Device r's status changed in any way.
    void deviceChanged(int row);

private:
    // Device r after edit, formatted again and announced; false when r is no row.
    template<typename Edit>
    bool change(int r, Edit edit);

    QList<DeviceStatus> m_devices;
    QList<DeviceRow> m_rows;
    const Clock *m_clock = &SystemClock::instance();
};
