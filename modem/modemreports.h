#pragma once

#include "at/atchannel.h"
#include "modemsettings.h"

#include <QList>
#include <QObject>
#include <QPointer>

class ModemInbox;

struct ModemStatusReport
{
    int reference = -1; // TP-MR
    QString recipient;  // TP-RA
    int status = -1;    // TP-ST
    QString dischargeTime;
};

// Delivery reports (SMS-STATUS-REPORT, TS 23.040 §9.2.2.3): routed as +CDS with the PDU, or
// stored and announced by +CDSI, then read and deleted.
class ModemReports : public QObject
{
    Q_OBJECT

public:
    ModemReports(const ModemSettings &settings, ModemInbox &inbox, QObject *parent = nullptr);

    void attach(AtChannel *channel) { m_channel = channel; }

    bool hasReport() const { return !m_reports.isEmpty(); }
    ModemStatusReport takeReport();

    // +CDSI.
    void onStored(const QByteArray &memory, int index);
    // +CDS: header is the +CDS line (its length tells whether a service-centre address leads
    // the PDU). storageIndex -1: routed, in no storage.
    void onRouted(const QByteArray &header, const QByteArray &pduHex, int storageIndex = -1);

Q_SIGNALS:
    void statusReportAvailable();

private:
    const ModemSettings &m_settings;
    ModemInbox &m_inbox;
    QPointer<AtChannel> m_channel;
    QList<ModemStatusReport> m_reports;
};
