#include "simoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

bool fail(const char *reason)
{
    std::fprintf(stderr, "velmora-modemsim: %s\n", reason);
    return false;
}

// A whole number of milliseconds, 0 or more.
bool milliseconds(const QString &text, int *ms)
{
    bool ok = false;
    *ms = text.toInt(&ok);
    return ok && *ms >= 0;
}

} // namespace

bool SimOptions::parsePorts(const QString &text, QList<int> *ports)
{
    for (const QString &item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList range = item.trimmed().split(QLatin1Char('-'));
        bool okFrom = false;
        bool okTo = false;
        const int from = range.value(0).toInt(&okFrom);
        const int to = range.size() == 2 ? range[1].toInt(&okTo) : from;
        if (!okFrom || (range.size() == 2 && !okTo) || range.size() > 2 || from < 1 || to < from)
            return false;
        for (int p = from; p <= to; ++p)
            ports->append(p);
    }
    return true;
}

bool SimOptions::parse(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated GSM modems for tests and demos."));
    parser.addHelpOption();
    const QCommandLineOption portsOption(QStringLiteral("ports"),
                                         QStringLiteral("Folder for the comK links."),
                                         QStringLiteral("dir"));
    const QCommandLineOption countOption(QStringLiteral("count"),
                                         QStringLiteral("Number of modems (default 1)."),
                                         QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption firstOption(
            QStringLiteral("first"), QStringLiteral("Port number of the first modem (default 1)."),
            QStringLiteral("k"), QStringLiteral("1"));
    const QCommandLineOption controlOption(
            QStringLiteral("control"),
            QStringLiteral("Path of the control socket (default <dir>/modemsim.sock)."),
            QStringLiteral("path"));
    const QCommandLineOption numberOption(
            QStringLiteral("number-base"),
            QStringLiteral("Modem on port k has the number +(base + k) (default 8613900000000)."),
            QStringLiteral("digits"), QStringLiteral("8613900000000"));
    const QCommandLineOption modelOption(
            QStringLiteral("model"), QStringLiteral("Model text of AT+CGMM."),
            QStringLiteral("text"), QStringLiteral("Velmora GSM Simulator"));
    const QCommandLineOption storageOption(
            QStringLiteral("storage"), QStringLiteral("Message slots of each SIM (default 255)."),
            QStringLiteral("n"), QStringLiteral("255"));
    const QCommandLineOption ignoreFirstOption(
            QStringLiteral("ignore-first-after"),
            QStringLiteral("The first command after ms without input, or after an ESC, is "
                           "ignored (default 0: never)."),
            QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption firstAnswerOption(
            QStringLiteral("first-answer-delay"),
            QStringLiteral("After a program opens a port, the modem's first answer comes ms "
                           "late (default 0)."),
            QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption silentOption(
            QStringLiteral("silent"),
            QStringLiteral("Modems that never answer, as 3,8,10-12 (default none)."),
            QStringLiteral("ports"));
    parser.addOptions({portsOption, countOption, firstOption, controlOption, numberOption,
                       modelOption, storageOption, ignoreFirstOption, firstAnswerOption,
                       silentOption});
    parser.process(app);
    if (!parser.isSet(portsOption))
        return fail("--ports is required");
    portsDir = QDir(parser.value(portsOption)).absolutePath();
    QDir().mkpath(portsDir);
    count = parser.value(countOption).toInt();
    first = parser.value(firstOption).toInt();
    numberBase = parser.value(numberOption).toULongLong();
    control = parser.isSet(controlOption) ? parser.value(controlOption)
                                          : portsDir + QStringLiteral("/modemsim.sock");
    model = parser.value(modelOption);
    storage = parser.value(storageOption).toInt();
    if (count < 1 || first < 1)
        return fail("--count and --first must be 1 or more");
    if (!milliseconds(parser.value(ignoreFirstOption), &ignoreFirstAfterMs)
        || !milliseconds(parser.value(firstAnswerOption), &firstAnswerDelayMs))
        return fail("--ignore-first-after and --first-answer-delay take milliseconds, 0 or more");
    if (!parsePorts(parser.value(silentOption), &silentPorts))
        return fail("--silent takes port numbers and ranges, as 3,8,10-12");
    return true;
}
