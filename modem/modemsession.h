#pragma once

#include "at/atchannel.h"
#include "modemsettings.h"
#include "modemstartup.h"

#include <QObject>
#include <QString>

class QSerialPort;

// The serial port of one modem and the AT channel over it: opened, found answering, brought in
// step, initialised, closed, and watched for going away. Nothing here blocks: beginOpen()
// returns at once and opened() follows when the modem is ready or the open failed.
class ModemSession : public QObject
{
    Q_OBJECT

public:
    using OpenError = ModemOpenError;

    explicit ModemSession(QObject *parent = nullptr);
    ~ModemSession() override;

    // Closes what is open (or opening) and starts opening the port: opened() follows, never
    // from inside this call. close() before it comes ends the open without it.
    void beginOpen(const ModemSettings &settings);
    void close();
    bool isOpen() const;
    bool isOpening() const { return m_opening; }
    // Why the last open failed, or why the device was lost: in plain English for tools and
    // scripts, and in the operator's language for the activity log.
    QString errorString() const { return m_error; }
    QString reason() const { return m_reason; }
    OpenError openError() const { return m_openError; }
    void setError(const QString &error, const QString &reason);
    // Says why a second open is refused while one is at work, which goes on.
    void refuseSecondOpen();

    // As opened: the initialisation may have turned indications off.
    const ModemSettings &settings() const { return m_settings; }
    const ModemStorage &storage() const { return m_storage; }
    const ModemIdentity &identity() const { return m_identity; }
    AtChannel *channel() const { return m_channel; }
    // Bytes written to the port that have not left it yet.
    qint64 unwrittenBytes() const;

Q_SIGNALS:
    // The end of beginOpen(): ok, or errorString(), reason() and openError() say why not.
    void opened(bool ok);
    // close() ended an open in progress; opened() does not come for it. For a caller that
    // waits for the open in a loop of its own.
    void openCancelled();
    void unsolicited(const AtResponse::Line &line, const QByteArray &pdu);
    void resynchronised(const QByteArrayList &lateLines);
    // The port went away under the driver, or the modem stopped answering; the session is
    // still open when this comes, so the owner decides what goes with it.
    void portLost(const QString &error);
    void unresponsive();
    void storageFull(const QByteArray &sign);

private:
    void startOpen();
    bool openPort(const ModemSettings &settings);
    bool portFailure(OpenError kind, const QString &error, const QString &reason);
    AtChannel *connectChannel();
    void onStartupFinished(bool ok);
    void endOpenLater(bool ok);
    void closePort();
    void onPortError();

    ModemSettings m_settings;
    ModemStorage m_storage;
    ModemIdentity m_identity;
    QSerialPort *m_port = nullptr;
    AtChannel *m_channel = nullptr;
    ModemStartup *m_startup = nullptr;
    QString m_error;
    QString m_reason;
    OpenError m_openError = OpenError::None;
    bool m_opening = false;
    // Changes with every open begun and every close: a step or result of an open that has been
    // given up finds it changed and does nothing.
    quint64 m_openSerial = 0;
};
