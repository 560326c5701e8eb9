#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// Turns POSIX signals into a Qt signal on the event loop. The handler only writes the signal
// number into a socket pair (async-signal-safe); the notifier reads it on the loop's thread.
class SignalPipe : public QObject
{
    Q_OBJECT

public:
    explicit SignalPipe(QObject *parent = nullptr);
    ~SignalPipe() override;

    // Routes the signal here; false when the pipe could not be made.
    bool watch(int signalNumber);

Q_SIGNALS:
    void received(int signalNumber);

private:
    void drain();

    std::unique_ptr<QSocketNotifier> m_notifier;
};
