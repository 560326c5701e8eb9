#include "pdu/gsmalphabet.h"
#include "pdu/messagesplitter.h"
#include "pdu/pdudecoder.h"
#include "pdu/pduencoder.h"
#include "pdu/septetpacking.h"
#include "pdu/userdatacodec.h"

#include <QRandomGenerator>
#include <QTest>

using Type = SmsPdu::Type;

class TestPduCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void septetPacking_data();
    void septetPacking();
    void alphabet_data();
    void alphabet();
    void decodes_data();
    void decodes();
    void decodesStatusReport();
    void encodesSubmit_data();
    void encodesSubmit();
    void normalisesNumbers_data();
    void normalisesNumbers();
    void rejectsMalformed_data();
    void rejectsMalformed();
    void splits_data();
    void splits();
    void randomRoundTrip();
};

void TestPduCodec::septetPacking_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fill");
    QTest::addColumn<QByteArray>("hex");
    // TS 23.038 §6.1.2.1.1 packing; the first two are the classic examples of PDU tutorials.
    QTest::newRow("hellohello") << QStringLiteral("hellohello") << 0
                                << QByteArray("E8329BFD4697D9EC37");
    QTest::newRow("Hello") << QStringLiteral("Hello") << 0 << QByteArray("C8329BFD06");
    QTest::newRow("eight septets fill seven octets")
            << QStringLiteral("12345678") << 0 << QByteArray("31D98C56B3DD70");
    QTest::newRow("one fill bit after a 6-octet header")
            << QStringLiteral("Hello") << 1 << QByteArray("906536FB0D");
    QTest::newRow("extension characters")
            << QStringLiteral("[5€]") << 0 << QByteArray("1B5E6D53DEF800");
}

void TestPduCodec::septetPacking()
{
    QFETCH(QString, text);
    QFETCH(int, fill);
    QFETCH(QByteArray, hex);
    const QByteArray septets = GsmAlphabet::toSeptets(text);
    QCOMPARE(SeptetPacking::pack(septets, fill).toHex().toUpper(), hex);
    QCOMPARE(GsmAlphabet::fromSeptets(
                     SeptetPacking::unpack(QByteArray::fromHex(hex), int(septets.size()), fill)),
             text);
}

void TestPduCodec::alphabet_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("septets");
    // TS 23.038 §6.2.1 and the extension table §6.2.1.1.
    QTest::newRow("@ is zero") << QStringLiteral("@") << QByteArray::fromHex("00");
    QTest::newRow("pound, dollar") << QStringLiteral("£$") << QByteArray::fromHex("0102");
    QTest::newRow("greek") << QStringLiteral("ΔΦΓΛΩΠΨΣΘΞ")
                           << QByteArray::fromHex("1012131415161718191A");
    QTest::newRow("currency sign, section") << QStringLiteral("¤§") << QByteArray::fromHex("245F");
    QTest::newRow("accented") << QStringLiteral("àüÄé") << QByteArray::fromHex("7F7E5B05");
    QTest::newRow("euro, braces, backslash")
            << QStringLiteral("€{}\\") << QByteArray::fromHex("1B651B281B291B2F");
    QTest::newRow("brackets, tilde, bar, caret, form feed")
            << QStringLiteral("[]~|^\f") << QByteArray::fromHex("1B3C1B3E1B3D1B401B141B0A");
}

void TestPduCodec::alphabet()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, septets);
    QVERIFY(GsmAlphabet::canEncode(text));
    QCOMPARE(GsmAlphabet::toSeptets(text), septets);
    QCOMPARE(GsmAlphabet::fromSeptets(septets), text);
    QCOMPARE(GsmAlphabet::septetCount(text), int(septets.size()));
}

void TestPduCodec::decodes_data()
{
    QTest::addColumn<QByteArray>("pdu");
    QTest::addColumn<QString>("sca");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("timestamp");
    QTest::addColumn<QList<int>>("concat"); // reference, total, sequence; empty: none

    QTest::newRow("tutorial deliver, national-type originator")
            << QByteArray(
                       "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37")
            << QStringLiteral("+27381000015") << QStringLiteral("27838890001")
            << QStringLiteral("hellohello") << QStringLiteral("990329151659+08") << QList<int>();
    QTest::newRow("ucs2 chinese") << QByteArray(
            "0891683108200505F0040D91683118325476F8000842103161750423044F60597D")
                                  << QStringLiteral("+8613800250500")
                                  << QStringLiteral("+8613812345678") << QStringLiteral("你好")
                                  << QStringLiteral("240113165740+32") << QList<int>();
    QTest::newRow("alphanumeric originator, no centre")
            << QByteArray("00040BD0C7F7FBCC2E030000993092516195800AE8329BFD4697D9EC37") << QString()
            << QStringLiteral("Google") << QStringLiteral("hellohello")
            << QStringLiteral("990329151659+08") << QList<int>();
    QTest::newRow("gsm 7-bit part after an 8-bit reference header")
            << QByteArray("07917283010010F5440B916407281553F8000099309251619580"
                          "12050003CC0201906536FB0DBABFE56C32")
            << QStringLiteral("+27381000015") << QStringLiteral("+46708251358")
            << QStringLiteral("Hello world") << QStringLiteral("990329151659+08")
            << QList<int>{0xCC, 2, 1};
    QTest::newRow("ucs2 surrogate pair after a 16-bit reference header")
            << QByteArray("00400B916407281553F80008421031617504230B060804F42E0301D83DDE00")
            << QString() << QStringLiteral("+46708251358") << QStringLiteral("😀")
            << QStringLiteral("240113165740+32") << QList<int>{0xF42E, 3, 1};
    QTest::newRow("8-bit data, negative zone")
            << QByteArray("00040B916407281553F800044210316175044A03414243") << QString()
            << QStringLiteral("+46708251358") << QStringLiteral("ABC")
            << QStringLiteral("240113165740-24") << QList<int>();
    QTest::newRow("invalid concatenation element is ignored")
            << QByteArray("00440B916407281553F800084210316175042308050003CC0300FF21") << QString()
            << QStringLiteral("+46708251358") << QString(QChar(0xFF21))
            << QStringLiteral("240113165740+32") << QList<int>();
}

void TestPduCodec::decodes()
{
    QFETCH(QByteArray, pdu);
    QFETCH(QString, sca);
    QFETCH(QString, sender);
    QFETCH(QString, text);
    QFETCH(QString, timestamp);
    QFETCH(QList<int>, concat);
    QString error;
    const auto decoded = PduDecoder::decodeHex(pdu, &error);
    QVERIFY2(decoded, qPrintable(error));
    QCOMPARE(decoded->type, Type::Deliver);
    QCOMPARE(decoded->serviceCentre, sca);
    QCOMPARE(decoded->address, sender);
    QCOMPARE(decoded->userData.text, text);
    QCOMPARE(decoded->timestamp, timestamp);
    QCOMPARE(decoded->concat.isValid(), !concat.isEmpty());
    if (!concat.isEmpty()) {
        QCOMPARE(decoded->concat.reference, concat[0]);
        QCOMPARE(decoded->concat.total, concat[1]);
        QCOMPARE(decoded->concat.sequence, concat[2]);
    }
    // The same message built by our encoder gives the same octets back.
    if (decoded->address.startsWith(QLatin1Char('+'))
        || decoded->address == QLatin1String("Google")) {
        const auto again = PduEncoder::deliver(decoded->address, decoded->userData, QDateTime(),
                                               decoded->serviceCentre);
        const auto round = PduDecoder::decode(again.octets, &error);
        QVERIFY2(round, qPrintable(error));
        QCOMPARE(round->userData.text, text);
        QCOMPARE(round->address, sender);
        QCOMPARE(round->userData.header, decoded->userData.header);
    }
}

void TestPduCodec::decodesStatusReport()
{
    QString error;
    const auto r = PduDecoder::decodeHex(
            "07911326040011F006270B911326880736F4111011719551401110117195714000", &error);
    QVERIFY2(r, qPrintable(error));
    QCOMPARE(r->type, Type::StatusReport);
    QCOMPARE(r->messageReference, 0x27);
    QCOMPARE(r->address, QStringLiteral("+31628870634"));
    QCOMPARE(r->timestamp, QStringLiteral("110111175915+04"));
    QCOMPARE(r->dischargeTime, QStringLiteral("110111175917+04"));
    QCOMPARE(r->status, 0);
}

void TestPduCodec::encodesSubmit_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("pdu");
    QTest::addColumn<int>("tpduLength");
    QTest::newRow("tutorial submit")
            << QStringLiteral("+46708251358") << QStringLiteral("hellohello")
            << QByteArray("0011000B916407281553F80000AA0AE8329BFD4697D9EC37") << 23;
    QTest::newRow("national number, ucs2")
            << QStringLiteral("13800138000") << QStringLiteral("你好")
            << QByteArray("0011000B813108108300F00008AA044F60597D") << 18;
    QTest::newRow("extension characters")
            << QStringLiteral("+8613812345678") << QStringLiteral("[5€]")
            << QByteArray("0011000D91683118325476F80000AA071B5E6D53DEF800") << 22;
}

void TestPduCodec::encodesSubmit()
{
    QFETCH(QString, number);
    QFETCH(QString, text);
    QFETCH(QByteArray, pdu);
    QFETCH(int, tpduLength);
    const QList<UserData> parts = MessageSplitter::split(text);
    QCOMPARE(parts.size(), 1);
    const PduEncoder::Encoded e = PduEncoder::submit(number, parts[0]);
    QCOMPARE(e.hex(), pdu);
    QCOMPARE(e.tpduLength, tpduLength);
    QString error;
    const auto back = PduDecoder::decodeHex(pdu, &error);
    QVERIFY2(back, qPrintable(error));
    QCOMPARE(back->type, Type::Submit);
    QCOMPARE(back->address, number);
    QCOMPARE(back->userData.text, text);
}

void TestPduCodec::normalisesNumbers_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("address"); // TP-DA: length, type, digits
    QTest::newRow("international")
            << QStringLiteral("+8613812345678") << QByteArray("0D91683118325476F8");
    QTest::newRow("with blanks and dashes")
            << QStringLiteral(" +86 138-1234-5678 ") << QByteArray("0D91683118325476F8");
    QTest::newRow("national with brackets")
            << QStringLiteral("(010) 6552.9988") << QByteArray("0B811060559289F8");
    QTest::newRow("service number") << QStringLiteral("10086") << QByteArray("05810180F6");
    QTest::newRow("star and hash") << QStringLiteral("*100#") << QByteArray("05811A00FB");
    QTest::newRow("letters stay alphanumeric")
            << QStringLiteral("Velmora") << QByteArray("0DD0D632BBFD968701");
}

void TestPduCodec::normalisesNumbers()
{
    QFETCH(QString, written);
    QFETCH(QByteArray, address);
    const PduEncoder::Encoded e = PduEncoder::submit(written, UserData{});
    // First octet, message reference, then the address.
    QCOMPARE(e.hex().mid(6, address.size()), address);
}

void TestPduCodec::rejectsMalformed_data()
{
    QTest::addColumn<QByteArray>("pdu");
    QTest::addColumn<QString>("field");
    QTest::newRow("empty") << QByteArray("") << QStringLiteral("service-centre address");
    QTest::newRow("centre longer than allowed")
            << QByteArray("0C91") << QStringLiteral("service-centre");
    QTest::newRow("odd digits") << QByteArray("000") << QStringLiteral("odd");
    QTest::newRow("not hexadecimal") << QByteArray("00XY") << QStringLiteral("hexadecimal");
    QTest::newRow("originator cut short")
            << QByteArray("07917283010010F5040BC8723888") << QStringLiteral("originating address");
    QTest::newRow("originator of 40 digits")
            << QByteArray("000428917283") << QStringLiteral("originating address");
    QTest::newRow("no time stamp")
            << QByteArray("00040BC87238880900F10000") << QStringLiteral("time stamp");
    QTest::newRow("user data shorter than its length")
            << QByteArray("00040BC87238880900F100009930925161958020E8329B")
            << QStringLiteral("user data");
    QTest::newRow("7-bit length beyond 160")
            << QByteArray("00040BC87238880900F1000099309251619580A1")
            << QStringLiteral("user data length");
    QTest::newRow("header longer than user data")
            << QByteArray("00440BC87238880900F100089930925161958003084142")
            << QStringLiteral("header");
    QTest::newRow("header claimed, user data empty")
            << QByteArray("00440BC87238880900F1000899309251619580") + QByteArray("00")
            << QStringLiteral("header");
    QTest::newRow("reserved message type") << QByteArray("0003") << QStringLiteral("reserved");
    QTest::newRow("status report without status")
            << QByteArray("0006270B911326880736F41110117195514011101171957140")
            << QStringLiteral("status");
}

void TestPduCodec::rejectsMalformed()
{
    QFETCH(QByteArray, pdu);
    QFETCH(QString, field);
    QString error;
    QVERIFY(!PduDecoder::decodeHex(pdu, &error));
    QVERIFY2(error.contains(field), qPrintable(error));
}

void TestPduCodec::splits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("sixteenBit");
    QTest::addColumn<SmsAlphabet>("alphabet");
    QTest::addColumn<QList<int>>("lengths"); // of each part's text, in QChars

    QTest::newRow("160 septets fit one message")
            << QString(160, QLatin1Char('a')) << false << SmsAlphabet::Gsm7 << QList<int>{160};
    QTest::newRow("161 septets take two")
            << QString(161, QLatin1Char('a')) << false << SmsAlphabet::Gsm7 << QList<int>{153, 8};
    QTest::newRow("escape pair is not cut")
            << QString(152, QLatin1Char('a')) + QStringLiteral("€") + QString(10, QLatin1Char('b'))
            << false << SmsAlphabet::Gsm7 << QList<int>{152, 11};
    QTest::newRow("extension characters count twice")
            << QString(81, QChar(0x20AC)) << false << SmsAlphabet::Gsm7 << QList<int>{76, 5};
    QTest::newRow("16-bit reference leaves 152")
            << QString(161, QLatin1Char('a')) << true << SmsAlphabet::Gsm7 << QList<int>{152, 9};
    QTest::newRow("70 ucs2 fit one message")
            << QString(70, QChar(0x4E2D)) << false << SmsAlphabet::Ucs2 << QList<int>{70};
    QTest::newRow("71 ucs2 take two")
            << QString(71, QChar(0x4E2D)) << false << SmsAlphabet::Ucs2 << QList<int>{67, 4};
    QTest::newRow("surrogate pair is not cut")
            << QString(66, QLatin1Char('x')) + QStringLiteral("😀") + QString(10, QLatin1Char('y'))
            << false << SmsAlphabet::Ucs2 << QList<int>{66, 12};
    QTest::newRow("500 chinese") << QString(500, QChar(0x4F60)) << false << SmsAlphabet::Ucs2
                                 << QList<int>{67, 67, 67, 67, 67, 67, 67, 31};
}

void TestPduCodec::splits()
{
    QFETCH(QString, text);
    QFETCH(bool, sixteenBit);
    QFETCH(SmsAlphabet, alphabet);
    QFETCH(QList<int>, lengths);
    MessageSplitter::Options options;
    options.reference = 0x1234;
    options.sixteenBitReference = sixteenBit;
    const QList<UserData> parts = MessageSplitter::split(text, options);
    QCOMPARE(parts.size(), lengths.size());
    QString joined;
    for (int i = 0; i < parts.size(); ++i) {
        QCOMPARE(parts[i].alphabet, alphabet);
        QCOMPARE(int(parts[i].text.size()), lengths[i]);
        QVERIFY(UserDataCodec::encodedLength(parts[i])
                <= (alphabet == SmsAlphabet::Gsm7 ? 160 : 140));
        if (parts.size() > 1) {
            const ConcatInfo c = UserDataCodec::concatOf(parts[i].header);
            QCOMPARE(c.reference, sixteenBit ? 0x1234 : 0x34);
            QCOMPARE(c.total, int(parts.size()));
            QCOMPARE(c.sequence, i + 1);
        }
        joined += parts[i].text;
    }
    QCOMPARE(joined, text);
}

void TestPduCodec::randomRoundTrip()
{
    // Characters from every corner that matters: the default alphabet, its extension table,
    // Latin outside GSM, CJK, rare CJK beyond the BMP and emoji.
    const QString pool = QStringLiteral("abcXYZ019 @£$¥èÇΔΞßÉ¤§àü\n\r€{}[]~|^\\"
                                        "ĀœŁ你好中文短信网关𠀋𡈽😀👍🇨🇳");
    QList<QString> units;
    for (qsizetype i = 0; i < pool.size(); ++i) {
        if (pool[i].isHighSurrogate()) {
            units.append(pool.mid(i, 2));
            ++i;
        } else {
            units.append(pool.mid(i, 1));
        }
    }
    QRandomGenerator rng(20240113);
    for (int round = 0; round < 300; ++round) {
        const bool gsmOnly = rng.bounded(2) == 0;
        const int length = int(rng.bounded(600));
        QString text;
        while (text.size() < length) {
            const QString &u = units[rng.bounded(int(units.size()))];
            if (gsmOnly && !GsmAlphabet::canEncode(u))
                continue;
            text += u;
        }
        MessageSplitter::Options options;
        options.reference = int(rng.bounded(0x10000));
        options.sixteenBitReference = rng.bounded(2) == 0;
        const QList<UserData> parts = MessageSplitter::split(text, options);
        QVERIFY(!parts.isEmpty());
        QString sent;
        QString delivered;
        for (const UserData &ud : parts) {
            QString error;
            const auto submit =
                    PduDecoder::decode(PduEncoder::submit("+8613912345678", ud).octets, &error);
            QVERIFY2(submit, qPrintable(error));
            sent += submit->userData.text;
            const auto deliver = PduDecoder::decode(
                    PduEncoder::deliver("+8613812345678", ud, QDateTime::currentDateTime(),
                                        "+8613800000000")
                            .octets,
                    &error);
            QVERIFY2(deliver, qPrintable(error));
            QCOMPARE(deliver->concat.isValid(), parts.size() > 1);
            delivered += deliver->userData.text;
        }
        QCOMPARE(sent, text);
        QCOMPARE(delivered, text);
    }
}

QTEST_GUILESS_MAIN(TestPduCodec)
#include "tst_pducodec.moc"
