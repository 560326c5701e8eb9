#include "ussdcommands.h"

#include "commandtable.h"
#include "simussd.h"

#include <QUrl>

namespace UssdCommands {

namespace {

QString text(const QString &word)
{
    return QUrl::fromPercentEncoding(word.toUtf8());
}

const QString Usage = QStringLiteral(
        "usage: ussd <port> answer <code> <text> | menu <code> <prompt> <choice> <text> | "
        "mode text|packed|ucs2|silent|unsupported | delay <ms> | asked");

} // namespace

void addTo(CommandTable &table, SimModem &modem)
{
    auto *ussd = new SimUssd(modem);
    table.add("+CUSD", [ussd](const AtCommand &c, QByteArrayList *lines) {
        return ussd->command(c.params, c.query, c.test, lines);
    });
}

QString control(SimModem *modem, const QStringList &args, QByteArrayList *data)
{
    SimUssd *ussd = SimUssd::of(modem);
    if (!ussd)
        return QStringLiteral("no USSD on this modem");
    const QString what = args.value(2);
    if (what == QLatin1String("answer") && args.size() >= 5) {
        ussd->setAnswer(text(args[3]), text(args[4]));
    } else if (what == QLatin1String("menu") && args.size() >= 7) {
        ussd->setMenu(text(args[3]), text(args[4]), text(args[5]), text(args[6]));
    } else if (what == QLatin1String("mode")) {
        static const QHash<QString, SimUssd::Mode> Modes{
                {QStringLiteral("text"), SimUssd::Mode::Text},
                {QStringLiteral("packed"), SimUssd::Mode::Packed},
                {QStringLiteral("ucs2"), SimUssd::Mode::Ucs2},
                {QStringLiteral("silent"), SimUssd::Mode::Silent},
                {QStringLiteral("unsupported"), SimUssd::Mode::Unsupported},
        };
        const auto mode = Modes.constFind(args.value(3));
        if (mode == Modes.constEnd())
            return Usage;
        ussd->setMode(*mode);
    } else if (what == QLatin1String("delay") && args.size() >= 4) {
        ussd->setDelay(args[3].toInt());
    } else if (what == QLatin1String("asked")) {
        for (const QString &code : ussd->asked())
            data->append(QUrl::toPercentEncoding(code));
    } else {
        return Usage;
    }
    return QString();
}

} // namespace UssdCommands
