#include "ratelimiter.h"

#include <cmath>

RateLimiter::RateLimiter(int perSecond) : m_rate(qMax(1, perSecond))
{
    m_clock.start();
}

int RateLimiter::take(const QString &token)
{
    const qint64 now = m_clock.elapsed();
    auto it = m_buckets.find(token);
    if (it == m_buckets.end())
        it = m_buckets.insert(token, {double(m_rate), now});
    Bucket &b = *it;
    b.tokens = qMin(double(m_rate), b.tokens + double(now - b.atMs) * m_rate / 1000.0);
    b.atMs = now;
    if (b.tokens >= 1.0) {
        b.tokens -= 1.0;
        return 0;
    }
    return qMax(1, int(std::ceil((1.0 - b.tokens) / m_rate)));
}
