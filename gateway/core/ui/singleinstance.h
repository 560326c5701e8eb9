#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

// One gateway per user: a lock file in the runtime folder marks the running instance, and a
// local socket lets a second start ask it to restore and raise its window.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &name = defaultName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    static QString defaultName() { return QStringLiteral("velmora-gateway"); }

    // True when this process is now the running instance.
    bool acquire();
    // From a second instance: asks the running one to come to the front.
    bool askRunningToRaise();

Q_SIGNALS:
    void raiseRequested();

private:
    QString m_name;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};
