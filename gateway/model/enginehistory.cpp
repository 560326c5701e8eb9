#include "enginehistory.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <type_traits>

EngineHistory::EngineHistory() : m_gateway(std::make_unique<std::array<Slot, GatewayMinutes>>()) { }

EngineHistory::~EngineHistory() = default;

EngineHistory::Slot &EngineHistory::slot(Slot *ring, int size, qint64 key)
{
    Slot &s = ring[key % size];
    if (s.key != key)
        s = Slot{key};
    return s;
}

EngineHistory::Slot *EngineHistory::deviceRing(int d)
{
    if (d < 0 || d >= Devices)
        return nullptr;
    std::unique_ptr<DeviceRing> &ring = m_devices[std::size_t(d)];
    if (!ring)
        ring = std::make_unique<DeviceRing>();
    return ring->data();
}

void EngineHistory::sendResult(int d, bool sent, double seconds, const QDateTime &now)
{
    const qint64 key = keyOf(now);
    const auto bucket =
            std::size_t(std::lower_bound(Bounds.begin(), Bounds.end(), seconds) - Bounds.begin());
    const auto note = [&](Slot &s) {
        ++(sent ? s.sent : s.failed);
        // A bucket full for the minute stays full rather than wrap to nothing.
        if (seconds >= 0 && s.times[bucket] < 0xffff)
            ++s.times[bucket];
    };
    note(slot(m_gateway->data(), GatewayMinutes, key));
    if (Slot *ring = deviceRing(d))
        note(slot(ring, DeviceMinutes, key));
}

void EngineHistory::received(int d, int count, const QDateTime &now)
{
    const qint64 key = keyOf(now);
    slot(m_gateway->data(), GatewayMinutes, key).received += count;
    if (Slot *ring = deviceRing(d))
        slot(ring, DeviceMinutes, key).received += count;
}

void EngineHistory::queueLength(int length, const QDateTime &now)
{
    slot(m_gateway->data(), GatewayMinutes, keyOf(now)).queueLength = length;
}

double EngineHistory::percentile(const Slot &slot, int total, double fraction)
{
    // The rank's bucket, and the point inside it as far as the rank goes into the bucket.
    const double rank = fraction * total;
    double below = 0;
    for (std::size_t b = 0; b < slot.times.size(); ++b) {
        const double in = slot.times[b];
        if (in == 0 || below + in < rank) {
            below += in;
            continue;
        }
        const double low = b == 0 ? 0 : Bounds[b - 1];
        const double high = b < Bounds.size() ? Bounds[b] : Bounds.back() * 2;
        return low + (high - low) * std::clamp((rank - below) / in, 0.0, 1.0);
    }
    return -1;
}

HistoryMinute EngineHistory::minuteOf(const Slot &slot, qint64 key)
{
    HistoryMinute m;
    m.minute =
            QDateTime(QDate::fromJulianDay(key / 1440), QTime(int(key % 1440 / 60), int(key % 60)));
    if (slot.key != key)
        return m;
    m.sent = slot.sent;
    m.failed = slot.failed;
    m.received = slot.received;
    m.queueLength = slot.queueLength;
    int timed = 0;
    for (const quint16 n : slot.times)
        timed += n;
    if (timed > 0) {
        m.sendP50 = percentile(slot, timed, 0.5);
        m.sendP90 = percentile(slot, timed, 0.9);
        m.sendP99 = percentile(slot, timed, 0.99);
    }
    return m;
}

QList<HistoryMinute> EngineHistory::minutes(int count, int d, const QDateTime &now) const
{
    const bool device = d >= 0;
    if (device && d >= Devices)
        return {};
    const int size = device ? DeviceMinutes : GatewayMinutes;
    // A device with nothing noted yet has a ring of empty minutes.
    static const DeviceRing nothing{};
    const Slot *ring = !device          ? m_gateway->data()
            : m_devices[std::size_t(d)] ? m_devices[std::size_t(d)]->data()
                                        : nothing.data();
    count = std::clamp(count, 0, size);
    const qint64 last = keyOf(now);
    QList<HistoryMinute> out;
    out.reserve(count);
    for (qint64 key = last - count + 1; key <= last; ++key)
        out.append(minuteOf(ring[key % size], key));
    return out;
}

namespace {

// "VHR" and the layout's version; a ring of another size or slot is not this layout.
constexpr quint32 HistoryMagic = 0x56485202;

} // namespace

QByteArray EngineHistory::save() const
{
    static_assert(std::is_trivially_copyable_v<Slot>);
    QByteArray out;
    const auto put = [&out](const void *data, std::size_t size) {
        out.append(static_cast<const char *>(data), qsizetype(size));
    };
    const quint32 header[] = {HistoryMagic, quint32(sizeof(Slot)), GatewayMinutes, DeviceMinutes,
                              Devices};
    put(header, sizeof header);
    put(m_gateway->data(), sizeof(Slot) * GatewayMinutes);
    for (int d = 0; d < Devices; ++d) {
        const quint8 present = m_devices[std::size_t(d)] ? 1 : 0;
        put(&present, 1);
        if (present)
            put(m_devices[std::size_t(d)]->data(), sizeof(DeviceRing));
    }
    return out;
}

bool EngineHistory::restore(const QByteArray &bytes)
{
    const quint32 expected[] = {HistoryMagic, quint32(sizeof(Slot)), GatewayMinutes, DeviceMinutes,
                                Devices};
    qsizetype at = 0;
    const auto take = [&](void *data, std::size_t size) {
        if (at + qsizetype(size) > bytes.size())
            return false;
        std::memcpy(data, bytes.constData() + at, size);
        at += qsizetype(size);
        return true;
    };
    quint32 header[std::size(expected)];
    if (!take(header, sizeof header) || std::memcmp(header, expected, sizeof header) != 0)
        return false;
    auto gateway = std::make_unique<std::array<Slot, GatewayMinutes>>();
    if (!take(gateway->data(), sizeof(Slot) * GatewayMinutes))
        return false;
    std::array<std::unique_ptr<DeviceRing>, Devices> devices;
    for (int d = 0; d < Devices; ++d) {
        quint8 present = 0;
        if (!take(&present, 1) || present > 1)
            return false;
        if (!present)
            continue;
        devices[std::size_t(d)] = std::make_unique<DeviceRing>();
        if (!take(devices[std::size_t(d)]->data(), sizeof(DeviceRing)))
            return false;
    }
    if (at != bytes.size())
        return false;
    m_gateway = std::move(gateway);
    m_devices = std::move(devices);
    return true;
}
