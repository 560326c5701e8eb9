#include "smscontrol.h"

void SmsControl::connectUssd()
{
    connect(&m_modem.ussd(), &ModemUssd::finished, this, [this](const ModemUssd::Answer &a) {
        m_ussdAnswer = a;
        Q_EMIT UssdFinished();
    });
}

bool SmsControl::Ussd(const QString &code, bool inSession, int timeoutSeconds)
{
    if (!m_modem.isOpen())
        return false;
    return m_modem.ussd().request(code, inSession, qMax(1, timeoutSeconds) * 1000);
}

bool SmsControl::getUssdInfo(short nInfoID, QString &text) const
{
    switch (nInfoID) {
    case InfoUssdText:
        text = m_ussdAnswer.text;
        return true;
    case InfoUssdState:
        text = m_ussdAnswer.state < 0 ? QString() : QString::number(m_ussdAnswer.state);
        return true;
    case InfoUssdError:
        switch (m_ussdAnswer.outcome) {
        case ModemUssd::Outcome::Answered:
            text.clear();
            break;
        case ModemUssd::Outcome::TimedOut:
            text = QStringLiteral("timeout");
            break;
        case ModemUssd::Outcome::NotSupported:
            text = QStringLiteral("unsupported");
            break;
        case ModemUssd::Outcome::Refused:
            text = QStringLiteral("refused");
            break;
        case ModemUssd::Outcome::Closed:
            text = QStringLiteral("closed");
            break;
        }
        return true;
    default:
        return false;
    }
}
