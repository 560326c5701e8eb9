#include "delivercommand.h"

#include "pdu/messagesplitter.h"
#include "pdu/pduencoder.h"
#include "simmodem.h"

#include <QDateTime>
#include <QUrl>

namespace {

struct DeliverOptions
{
    MessageSplitter::Options split;
    QList<int> order;
    QList<int> duplicates;
    QByteArray memory = "SM";
};

// The options after the text; the unknown one in *unknown when there is one.
DeliverOptions parseOptions(const QStringList &options, QString *unknown)
{
    DeliverOptions o;
    o.split.reference = int(QDateTime::currentMSecsSinceEpoch() & 0xFF);
    for (const QString &opt : options) {
        if (opt == QLatin1String("ucs2"))
            o.split.coding = MessageSplitter::Coding::Ucs2;
        else if (opt == QLatin1String("ref16"))
            o.split.sixteenBitReference = true;
        else if (opt.startsWith(QLatin1String("ref=")))
            o.split.reference = opt.mid(4).toInt();
        else if (opt.startsWith(QLatin1String("order="))) {
            for (const QString &n : opt.mid(6).split(QLatin1Char(',')))
                o.order.append(n.toInt());
        } else if (opt.startsWith(QLatin1String("dup="))) {
            o.duplicates.append(opt.mid(4).toInt());
        } else if (opt.startsWith(QLatin1String("mem="))) {
            o.memory = opt.mid(4).toLatin1();
        } else {
            *unknown = opt;
            break;
        }
    }
    return o;
}

} // namespace

QString DeliverCommand::deliver(SimModem *modem, const QStringList &args, QByteArrayList *data)
{
    if (args.size() < 4)
        return QStringLiteral("usage: deliver <port> <sender> <text> [options]");
    QString unknown;
    DeliverOptions o = parseOptions(args.mid(4), &unknown);
    if (!unknown.isNull())
        return QStringLiteral("unknown option %1").arg(unknown);
    const QString text = QUrl::fromPercentEncoding(args[3].toUtf8());
    const QList<UserData> parts = MessageSplitter::split(text, o.split);
    if (parts.isEmpty())
        return QStringLiteral("text too long");
    if (o.order.isEmpty()) {
        for (int i = 1; i <= parts.size(); ++i)
            o.order.append(i);
    }
    o.order.append(o.duplicates);
    for (int n : o.order) {
        if (n < 1 || n > parts.size())
            return QStringLiteral("no part %1 of %2").arg(n).arg(parts.size());
    }
    const QDateTime now = QDateTime::currentDateTime();
    for (int n : o.order)
        modem->receive(PduEncoder::deliver(args[2], parts[n - 1], now, modem->serviceCentre()),
                       o.memory);
    data->append(QByteArray::number(parts.size()));
    return {};
}

QString DeliverCommand::deliverPdu(SimModem *modem, const QStringList &args)
{
    const QByteArray octets = QByteArray::fromHex(args.value(2).toLatin1());
    if (octets.isEmpty())
        return QStringLiteral("usage: deliverpdu <port> <hex> [mem=ME]");
    PduEncoder::Encoded pdu;
    pdu.octets = octets;
    pdu.tpduLength = int(qMax<qsizetype>(0, octets.size() - 1 - quint8(octets[0])));
    const QString mem = args.value(3);
    modem->receive(
            pdu, mem.startsWith(QLatin1String("mem=")) ? mem.mid(4).toLatin1() : QByteArray("SM"));
    return {};
}
