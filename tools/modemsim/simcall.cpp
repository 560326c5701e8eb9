#include "simcall.h"

#include "simsettings.h"

namespace {

constexpr int RingIntervalMs = 1000;
constexpr int RingsBeforeGivingUp = 15;

} // namespace

SimCall::SimCall(const SimSettings &settings, UrcWriter writeUrc, QObject *parent)
    : QObject(parent), m_settings(settings), m_writeUrc(std::move(writeUrc))
{
    m_ringTimer.setInterval(RingIntervalMs);
    connect(&m_ringTimer, &QTimer::timeout, this, &SimCall::ringOnce);
}

void SimCall::ring(const QString &caller)
{
    m_caller = caller;
    m_ringsLeft = RingsBeforeGivingUp;
    ringOnce();
    m_ringTimer.start();
}

void SimCall::hangUp()
{
    if (m_ringsLeft > 0) {
        ++m_hangUps;
        m_ringsLeft = 0;
        m_ringTimer.stop();
    }
}

void SimCall::drop()
{
    m_ringTimer.stop();
    m_ringsLeft = 0;
}

void SimCall::ringOnce()
{
    if (m_ringsLeft <= 0) {
        m_ringTimer.stop();
        return;
    }
    if (--m_ringsLeft == 0) {
        m_ringTimer.stop();
        m_writeUrc("NO CARRIER");
        return;
    }
    m_writeUrc("RING");
    if (!m_settings.clip)
        return;
    if (m_caller == QLatin1String("-")) {
        m_writeUrc("+CLIP: \"\",128,,,,1"); // withheld by the caller
    } else {
        const bool international = m_caller.startsWith(QLatin1Char('+'));
        m_writeUrc("+CLIP: \"" + m_caller.toUtf8() + "\"," + (international ? "145" : "129")
                   + ",,,,0");
    }
}
