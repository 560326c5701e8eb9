#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

// One gateway per user and program folder: a lock file in the user's runtime folder marks the
// running instance, and a local socket beside it lets a second start ask that instance to
// restore and raise its window. Both carry the program folder in their name, so other users
// and other installations are never asked.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &programDir, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the running instance.
    bool acquire();
    // From a second instance: asks the running one to come to the front.
    bool askRunningToRaise();

    // After acquire(): empty while a second start can reach this instance, else why it cannot.
    const QString &listenError() const { return m_listenError; }

Q_SIGNALS:
    void raiseRequested();

private:
    QString m_socketPath;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
    QString m_listenError;
};
