#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

class SimModem;

// The USSD side of one simulated modem's network: scripted answers to codes, two-step menus,
// and the ways modems give the answer's text. AT+CUSD=1 is answered OK at once and the
// network's +CUSD follows after the delay, as on a real line.
class SimUssd : public QObject
{
    Q_OBJECT

public:
    // How the answer is given: as characters (dcs 15), as packed septets in hexadecimal
    // (dcs 15, Huawei style), in UCS2 hexadecimal (dcs 72); or never (a silent network), or
    // AT+CUSD refused with ERROR (a modem without USSD).
    enum class Mode { Text, Packed, Ucs2, Silent, Unsupported };

    explicit SimUssd(SimModem &modem);

    // The one belonging to a modem.
    static SimUssd *of(SimModem *modem);

    void setAnswer(const QString &code, const QString &text) { m_answers.insert(code, text); }
    // code opens a menu with prompt; the reply `choice` ends it with text.
    void setMenu(const QString &code, const QString &prompt, const QString &choice,
                 const QString &text);
    void setMode(Mode mode) { m_mode = mode; }
    void setDelay(int ms) { m_delayMs = qMax(0, ms); }
    // Every code or reply received, oldest first.
    const QStringList &asked() const { return m_asked; }

    // AT+CUSD.
    QByteArray command(const QByteArrayList &params, bool query, bool test, QByteArrayList *lines);

private:
    struct Menu
    {
        QString prompt;
        QString choice;
        QString text;
    };
    void answerLater(int state, const QString &text);
    QByteArray line(int state, const QString &text) const;

    SimModem &m_modem;
    QHash<QString, QString> m_answers;
    QHash<QString, Menu> m_menus;
    // The menu waiting for its reply.
    std::optional<Menu> m_open;
    Mode m_mode = Mode::Text;
    int m_delayMs = 200;
    QStringList m_asked;
};
