#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

struct Settings;

// One row of the device list, as the operator sees it.
struct DeviceRow
{
    QString portText; // "Com" + port
    QString rate;
    QString model;
    QString sent = QStringLiteral("0/0");
    QString received = QStringLiteral("0");
    QString status = QStringLiteral("未连接");
    int image = ImageDisconnected;
    // The modem's last known health, empty until it is read: signal as "rssi,ber" (AT+CSQ),
    // the registration status digit (AT+CREG?) and the operator's name.
    QString signal;
    QString registration;
    QString operatorName;

    // The three in one text for the state cell's tooltip and the status page; empty while
    // nothing is known.
    QString health() const;

    // A row as it is added: "未连接", counters at zero, the not-connected image.
    static DeviceRow fresh(const QString &port, const QString &rate)
    {
        DeviceRow row;
        row.portText = QStringLiteral("Com") + port;
        row.rate = rate;
        return row;
    }

    static constexpr int ImageConnected = 2;
    static constexpr int ImageDisconnected = 3;
};

// The device list: row d belongs to device d. Views show it; the engine writes it.
class DeviceTable : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ColPort, ColRate, ColModel, ColSent, ColReceived, ColStatus, ColumnCount };
    // Data role that carries the row's image number (2 connected, 3 not connected).
    static constexpr int ImageRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    static QString heading(int column);
    static int widthTwips(int column);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Rebuilds the rows from the settings: one "未连接" row per device in service.
    void RefreshDeviceList(const Settings &settings);
    void clear();
    void appendRow(const DeviceRow &row);
    void removeDeviceRow(int row);
    // A copy of the table follows the engine's with these.
    void setRows(const QList<DeviceRow> &rows);
    void insertDeviceRows(int first, const QList<DeviceRow> &rows);
    void removeDeviceRows(int first, int last);
    // Rows first.. take these values; views refresh them once.
    void replaceRows(int first, const QList<DeviceRow> &rows);
    const DeviceRow &row(int r) const { return m_rows.at(r); }
    const QList<DeviceRow> &rows() const { return m_rows; }

    void setStatus(int r, const QString &text);
    void setModel(int r, const QString &text);
    void setImage(int r, int image);
    void setSent(int r, const QString &text);
    void setReceived(int r, const QString &text);
    void setHealth(int r, const QString &signal, const QString &registration,
                   const QString &operatorName);

    // The Port and Rate values that describe the rows, as written to the configuration file.
    QString portsText() const;
    QString ratesText() const;

private:
    void changed(int r, int column);

    QList<DeviceRow> m_rows;
};
