#include "simussd.h"

#include "simmodem.h"
#include "ussdtext.h"

#include <QPointer>
#include <QTimer>

SimUssd::SimUssd(SimModem &modem) : QObject(&modem), m_modem(modem)
{
    setObjectName(QStringLiteral("ussd"));
}

SimUssd *SimUssd::of(SimModem *modem)
{
    return modem ? modem->findChild<SimUssd *>(QStringLiteral("ussd"),
                                               Qt::FindDirectChildrenOnly)
                 : nullptr;
}

void SimUssd::setMenu(const QString &code, const QString &prompt, const QString &choice,
                      const QString &text)
{
    m_menus.insert(code, Menu{prompt, choice, text});
}

QByteArray SimUssd::command(const QByteArrayList &params, bool query, bool test,
                            QByteArrayList *lines)
{
    if (m_mode == Mode::Unsupported)
        return "ERROR";
    if (test) {
        lines->append("+CUSD: (0-2)");
        return "OK";
    }
    if (query) {
        lines->append("+CUSD: 1");
        return "OK";
    }
    const int n = params.value(0).toInt();
    if (n == 2) {
        m_open.reset();
        return "OK";
    }
    if (params.size() < 2)
        return "OK"; // AT+CUSD=1: result codes on, nothing asked
    const QString code = QString::fromLatin1(params[1]);
    m_asked.append(code);
    if (m_mode == Mode::Silent)
        return "OK";
    if (m_open) {
        const Menu menu = *m_open;
        m_open.reset();
        if (code == menu.choice)
            answerLater(0, menu.text);
        else
            answerLater(2, QString()); // a choice the menu does not offer ends it
    } else if (const auto menu = m_menus.constFind(code); menu != m_menus.constEnd()) {
        m_open = *menu;
        answerLater(1, menu->prompt);
    } else if (const auto answer = m_answers.constFind(code); answer != m_answers.constEnd()) {
        answerLater(0, *answer);
    } else {
        answerLater(4, QString());
    }
    return "OK";
}

QByteArray SimUssd::line(int state, const QString &text) const
{
    QByteArray out = "+CUSD: " + QByteArray::number(state);
    if (state > 2)
        return out;
    switch (m_mode) {
    case Mode::Packed:
        return out + ",\"" + UssdText::packedHex(text) + "\",15";
    case Mode::Ucs2:
        return out + ",\"" + UssdText::ucs2Hex(text) + "\",72";
    default:
        return out + ",\"" + text.toUtf8() + "\",15";
    }
}

void SimUssd::answerLater(int state, const QString &text)
{
    const QByteArray answer = line(state, text);
    QPointer<SimModem> modem(&m_modem);
    QTimer::singleShot(m_delayMs, this, [modem, answer] {
        if (modem && !modem->isGone())
            modem->unsolicited(answer);
    });
}
