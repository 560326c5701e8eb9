#pragma once

#include "at/atchannel.h"
#include "modemsettings.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>

class QSerialPort;

struct ModemIdentity
{
    QString manufacturer;
    QString model;
    QString revision;
    QString imei;
    QString imsi;
    QString ownNumber; // AT+CNUM, when the SIM holds it
};

// The serial port of one modem and the AT channel over it: opened, found answering, brought in
// step, initialised, closed, and watched for going away. Only open() blocks, and only for a
// bounded time; other objects' events are served meanwhile.
class ModemSession : public QObject
{
    Q_OBJECT

public:
    enum class OpenError { None, NoSuchPort, Busy, NoAnswer, Refused };

    explicit ModemSession(QObject *parent = nullptr);
    ~ModemSession() override;

    bool open(const ModemSettings &settings);
    void close();
    bool isOpen() const;
    bool isOpening() const { return m_opening; }
    // Why the last open failed, or why the device was lost: in plain English for tools and
    // scripts, and in the operator's language for the activity log.
    QString errorString() const { return m_error; }
    QString reason() const { return m_reason; }
    OpenError openError() const { return m_openError; }
    void setError(const QString &error, const QString &reason);

    // As opened: the initialisation may have turned indications off.
    const ModemSettings &settings() const { return m_settings; }
    const ModemStorage &storage() const { return m_storage; }
    const ModemIdentity &identity() const { return m_identity; }
    AtChannel *channel() const { return m_channel; }
    // Bytes written to the port that have not left it yet.
    qint64 unwrittenBytes() const;

Q_SIGNALS:
    void unsolicited(const AtResponse::Line &line, const QByteArray &pdu);
    void resynchronised(const QByteArrayList &lateLines);
    // The port went away under the driver, or the modem stopped answering; the session is
    // still open when this comes, so the owner decides what goes with it.
    void portLost(const QString &error);
    void unresponsive();
    void storageFull(const QByteArray &sign);

private:
    bool fail(OpenError kind, const QString &error, const QString &reason);
    bool failClosed();
    bool openPort(const ModemSettings &settings);
    void connectChannel();
    void drain();
    bool probe();
    void leaveTextEntry();
    void waitFor(int ms);
    AtResult runBlocking(const AtCommand &command, QDeadlineTimer deadline);
    AtResult run(const QByteArray &text, QByteArrayList prefixes = {});
    bool required(const QByteArray &text);
    bool initialise();
    void setUpStorage();
    void setUpIndications();
    bool waitForSim();
    void readIdentity(QDeadlineTimer deadline);
    void onPortError();

    ModemSettings m_settings;
    ModemStorage m_storage;
    ModemIdentity m_identity;
    QSerialPort *m_port = nullptr;
    AtChannel *m_channel = nullptr;
    QString m_error;
    QString m_reason;
    OpenError m_openError = OpenError::None;
    bool m_opening = false;
};
