#include "modemcheckup.h"

#include "at/atchannel.h"
#include "modemtext.h"

#include <array>
#include <memory>

namespace ModemCheckup {

namespace {

struct Query
{
    const char *text;
    const char *prefix; // nullptr for a bare answer
};

constexpr std::array<Query, 6> Queries{{
        {"AT", nullptr},
        {"AT+CPIN?", "+CPIN:"},
        {"AT+CSQ", "+CSQ:"},
        {"AT+CREG?", "+CREG:"},
        {"AT+COPS?", "+COPS:"},
        {"AT+CGMM", nullptr},
}};

QString answerOf(const AtResult &r)
{
    if (!r.ok())
        return ModemText::describe(r);
    QStringList lines;
    for (const QByteArray &line : r.lines)
        lines << QString::fromLatin1(line.trimmed());
    lines.removeAll(QString());
    return lines.isEmpty() ? QStringLiteral("OK") : lines.join(QLatin1Char(' '));
}

} // namespace

void run(AtChannel &channel, int commandMs, Done done)
{
    auto report = std::make_shared<QStringList>();
    for (std::size_t i = 0; i < Queries.size(); ++i) {
        AtCommand c;
        c.text = Queries[i].text;
        c.timeoutMs = commandMs;
        if (Queries[i].prefix)
            c.prefixes = {Queries[i].prefix};
        else
            c.plainLines = true;
        const bool last = i + 1 == Queries.size();
        channel.send(c,
                     [report, text = QString::fromLatin1(c.text), last, done](const AtResult &r) {
                         report->append(text + QStringLiteral("：") + answerOf(r));
                         if (last && done)
                             done(*report);
                     });
    }
}

} // namespace ModemCheckup
