#pragma once

#include "fakemodemcontrol.h"

#include <QStringList>

// A scriptable control that also takes USSD: the codes asked are recorded, and the test gives
// the network's answer (or the failure) when it wants.
class UssdFakeControl : public FakeModemControl
{
public:
    QStringList ussdAsked; // "code" or "code (reply)"
    bool ussdPending = false;

    bool Ussd(const QString &code, bool inSession, int) override
    {
        if (!isOpen || ussdPending)
            return false;
        ussdAsked << (inSession ? code + QStringLiteral(" (reply)") : code);
        ussdPending = true;
        return true;
    }
    // Ends the request on its way: error empty for an answer with state and text.
    void answerUssd(int state, const QString &text, const QString &error = {})
    {
        ussdPending = false;
        m_state = state < 0 ? QString() : QString::number(state);
        m_text = text;
        m_error = error;
        Q_EMIT UssdFinished();
    }
    bool GetInfo(short id, QString &text) override
    {
        switch (id) {
        case InfoUssdText:
            text = m_text;
            return true;
        case InfoUssdState:
            text = m_state;
            return true;
        case InfoUssdError:
            text = m_error;
            return true;
        default:
            return FakeModemControl::GetInfo(id, text);
        }
    }

private:
    QString m_state;
    QString m_text;
    QString m_error;
};
