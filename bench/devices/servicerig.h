#pragma once

#include "gatewaydprocess.h"
#include "modemsimprocess.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One run of velmora-gatewayd as the device benchmarks set it up: simulated modems on com1..N,
// a program folder with the installed empty SQLite database and a Config.ini for them, the
// status page on a free port. Everything it learns about the service, it learns from outside:
// the status page, the database and the simulator.
class ServiceRig
{
public:
    ServiceRig(int modems, QStringList simulatorArguments, int scanMs = 1000);
    ~ServiceRig();
    ServiceRig(const ServiceRig &) = delete;
    ServiceRig &operator=(const ServiceRig &) = delete;

    // The simulator, the program folder and the database; the service is not started yet.
    bool prepare(QString *error);
    // Starts the service; the clock of sinceStart() starts with it.
    bool startService(QString *error);
    // Milliseconds from the start to the status page counting `devices` up (idle or
    // sending); -1 when that took longer than timeoutMs.
    qint64 waitForUp(int devices, qint64 timeoutMs);
    // The devices the status page counts up just now; -1 when it does not answer.
    int devicesUp();
    qint64 sinceStart() const { return m_sinceStart.elapsed(); }
    // SIGHUP: the service reads its configuration again.
    void reload();
    void stopService();

    ModemSimProcess &simulator() { return m_sim; }
    int modems() const { return m_modems; }

    // n rows in SMS, in one transaction.
    bool insertRows(int n, QString *error);
    // select count(*) from SMS where <condition>; -1 on an error.
    int countRows(const QString &condition);
    // The complete messages each modem submitted since the simulator started, by port.
    QHash<int, int> submittedByPort();

private:
    int m_modems;
    int m_scanMs;
    ModemSimProcess m_sim;
    QTemporaryDir m_folder;
    QString m_connection;
    quint16 m_httpPort = 0;
    GatewaydProcess m_service;
    bool m_serviceStarted = false;
    QElapsedTimer m_sinceStart;
};

// "12.34 s", as the benchmarks print times.
QString secondsText(qint64 ms);
