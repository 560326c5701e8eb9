#pragma once

#include "enginehistory.h"
#include "enginestatus.h"
#include "frontreads.h"
#include "outgoingmessage.h"

#include "optoutentry.h"
#include "ussdresult.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// What a device search probes: the combo range from..to ("com3") or, without a range, every
// port listPorts names ("COM1-COM3-").
struct DeviceSearchRequest
{
    bool useRange = false;
    QString from;
    QString to;
    std::function<QString()> listPorts;
};

// The one way into the engine for every front end: the window's proxy, the service and the
// HTTP server. Commands take effect on the engine's thread; callers on another thread post them
// there (the window does so through EngineClient).
class EngineApi
{
public:
    using Progress = std::function<void(int percent)>;

    virtual ~EngineApi() = default;

    // Start-up of a front end: the first log line, the settings and the device list.
    virtual void load() = 0;
    // 启动 and 停止. Both return at once: a start's devices come up one by one as each modem
    // answers, and a stop closes the ports once the sends in flight have ended. reload reads
    // the configuration again and applies only what changed (a stopped service is started).
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void reload() = 0;
    // done runs on the engine's thread once no stop waits for its sends in flight any more: at
    // once when none does.
    virtual void whenStopped(std::function<void()> done) = 0;

    // Device list edits, refused (and logged) while the service runs.
    virtual bool addDevice(const QString &port, const QString &rate) = 0;
    virtual bool removeDevice(int row) = 0;
    // Whether the list may be edited now; logs the refusal otherwise.
    virtual bool mayEditDevices() = 0;
    // Replaces the device list with the ports where a modem answers; refused while the service
    // runs. Returns at once; done follows on the engine's thread when the search is over (or
    // was refused).
    virtual void searchDevices(const DeviceSearchRequest &request, const Progress &progress,
                               std::function<void()> done) = 0;

    // Test messages as the composer queues them: one row per number, on the connection of the
    // last start; false when the database refused one.
    virtual bool queueTestMessage(const QString &number, const QString &text) = 0;
    // The same row, for a front end that follows its result through EngineEvents: its SysNo,
    // or -1 when the database refused it.
    virtual qint64 queueTestMessageId(const QString &number, const QString &text) = 0;
    // The composer's whole list, one row per line, with its closing box for the operator.
    virtual void queueTestMessages(const QString &numbersText, const QString &messageText,
                                   const Progress &progress) = 0;
    // Rows for applications, all in one transaction, handed to free modems at once.
    virtual QueueResult queueMessages(const QList<OutgoingMessage> &messages) = 0;

    // A line for the activity log from a front end.
    virtual void writeLog(const QString &line) = 0;

    // A copy of the engine's state as it is now.
    virtual EngineStatus status() const = 0;
    // The engine's last minutes, the newest last; at most 1440 for the whole gateway (port
    // empty) and 60 for one device (port as DeviceStatus::port, "3").
    virtual QList<HistoryMinute> history(int minutes, const QString &port = {}) const = 0;

    // Takes a device out of service and back while the service runs; its rows go to the
    // others. false when no device has this port. The caller logs who asked.
    virtual bool setDeviceInService(const QString &port, bool inService) = 0;
    // Asks the device now what the modem check would (AT, +CPIN?, +CSQ, +CREG?, +COPS?, the
    // model); done gets the report's lines on the engine's thread, later. A device that is not
    // open answers at once with why.
    virtual void recheckDevice(const QString &port,
                               std::function<void(QStringList report)> done) = 0;
    // Puts rows at 1 back to 0: only those still at 1 and, on a shared queue, only this
    // gateway's claims. The number of rows moved, or -1 with *error.
    virtual int requeueRows(const QList<qint64> &ids, QString *error) = 0;

    // The newest lines of the activity log, the newest last.
    virtual QStringList recentLog(int lines) const = 0;
    // The configuration file; fixed for the life of the engine, so any thread may ask.
    virtual QString configPath() const = 0;

    // ---- Reads for front ends ----
    // On a database connection and thread of their own, never on the message path's: done is
    // called later on the engine's thread, also when the read failed.
    // The SMS row numbered id with its latest report and the device sending it now.
    virtual void readMessage(qint64 id, std::function<void(MessageRead)> done) = 0;
    // Received messages numbered after after, oldest first, at most limit.
    virtual void readReceived(qint64 after, int limit, std::function<void(ReceivedRead)> done) = 0;
    // The devices as status() has them, without the rest of its figures.
    virtual QList<DeviceStatus> deviceStatuses() const = 0;

    // --- SIM pool: USSD and the opt-out list ---
    // Sends a USSD code through the device on port ("3"); session: the id of the request whose
    // answer asked for this reply, 0 for a fresh code. The request as it stands: pending (ask
    // ussdResult for its end), or failed at once with error "no_device", "not_running",
    // "not_open", "busy", "session_closed" or "invalid_code".
    virtual UssdResult requestUssd(const QString &port, const QString &code, qint64 session) = 0;
    // One of the last requests, by its id.
    virtual std::optional<UssdResult> ussdResult(qint64 id) const = 0;
    // The opt-out list, numbers in canonical form; nullopt with *error when it cannot be read.
    virtual std::optional<QList<OptOutEntry>> optOuts(QString *error) = 0;
    // true when the number was added, false when it was listed already.
    virtual std::optional<bool> addOptOut(const QString &number, QString *error) = 0;
    // The entries removed (0 when it was not listed).
    virtual std::optional<int> removeOptOut(const QString &number, QString *error) = 0;
};
