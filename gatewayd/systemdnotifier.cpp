#include "systemdnotifier.h"

#include <systemd/sd-daemon.h>

SystemdNotifier::SystemdNotifier(QObject *parent) : QObject(parent)
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        // Half the time-out, as sd_watchdog_enabled(3) advises.
        m_watchdog.setInterval(int(qMax<uint64_t>(1, usec / 2000)));
        connect(&m_watchdog, &QTimer::timeout, this, [this] { notify("WATCHDOG=1"); });
        m_watchdog.start();
    }
}

void SystemdNotifier::ready()
{
    if (!m_stopping)
        notify("READY=1");
}

void SystemdNotifier::reloading()
{
    notify("RELOADING=1");
}

void SystemdNotifier::stopping()
{
    m_stopping = true;
    notify("STOPPING=1");
}

void SystemdNotifier::status(const QString &text)
{
    notify(QByteArray("STATUS=" + text.toUtf8()).constData());
}

void SystemdNotifier::notify(const char *state)
{
    sd_notify(0, state);
}
