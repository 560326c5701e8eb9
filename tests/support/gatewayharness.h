#pragma once

#include "fakemodemcontrol.h"
#include "manualclock.h"
#include "recordingprompter.h"

#include "common/inifile.h"
#include "engine/service.h"
#include "gatewayparts.h"
#include "messaging/messageflow.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

// The real gateway engine in a temporary program folder, with scriptable modem controls in
// its 128 slots. The queue poll is left to the test (ScanDT is an hour, no watch), so tests call
// Timer1_Timer() and tm_md_Timer() themselves and never wait for time to pass.
class GatewayHarness
{
    // First, so the engine goes before its folder does.
    QTemporaryDir m_dir;

public:
    // Makes the control of one slot; by default a FakeModemControl.
    using Controls = std::function<ModemControl *()>;

    explicit GatewayHarness(const QString &connectionString,
                            const QString &ports = QStringLiteral("1"), Controls controls = {})
        : m_controls(std::move(controls))
    {
        setConfig(QStringLiteral("DBCon"), QStringLiteral("ConSTR"), connectionString);
        setConfig(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), QStringLiteral("3600000"));
        setConfig(QStringLiteral("DBCon"), QStringLiteral("WatchQueue"), QStringLiteral("0"));
        QStringList rates;
        for (qsizetype i = 0, n = ports.isEmpty() ? 0 : ports.split(QLatin1Char(',')).size(); i < n;
             ++i)
            rates << QStringLiteral("115200");
        setConfig(QStringLiteral("SMSCom"), QStringLiteral("Port"), ports);
        setConfig(QStringLiteral("SMSCom"), QStringLiteral("Rate"), rates.join(QLatin1Char(',')));
        makeGateway();
    }

    void setConfig(const QString &section, const QString &key, const QString &value)
    {
        IniFile(m_dir.path() + QStringLiteral("/Config.ini")).write(section, key, value);
    }

    // A new engine on the same program folder, as after a restart of the program.
    void makeGateway()
    {
        fakes.clear();
        gw.reset();
        gw = std::make_unique<GatewayParts>(m_dir.path(), clock, prompter);
        QString error;
        gw->pool().create(
                [this](QString *) -> ModemControl * {
                    if (m_controls)
                        return m_controls();
                    auto *f = new FakeModemControl;
                    fakes << f;
                    return f;
                },
                &error);
        if (!gw->pool().isCreated())
            qWarning("modem controls not created: %s", qPrintable(error));
        gw->FormLoad();
    }

    FakeModemControl &fake(int d) { return *fakes.at(d); }
    GatewayParts &operator*() { return *gw; }
    GatewayParts *operator->() { return gw.get(); }
    const QString &programDir() const { return m_dirPath; }

    void start()
    {
        gw->service().mnuQDFW_Click();
        settle();
        awaitRealOpens();
    }
    // The stop returns at once; this waits, as a front end would, for it to close the ports
    // once the sends in flight have ended or StopWait has passed.
    void stop()
    {
        gw->service().mnuGXFW_Click();
        settle();
        QDeadlineTimer limit(30000);
        while (gw->service().stopping() && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    void poll()
    {
        gw->flow().Timer1_Timer();
        settle();
    }
    void supervise()
    {
        gw->service().tm_md_Timer();
        settle();
        awaitRealOpens();
    }
    // With test doubles the opens end on the next turn; real modems open while the loop goes
    // on, and this waits (a bounded time) until none is still opening, as the tests expect
    // the devices of a start or a supervision round.
    void awaitRealOpens()
    {
        if (!fakes.isEmpty())
            return;
        const auto opening = [this] {
            for (const DeviceStatus &d : gw->devices().statuses()) {
                if (d.link == LinkState::Connecting)
                    return true;
            }
            return false;
        };
        QDeadlineTimer limit(20000);
        while (opening() && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    // Device d's modem reports the end of its send; the handler's writes are made before this
    // returns.
    void finish(int d, bool reachedNetwork)
    {
        fake(d).finishSend(reachedNetwork);
        settle();
    }
    // Lets the event loop come round once, as it does after every event in the program.
    static void settle() { QCoreApplication::processEvents(); }

    // The log's messages without their time stamps.
    QStringList log() const
    {
        QStringList lines = gw->log().text().split(QStringLiteral("\r\n"));
        for (QString &line : lines)
            line = line.mid(17);
        return lines;
    }
    bool logged(const QString &message) const { return log().contains(message); }
    bool loggedStartingWith(const QString &prefix) const
    {
        const QStringList lines = log();
        return std::any_of(lines.cbegin(), lines.cend(),
                           [&](const QString &l) { return l.startsWith(prefix); });
    }

    ManualClock clock{QDateTime(QDate(2026, 12, 6), QTime(4, 47, 10))};
    RecordingPrompter prompter;
    std::unique_ptr<GatewayParts> gw;
    QList<FakeModemControl *> fakes;

private:
    Controls m_controls;
    QString m_dirPath = m_dir.path();
};
