#include "modemcalls.h"

namespace {

// Voice calls repeat RING every few seconds; a call without one for this long has ended.
constexpr int RingExpiryMs = 8000;
// +CLIP follows RING at once on every modem seen; the call is announced without a number if
// it does not.
constexpr int ClipWaitMs = 300;

} // namespace

ModemCalls::ModemCalls(const ModemSettings &settings, QObject *parent)
    : QObject(parent), m_settings(settings)
{
    m_clipWait.setSingleShot(true);
    m_ringExpiry.setSingleShot(true);
    connect(&m_clipWait, &QTimer::timeout, this, &ModemCalls::announce);
    connect(&m_ringExpiry, &QTimer::timeout, this, [this] { m_ringing = false; });
}

void ModemCalls::detach()
{
    m_channel = nullptr;
    m_clipWait.stop();
    m_ringExpiry.stop();
    m_ringing = false;
    m_announcePending = false;
}

void ModemCalls::onRing()
{
    if (!m_ringing)
        m_callerNumber.clear(); // a new call: the last caller's number is not this one's
    m_ringing = true;
    m_ringExpiry.start(RingExpiryMs);
    m_announcePending = true;
    m_clipWait.start(ClipWaitMs);
}

void ModemCalls::onCallerId(const QByteArray &line)
{
    // A withheld number comes as +CLIP: "",128.
    m_callerNumber = AtResponse::parseCallerId(line).value_or(QString());
    m_ringing = true;
    m_ringExpiry.start(RingExpiryMs);
    if (m_announcePending)
        announce();
}

void ModemCalls::announce()
{
    m_clipWait.stop();
    if (!m_announcePending)
        return;
    m_announcePending = false;
    if (m_ringing)
        Q_EMIT ringing();
}

void ModemCalls::hangUp()
{
    m_ringing = false;
    m_announcePending = false;
    m_clipWait.stop();
    m_ringExpiry.stop();
    if (!m_channel)
        return;
    // ATH is V.250's hang-up; some 3G modems (Huawei E1xx) only end an incoming call with
    // AT+CHUP (TS 27.007 §6.5).
    AtCommand ath;
    ath.text = "ATH";
    ath.timeoutMs = m_settings.commandMs;
    m_channel->send(ath, [this, ath](const AtResult &r) mutable {
        if (r.status != AtResult::Status::Error || !m_channel)
            return;
        ath.text = "AT+CHUP";
        m_channel->send(ath);
    });
}
