#include "modemcheck.h"

#include <QCommandLineParser>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-modemcheck"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Opens a modem the way the gateway does and tells what it learns."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("COMn or a device path"));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("baud rate (default: 115200, then 9600)"),
                                  QStringLiteral("N"));
    const QCommandLineOption send(QStringLiteral("send"),
                                  QStringLiteral("send TEXT (the argument after PORT) to NUMBER"),
                                  QStringLiteral("NUMBER"));
    const QCommandLineOption watch(QStringLiteral("watch"),
                                   QStringLiteral("print messages, calls and signal until Ctrl-C"));
    parser.addOptions({rate, send, watch});
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty() || (parser.isSet(send) && args.size() < 2))
        parser.showHelp(2);

    ModemCheck::Options options;
    options.port = args[0];
    options.rates =
            parser.isSet(rate) ? QList<int>{parser.value(rate).toInt()} : QList<int>{115200, 9600};
    if (parser.isSet(send)) {
        options.sendTo = parser.value(send);
        options.text = args.mid(1).join(QLatin1Char(' '));
    }
    options.watch = parser.isSet(watch);
    QTextStream out(stdout);
    ModemCheck check(out);
    return check.run(options);
}
