#pragma once

#include <QObject>
#include <QTimer>

// Tells systemd how the service is doing (Type=notify). Outside systemd every call does nothing.
// The watchdog pings come from the event loop, so a loop that hangs stops them and systemd
// restarts the service. Once the service said it stops, it never says ready again: a start or a
// reload that a stop overtook ends without READY=1.
class SystemdNotifier : public QObject
{
    Q_OBJECT

public:
    explicit SystemdNotifier(QObject *parent = nullptr);

    void ready();
    void reloading();
    void stopping();
    bool isStopping() const { return m_stopping; }
    void status(const QString &text);

private:
    void notify(const char *state);

    QTimer m_watchdog;
    bool m_stopping = false;
};
