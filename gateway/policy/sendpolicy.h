#pragma once

#include "core/policyconfig.h"
#include "sendcounts.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QVarLengthArray>
#include <optional>

// A device as one pass of the dispatch sees it.
struct PolicyDevice
{
    QString port;
    bool online = false; // connected: free or sending
    bool free = false;   // connected, idle and registered
    // Pacing: no send before this time; invalid when none is due.
    QDateTime pacedUntil;
};

// A pending row as the policy needs it.
struct PolicyRow
{
    QString number;
    int parts = 1;
    // Devices that refused it for certain; it is not offered to them again.
    QList<int> refusedBy;
    // The group its number leaves through when known already (-1 any device); -2 when not.
    int route = -2;
};

// Why a device rests, and until when.
struct DeviceRest
{
    enum class Cause { HourParts, DayParts, MonthParts, MonthRecipients };
    Cause cause = Cause::DayParts;
    int limit = 0;
    QDateTime until;

    bool operator==(const DeviceRest &) const = default;
};

struct PolicyDecision
{
    enum class Kind { Send, Wait, Refuse };
    enum class Why { None, Busy, Resting, Pacing, NoDevice, RecipientLimit };
    Kind kind = Kind::Wait;
    int device = -1;
    Why why = Why::None;
    // For Resting and Pacing: the earliest time a device of the route may take the row.
    QDateTime until;
};

// Which device may take a row now, or why none may: the quotas of each SIM, the pacing, the
// route of the number and the guard on messages to one number. One SendPolicy sees the
// devices as they are at one moment; taken() keeps it right while a pass hands out rows.
// A pass is made in every turn that freed a device, so it touches only the devices that are
// free: the list it is given is shared, never copied, and what it learns of a device is
// worked out on demand.
class SendPolicy
{
public:
    // The time is in seconds since the epoch: a local time is made only if a rest or a pacing
    // asks for one.
    SendPolicy(const PolicyConfig &config, const SendCounts &counts, QList<PolicyDevice> devices,
               qint64 nowSecs);

    PolicyDecision decide(const PolicyRow &row) const;
    // Device d was given the row: it is busy for the rest of the pass, and its counts grow.
    void taken(int d, const PolicyRow &row);
    // Whether device d rests for a limit it reached, whatever the row.
    std::optional<DeviceRest> restOf(int d) const;
    // Whether the number had its share of messages in the window, counting those this pass
    // handed out.
    bool recipientBlocked(const QString &number) const;
    // Whether the route has a device that has not refused the row yet, connected or not: one
    // still connecting or busy may take it later.
    bool anotherDeviceFor(const PolicyRow &row) const;
    // Whether some device of the route (-1: any) is free, unpaced and not resting: rows of a
    // closed route are passed over without a look at each device.
    bool routeOpen(int route) const;
    // Device d cannot take a row in this pass after all.
    void unavailable(int d);

private:
    struct Room
    {
        DeviceUsage used;
        PolicyLimits limits;
    };
    // The limit a row of these parts would pass on device d, if any.
    std::optional<DeviceRest> limitPassed(int d, const PolicyRow &row) const;
    QDateTime untilOf(DeviceRest::Cause cause) const;
    // Why no device takes the row now, and until when.
    PolicyDecision waitFor(const PolicyRow &row, int route) const;
    Room &room(int d) const;
    // Free and not given a row in this pass.
    bool free(int d) const;
    bool pacedNow(int d) const;
    bool open(int d) const;
    void countOpen(int d, int change);
    void countOpenDevices();
    const QDateTime &now() const;

    const PolicyConfig &m_config;
    const SendCounts &m_counts;
    QList<PolicyDevice> m_devices;
    // The rooms worked out in this pass, of few devices but once a second all of them. A
    // reference to one lasts until the next device's is worked out.
    mutable QVarLengthArray<Room, 16> m_rooms;
    // What the pass knows of each device: where its room is, and whether it was free but
    // cannot take a row in this pass after all.
    struct Seen
    {
        qint16 room = -1;
        bool unavailable = false;
        bool paced = false; // of a free device
    };
    mutable QVarLengthArray<Seen, 128> m_seen;
    // The devices free when the pass began, the SIM that sent least today first: a row goes
    // to the first of them that may take it. One given a row is not free for the rest of the
    // pass, so the order of the others holds.
    QVarLengthArray<int, 16> m_free;
    // Where the free devices not given a row yet begin.
    mutable qsizetype m_firstFree = 0;
    // Open devices in each group, and in all.
    QVarLengthArray<int, 8> m_openInGroup;
    int m_open = 0;
    // Messages this pass handed to each number, for the recipient guard.
    QHash<QString, int> m_takenTo;
    mutable QDateTime m_now;
    qint64 m_nowSecs = 0;
};
