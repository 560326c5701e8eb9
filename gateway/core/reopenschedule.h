#pragma once

#include <QObject>
#include <QTimer>
#include <array>
#include <functional>

// When each device that went off line is opened again: a modem that restarted, was plugged back
// or failed a send usually answers within a second or two, so it is tried at once or after a
// short pause, each failure pausing longer, up to the supervision tick, which tries every device
// that is still off line anyway.
class ReopenSchedule : public QObject
{
    Q_OBJECT

public:
    static constexpr int Count = 128;
    using Open = std::function<void(int d)>;

    explicit ReopenSchedule(Open open, QObject *parent = nullptr);

    // Device d is tried again after its next pause; none once the pauses reach the tick.
    void retry(int d);
    // Device d failed a send: it is opened again on the next turn of the loop the first time,
    // and after the pauses when its sends keep failing (a SIM without credit must not burn
    // through the queue at the speed of its modem).
    void retryAfterFailedSend(int d);
    // Device d's modem took a message to the network: its sends fail from scratch again.
    void sent(int d);
    // Device d is open: its next failed open pauses the shortest time again.
    void reset(int d);
    // Device d is being opened by other means: the waiting try is dropped, the pauses kept.
    void cancel(int d);
    void cancelAll();
    bool waiting(int d) const;

    // The pauses, shortest first.
    static constexpr std::array<int, 5> PausesMs{1000, 2000, 5000, 10000, 30000};

private:
    Open m_open;
    std::array<QTimer, Count> m_timers;
    void startAfter(int d, int failures);

    std::array<int, Count> m_failures{};
    std::array<int, Count> m_failedSends{};
};
