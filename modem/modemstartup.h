#pragma once

#include "at/atchannel.h"
#include "modemsettings.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

struct ModemIdentity
{
    QString manufacturer;
    QString model;
    QString revision;
    QString imei;
    QString imsi;
    QString ownNumber; // AT+CNUM, when the SIM holds it
};

enum class ModemOpenError { None, NoSuchPort, Busy, NoAnswer, Refused };

// Brings a modem behind an open port into use: reads away what an earlier user left on the
// line, finds it answering, turns echo off, waits out a SIM still starting, and sets the message
// format, storage, indications, caller id and registration reports, then reads who it is.
//
// Every step is a continuation of the one before, on a timer or on the channel's answer, so any
// number of modems come up side by side on one thread and a silent one holds up nobody.
// finished() comes once, from the answer or timer that ends the sequence; deleting the object
// (or cancel()) ends it silently at any point.
class ModemStartup : public QObject
{
    Q_OBJECT

public:
    // Called once the line has been read quiet: the channel the rest of the sequence talks on.
    using ChannelFactory = std::function<AtChannel *()>;

    ModemStartup(QIODevice *device, const ModemSettings &settings, ChannelFactory openChannel,
                 QObject *parent = nullptr);

    void start();
    // No further step runs and finished() does not come.
    void cancel() { m_over = true; }

    ModemOpenError openError() const { return m_openError; }
    // In plain English, and in the operator's language.
    QString errorString() const { return m_error; }
    QString reason() const { return m_reason; }
    // As initialised: indications may have been turned off when the modem refused them all.
    const ModemSettings &settings() const { return m_settings; }
    const ModemStorage &storage() const { return m_storage; }
    const ModemIdentity &identity() const { return m_identity; }

Q_SIGNALS:
    void finished(bool ok);

private:
    using Next = std::function<void()>;
    using Answer = std::function<void(const AtResult &)>;

    void drainStep();
    void probe();
    void probeAttempt();
    void leaveTextEntry(Next next);
    void initialise();
    void askSim();
    void setUpStorage(Next next);
    void setUpIndications(Next next);
    void tryIndications(QByteArrayList tries, Next next);
    void readIdentity(Next next);
    void askIdentity(const QByteArray &text, const QByteArray &prefix, QString *into, Next next);

    void send(AtCommand command, Answer answer);
    void run(const QByteArray &text, QByteArrayList prefixes, Answer answer);
    void required(const QByteArray &text, Next next);
    void after(int ms, Next next);
    void fail(ModemOpenError kind, const QString &error, const QString &reason);
    void succeed();

    QPointer<QIODevice> m_device;
    QPointer<AtChannel> m_channel;
    ChannelFactory m_openChannel;
    ModemSettings m_settings;
    ModemStorage m_storage;
    ModemIdentity m_identity;
    ModemOpenError m_openError = ModemOpenError::None;
    QString m_error;
    QString m_reason;
    bool m_over = false;

    QDeadlineTimer m_drainLimit;
    QDeadlineTimer m_probeDeadline;
    int m_attempts = 0;
    bool m_escaped = false;
    QDeadlineTimer m_simBusyUntil;
    QDeadlineTimer m_identityDeadline;
};
