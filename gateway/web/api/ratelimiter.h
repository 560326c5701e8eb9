#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QString>

// A token bucket per API token: rate requests a second on average, bursts up to one second's
// worth. A client past it is told how many whole seconds to wait.
class RateLimiter
{
public:
    explicit RateLimiter(int perSecond = 100);

    void setRate(int perSecond) { m_rate = qMax(1, perSecond); }
    int rate() const { return m_rate; }
    // 0 when the request may go ahead, else the seconds until it may.
    int take(const QString &token);

private:
    struct Bucket
    {
        double tokens = 0;
        qint64 atMs = 0;
    };

    int m_rate;
    QElapsedTimer m_clock;
    QHash<QString, Bucket> m_buckets;
};
