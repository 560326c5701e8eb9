#pragma once

#include "gatewayharness.h"
#include "modemsimprocess.h"
#include "smscontrol.h"
#include "testdatabase.h"

#include <QElapsedTimer>
#include <QTextStream>

#include <sys/resource.h>

// What the messaging benchmarks share: the simulator with N zero-delay modems, a fresh
// database, and the real gateway engine whose controls are the real modem control.
class BenchRig
{
public:
    struct Usage
    {
        double cpuSeconds = 0;
        long peakRssKb = 0;
    };

    static Usage usage()
    {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        const auto secs = [](const timeval &t) {
            return double(t.tv_sec) + double(t.tv_usec) / 1e6;
        };
        return {secs(u.ru_utime) + secs(u.ru_stime), u.ru_maxrss};
    }

    BenchRig(int modems, const QString &engine, const QString &name)
        : m_modems(modems), m_sim(modems), m_tdb(engine), m_name(name)
    { }

    bool prepare(QString *error)
    {
        if (!m_sim.start()) {
            *error = m_sim.errorString();
            return false;
        }
        qputenv("VELMORA_PORTS_DIR", m_sim.portsDir().toUtf8());
        if (!m_tdb.create(m_name, error))
            return false;
        QStringList ports;
        for (int p = 1; p <= m_modems; ++p)
            ports << QString::number(p);
        m_h = std::make_unique<GatewayHarness>(m_tdb.connectionString(),
                                               ports.join(QLatin1Char(',')),
                                               [] { return new SmsControl; });
        return true;
    }

    // Starts the service; returns the seconds until every device was "空闲".
    double startService(QString *error)
    {
        QElapsedTimer t;
        t.start();
        m_h->start();
        const double s = double(t.nsecsElapsed()) / 1e9;
        for (int d = 0; d < m_modems; ++d) {
            if (m_h->gw->pool().state(d) == DeviceState::Offline) {
                *error = QStringLiteral("device %1 did not open: %2")
                                 .arg(d)
                                 .arg(m_h->gw->devices().row(d).status);
                return -1;
            }
        }
        return s;
    }

    GatewayHarness &harness() { return *m_h; }
    TestDatabase &database() { return m_tdb; }
    ModemSimProcess &sim() { return m_sim; }
    int modems() const { return m_modems; }

private:
    int m_modems;
    ModemSimProcess m_sim;
    TestDatabase m_tdb;
    QString m_name;
    std::unique_ptr<GatewayHarness> m_h;
};
