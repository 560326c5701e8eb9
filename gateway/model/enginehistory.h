#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <array>
#include <memory>

// One minute of the gateway's (or one device's) work, for the console's charts.
struct HistoryMinute
{
    QDateTime minute; // start of the minute, in the engine clock's local time
    int sent = 0;
    int failed = 0;
    int received = 0;
    int queueLength = -1; // loaded queue length at the end of the minute
    // Seconds from the hand-over to the modem to its result; -1 when no send ended.
    double sendP50 = -1;
    double sendP90 = -1;
    double sendP99 = -1;

    bool operator==(const HistoryMinute &) const = default;
};

// The last day of the gateway, a minute at a time, and the last hour of each device, in rings
// of fixed size on the engine's thread. Noting an event is a few additions into the current
// minute's slot; send times go into a per-minute histogram whose buckets grow by √2, so a
// percentile is read to within a fifth of its value and costs nothing per message.
class EngineHistory
{
public:
    static constexpr int GatewayMinutes = 1440;
    static constexpr int DeviceMinutes = 60;
    static constexpr int Devices = 128;
    // Upper bounds of the send-time buckets in seconds; the last bucket has none.
    static constexpr std::array<double, 23> Bounds{0.25, 0.35, 0.5, 0.7, 1,   1.4, 2,  2.8,
                                                   4,    5.6,  8,   11,  16,  22,  32, 45,
                                                   64,   90,   128, 180, 256, 360, 512};

    EngineHistory();
    ~EngineHistory();

    // A send's result on device d; seconds below 0 when its hand-over was not timed.
    void sendResult(int d, bool sent, double seconds, const QDateTime &now);
    void received(int d, int count, const QDateTime &now);
    // The loaded queue's length now; the minute keeps the last one.
    void queueLength(int length, const QDateTime &now);

    // The last minutes up to now, the newest last; d -1 for the whole gateway. Minutes with
    // nothing noted are there, empty.
    QList<HistoryMinute> minutes(int count, int d, const QDateTime &now) const;

    // The rings as bytes, and back: the charts keep their day across a restart. restore()
    // takes only bytes that save() of this layout made, and leaves the rings as they were
    // otherwise; minutes older than the rings reach are simply never shown.
    QByteArray save() const;
    bool restore(const QByteArray &bytes);

private:
    struct Slot
    {
        qint64 key = -1; // keyOf the minute
        int sent = 0;
        int failed = 0;
        int received = 0;
        int queueLength = -1;
        std::array<quint16, Bounds.size() + 1> times{};
    };
    using DeviceRing = std::array<Slot, DeviceMinutes>;

    // The minute by the clock's own date and time: no time zone is looked up per message.
    static qint64 keyOf(const QDateTime &t)
    {
        return t.date().toJulianDay() * 1440 + t.time().hour() * 60 + t.time().minute();
    }
    static Slot &slot(Slot *ring, int size, qint64 key);
    Slot *deviceRing(int d);
    static HistoryMinute minuteOf(const Slot &slot, qint64 key);
    static double percentile(const Slot &slot, int total, double fraction);

    std::unique_ptr<std::array<Slot, GatewayMinutes>> m_gateway;
    // Made at a device's first event: most gateways drive a few of the 128.
    std::array<std::unique_ptr<DeviceRing>, Devices> m_devices;
};
