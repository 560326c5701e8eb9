#pragma once

#include "httplimits.h"

#include <QHash>
#include <QHostAddress>

// The connections a listener's guards hold, in all and for each client address.
class ConnectionCount
{
public:
    explicit ConnectionCount(const HttpLimits &limits)
        : m_max(limits.maxConnections), m_perAddress(limits.maxPerAddress)
    { }

    // Whether one more connection from address fits, in all and for that address.
    bool admits(const QHostAddress &address) const
    {
        return m_total < m_max && m_byAddress.value(address) < m_perAddress;
    }
    void add(const QHostAddress &address)
    {
        ++m_total;
        ++m_byAddress[address];
    }
    void remove(const QHostAddress &address)
    {
        --m_total;
        if (--m_byAddress[address] <= 0)
            m_byAddress.remove(address);
    }
    int total() const { return m_total; }
    int of(const QHostAddress &address) const { return m_byAddress.value(address); }

    // Connections past the cap being read for /healthz.
    int healthOnly = 0;

private:
    int m_max;
    int m_perAddress;
    int m_total = 0;
    QHash<QHostAddress, int> m_byAddress;
};
