#include "smppbodies.h"
#include "smpppdu.h"
#include "smppreceipt.h"
#include "smpptext.h"

#include <QTest>
#include <QTimeZone>
#include <QtEndian>

using namespace Smpp;

namespace {

QByteArray submitBody(const QByteArray &destination, quint8 esmClass, quint8 dataCoding,
                      const QByteArray &shortMessage, const QByteArray &tlvs = {},
                      const QByteArray &schedule = {}, const QByteArray &validity = {})
{
    PduWriter w;
    w.cstring("").u8(0).u8(0).cstring("1234").u8(1).u8(1).cstring(destination);
    w.u8(esmClass).u8(0).u8(0).cstring(schedule).cstring(validity).u8(1).u8(0).u8(dataCoding).u8(
            0);
    w.u8(quint8(shortMessage.size())).bytes(shortMessage).bytes(tlvs);
    return w.data();
}

QByteArray ucs2(const QString &text)
{
    QByteArray out;
    for (QChar c : text)
        out += char(c.unicode() >> 8), out += char(c.unicode() & 0xFF);
    return out;
}

} // namespace

// The SMPP reader and writer against hand-made PDUs, whole and broken: nothing the peer sends
// may read past a body or be taken for something it is not.
class TestSmppCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void framesAreTakenWholeAcrossReads();
    void impossibleLengthsStopTheStream();
    void readerNeverPassesTheEnd();
    void bindTakesTokensLongerThanTheProtocolsPassword();
    void submitFieldsAndTlvsDecode();
    void malformedSubmitsAreRefused_data();
    void malformedSubmitsAreRefused();
    void textCodings_data();
    void textCodings();
    void repliesPickGsmOrUcs2();
    void clientPartsAreRecognised_data();
    void clientPartsAreRecognised();
    void timesAbsoluteAndRelative();
    void receiptHasTheUsualBodyAndTlvs();
    void longReceivedMessageGoesWholeInThePayload();
};

void TestSmppCodec::framesAreTakenWholeAcrossReads()
{
    const QByteArray first = encode({Command::EnquireLink, 0, 7, {}});
    const QByteArray second = encode({Command::SubmitSm, 0, 8, QByteArray("abc")});
    QByteArray stream = first + second;
    QByteArray buffer;
    Pdu pdu;
    // Byte by byte, as a slow network hands them over.
    QList<Pdu> taken;
    for (char c : stream) {
        buffer.append(c);
        if (takeFrame(buffer, &pdu) == Frame::Complete)
            taken << pdu;
    }
    QCOMPARE(taken.size(), 2);
    QCOMPARE(taken.at(0).command, Command::EnquireLink);
    QCOMPARE(taken.at(0).sequence, 7u);
    QVERIFY(taken.at(0).body.isEmpty());
    QCOMPARE(taken.at(1).body, QByteArray("abc"));
    QVERIFY(buffer.isEmpty());
    QCOMPARE(encode(taken.at(1)), second);
}

void TestSmppCodec::impossibleLengthsStopTheStream()
{
    Pdu pdu;
    for (quint32 length : {0u, 15u, MaxPduLength + 1, 0xFFFFFFFFu}) {
        QByteArray buffer(4, '\0');
        qToBigEndian(length, buffer.data());
        buffer += QByteArray(20, 'x');
        QCOMPARE(takeFrame(buffer, &pdu), Frame::Invalid);
    }
    QByteArray shortHeader("\0\0\0", 3);
    QCOMPARE(takeFrame(shortHeader, &pdu), Frame::Incomplete);
}

void TestSmppCodec::readerNeverPassesTheEnd()
{
    const QByteArray data("ab\0cdefgh", 9);
    PduReader r(data);
    QCOMPARE(r.cstring(3), QByteArray("ab"));
    // No NUL within the size: the read fails and so does everything after it.
    QCOMPARE(r.cstring(3), QByteArray());
    QVERIFY(!r.ok());
    QCOMPARE(r.u8(), 0);
    QCOMPARE(r.remaining(), 0);

    PduReader past(QByteArray("\x01\x02\x03", 3));
    QCOMPARE(past.u16(), 0x0102);
    QCOMPARE(past.u16(), 0);
    QVERIFY(!past.ok());

    const QByteArray noNul("abc");
    PduReader unterminated(noNul);
    unterminated.cstring(65);
    QVERIFY(!unterminated.ok());

    QHash<quint16, QByteArray> tlvs;
    const QByteArray overrun("\x04\x24\x00\x05" "abc", 7);
    PduReader t(overrun);
    QVERIFY(!t.tlvs(&tlvs));
    const QByteArray cutTag("\x04", 1);
    PduReader c(cutTag);
    QVERIFY(!c.tlvs(&tlvs));
}

void TestSmppCodec::bindTakesTokensLongerThanTheProtocolsPassword()
{
    const QByteArray token = "vm_" + QByteArray(43, 'A');
    const QByteArray body =
            PduWriter().cstring("billing").cstring(token).cstring("").u8(0x34).u8(0).u8(0).cstring(
                    "").data();
    auto bind = decodeBind(body);
    QVERIFY(std::holds_alternative<BindRequest>(bind));
    QCOMPARE(std::get<BindRequest>(bind).systemId, QByteArray("billing"));
    QCOMPARE(std::get<BindRequest>(bind).password, token);
    QCOMPARE(std::get<BindRequest>(bind).interfaceVersion, 0x34);
    // Cut before address_range.
    QCOMPARE(std::get<quint32>(decodeBind(body.left(body.size() - 2))),
             Status::InvalidCommandLength);
}

void TestSmppCodec::submitFieldsAndTlvsDecode()
{
    const QByteArray tlvs = PduWriter().tlv(Tag::SarMsgRefNum, QByteArray("\x01\x02", 2)).data();
    auto decoded = decodeSubmit(submitBody("8613800138000", 0, 8, ucs2(QStringLiteral("你好")),
                                           tlvs, "261209120000000+", "000001000000000R"),
                                false);
    QVERIFY(std::holds_alternative<SubmitSm>(decoded));
    const SubmitSm s = std::get<SubmitSm>(decoded);
    QCOMPARE(s.source.address, QByteArray("1234"));
    QCOMPARE(s.destinations.size(), 1);
    QCOMPARE(s.destinations.first().address, QByteArray("8613800138000"));
    QCOMPARE(s.destinations.first().ton, 1);
    QCOMPARE(s.registeredDelivery, 1);
    QCOMPARE(s.dataCoding, 8);
    QCOMPARE(s.scheduleDeliveryTime, QByteArray("261209120000000+"));
    QCOMPARE(s.validityPeriod, QByteArray("000001000000000R"));
    QCOMPARE(SmppText::decode(s.dataCoding, s.shortMessage), QStringLiteral("你好"));
    QCOMPARE(s.tlvs.value(Tag::SarMsgRefNum), QByteArray("\x01\x02", 2));

    // submit_multi: two SME addresses.
    PduWriter multi;
    multi.cstring("").u8(0).u8(0).cstring("1234").u8(2);
    multi.u8(1).u8(1).u8(1).cstring("8613800138000").u8(1).u8(0).u8(0).cstring("10086");
    multi.u8(0).u8(0).u8(0).cstring("").cstring("").u8(0).u8(0).u8(0).u8(0).u8(2).bytes("hi");
    auto m = decodeSubmit(multi.data(), true);
    QVERIFY(std::holds_alternative<SubmitSm>(m));
    QCOMPARE(std::get<SubmitSm>(m).destinations.size(), 2);
    QCOMPARE(std::get<SubmitSm>(m).destinations.at(1).address, QByteArray("10086"));
}

void TestSmppCodec::malformedSubmitsAreRefused_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("multi");
    QTest::addColumn<quint32>("status");
    const QByteArray good = submitBody("13800138000", 0, 0, "hello");
    QTest::newRow("empty") << QByteArray() << false << Status::InvalidCommandLength;
    QTest::newRow("cut in the text") << good.left(good.size() - 2) << false
                                     << Status::InvalidCommandLength;
    QByteArray longLength = good;
    longLength[longLength.size() - 6] = char(200); // sm_length past the body
    QTest::newRow("sm_length past the end") << longLength << false << Status::InvalidCommandLength;
    QTest::newRow("address without NUL")
            << PduWriter().cstring("").u8(0).u8(0).bytes(QByteArray(30, '1')).data() << false
            << Status::InvalidCommandLength;
    QTest::newRow("tlv overruns")
            << good + QByteArray("\x04\x24\x01\x00", 4) << false << Status::InvalidTlvStream;
    QTest::newRow("half a tlv header") << good + QByteArray("\x04", 1) << false
                                       << Status::InvalidTlvStream;
    QTest::newRow("multi without destinations")
            << PduWriter().cstring("").u8(0).u8(0).cstring("1").u8(0).data() << true
            << Status::InvalidDestinationCount;
    QTest::newRow("multi distribution list")
            << PduWriter().cstring("").u8(0).u8(0).cstring("1").u8(1).u8(2).cstring("list").data()
            << true << Status::InvalidDestinationFlag;
    QTest::newRow("multi unknown flag")
            << PduWriter().cstring("").u8(0).u8(0).cstring("1").u8(1).u8(9).data() << true
            << Status::InvalidDestinationFlag;
    QTest::newRow("multi cut in a destination")
            << PduWriter().cstring("").u8(0).u8(0).cstring("1").u8(3).u8(1).u8(1).data() << true
            << Status::InvalidCommandLength;
}

void TestSmppCodec::malformedSubmitsAreRefused()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, multi);
    QFETCH(quint32, status);
    auto decoded = decodeSubmit(body, multi);
    QVERIFY(std::holds_alternative<quint32>(decoded));
    QCOMPARE(std::get<quint32>(decoded), status);
}

void TestSmppCodec::textCodings_data()
{
    QTest::addColumn<int>("coding");
    QTest::addColumn<QByteArray>("octets");
    QTest::addColumn<QString>("text"); // null: refused

    QTest::newRow("gsm with @ and the euro sign")
            << 0 << QByteArray("\x00" "a\x1B\x65" "b", 5) << QStringLiteral("@a€b");
    QTest::newRow("gsm octet above 127") << 0 << QByteArray("a\x80") << QString();
    QTest::newRow("ascii") << 1 << QByteArray("a@b") << QStringLiteral("a@b");
    QTest::newRow("latin-1") << 3 << QByteArray("caf\xE9") << QStringLiteral("café");
    QTest::newRow("ucs2") << 8 << ucs2(QStringLiteral("短信")) << QStringLiteral("短信");
    QTest::newRow("ucs2 surrogate pair")
            << 8 << QByteArray("\xD8\x3D\xDE\x00", 4) << QStringLiteral("😀");
    QTest::newRow("ucs2 odd length") << 8 << QByteArray("\x00\x41\x00", 3) << QString();
    QTest::newRow("ucs2 lone surrogate") << 8 << QByteArray("\xD8\x3D\x00\x41", 4) << QString();
    QTest::newRow("ucs2 NUL") << 8 << QByteArray("\x00\x00", 2) << QString();
    QTest::newRow("latin-1 NUL") << 3 << QByteArray("a\0", 2) << QString();
    QTest::newRow("binary coding") << 4 << QByteArray("abc") << QString();
}

void TestSmppCodec::textCodings()
{
    QFETCH(int, coding);
    QFETCH(QByteArray, octets);
    QFETCH(QString, text);
    const auto decoded = SmppText::decode(quint8(coding), octets);
    QCOMPARE(decoded.has_value(), !text.isNull());
    if (decoded)
        QCOMPARE(*decoded, text);
}

void TestSmppCodec::repliesPickGsmOrUcs2()
{
    auto [gsm, septets] = SmppText::encode(QStringLiteral("Hi €"));
    QCOMPARE(gsm, SmppText::GsmDefault);
    QCOMPARE(septets, QByteArray("Hi \x1B\x65"));
    auto [wide, octets] = SmppText::encode(QStringLiteral("余额"));
    QCOMPARE(wide, SmppText::Ucs2);
    QCOMPARE(octets, ucs2(QStringLiteral("余额")));
}

void TestSmppCodec::clientPartsAreRecognised_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("reference"); // -1: a whole message
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("expectedData");

    QTest::newRow("plain") << submitBody("1", 0, 0, "abc") << true << -1 << 0 << 0
                           << QByteArray("abc");
    QTest::newRow("udh 8-bit reference")
            << submitBody("1", 0x40, 0, QByteArray("\x05\x00\x03\x2A\x03\x02" "abc", 9)) << true
            << 0x2A << 3 << 2 << QByteArray("abc");
    QTest::newRow("udh 16-bit reference with another element first")
            << submitBody("1", 0x40, 8,
                          QByteArray("\x09\x24\x01\x01\x08\x04\x12\x34\x02\x01" "\x00\x41", 12))
            << true << 0x1234 << 2 << 1 << QByteArray("\x00\x41", 2);
    QTest::newRow("udh 1 of 1 is whole")
            << submitBody("1", 0x40, 0, QByteArray("\x05\x00\x03\x01\x01\x01" "x", 7)) << true
            << -1 << 0 << 0 << QByteArray("x");
    QTest::newRow("udh length past the message")
            << submitBody("1", 0x40, 0, QByteArray("\x09\x00\x03\x01\x02\x01", 6)) << false << 0
            << 0 << 0 << QByteArray();
    QTest::newRow("udh element past its header")
            << submitBody("1", 0x40, 0, QByteArray("\x03\x00\x03\x01" "ab", 6)) << false << 0 << 0
            << 0 << QByteArray();
    QTest::newRow("udh part number beyond the total")
            << submitBody("1", 0x40, 0, QByteArray("\x05\x00\x03\x01\x02\x03" "x", 7)) << false
            << 0 << 0 << 0 << QByteArray();
    QTest::newRow("udh flag without data") << submitBody("1", 0x40, 0, {}) << false << 0 << 0 << 0
                                           << QByteArray();
    const QByteArray sar = PduWriter()
                                   .tlv(Tag::SarMsgRefNum, QByteArray("\x00\x07", 2))
                                   .tlv(Tag::SarTotalSegments, QByteArray("\x02", 1))
                                   .tlv(Tag::SarSegmentSeqnum, QByteArray("\x02", 1))
                                   .data();
    QTest::newRow("sar") << submitBody("1", 0, 0, "tail", sar) << true << 7 << 2 << 2
                         << QByteArray("tail");
    const QByteArray badSar = PduWriter().tlv(Tag::SarMsgRefNum, QByteArray("\x07", 1)).data();
    QTest::newRow("sar reference of one byte") << submitBody("1", 0, 0, "x", badSar) << false << 0
                                               << 0 << 0 << QByteArray();
    const QByteArray payload = PduWriter().tlv(Tag::MessagePayload, QByteArray("whole")).data();
    QTest::newRow("message_payload") << submitBody("1", 0, 0, {}, payload) << true << -1 << 0 << 0
                                     << QByteArray("whole");
}

void TestSmppCodec::clientPartsAreRecognised()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    QFETCH(int, reference);
    auto decoded = decodeSubmit(body, false);
    QVERIFY(std::holds_alternative<SubmitSm>(decoded));
    std::optional<SmppText::Part> part;
    QByteArray userData;
    QCOMPARE(SmppText::split(std::get<SubmitSm>(decoded), &part, &userData), ok);
    if (!ok)
        return;
    QFETCH(QByteArray, expectedData);
    QCOMPARE(userData, expectedData);
    QCOMPARE(part.has_value(), reference >= 0);
    if (part) {
        QFETCH(int, total);
        QFETCH(int, number);
        QCOMPARE(int(part->reference), reference);
        QCOMPARE(int(part->total), total);
        QCOMPARE(int(part->number), number);
    }
}

void TestSmppCodec::timesAbsoluteAndRelative()
{
    const QDateTime now = QDateTime(QDate(2026, 12, 9), QTime(10, 0, 0), QTimeZone(0));
    QCOMPARE(SmppText::parseTime({}, now), QDateTime());
    // 12:00:00 at UTC+8 (32 quarter hours) is 04:00 UTC.
    const auto absolute = SmppText::parseTime("261209120000032+", now);
    QVERIFY(absolute && absolute->isValid());
    QCOMPARE(absolute->toUTC(), QDateTime(QDate(2026, 12, 9), QTime(4, 0, 0), QTimeZone(0)));
    const auto relative = SmppText::parseTime("000001023000000R", now);
    QVERIFY(relative);
    QCOMPARE(relative->toSecsSinceEpoch() - now.toSecsSinceEpoch(), 86400 + 2 * 3600 + 30 * 60);
    for (const char *bad : {"2612091200000", "261309120000000+", "26120912000000x+",
                            "261209120000049+", "000000990000000R", "26120912000000 +"})
        QVERIFY2(!SmppText::parseTime(bad, now), bad);
}

void TestSmppCodec::receiptHasTheUsualBodyAndTlvs()
{
    SmppWatch w;
    w.token = QStringLiteral("billing");
    w.registeredDelivery = 1;
    w.submitted = QDateTime(QDate(2026, 12, 9), QTime(10, 15, 0));
    w.source = {5, 0, "Velmora"};
    w.destination = {1, 1, "8613800138000"};
    w.text = QStringLiteral("Hi 你好 $5_{x}");
    const QDateTime done(QDate(2026, 12, 9), QTime(10, 16, 0));
    const DeliverSm d =
            SmppReceipt::receipt(42, w, done, SmppReceipt::State::Undeliverable, 65);
    QCOMPARE(d.esmClass, 0x04);
    QCOMPARE(d.source.address, QByteArray("8613800138000"));
    QCOMPARE(d.destination.address, QByteArray("Velmora"));
    QCOMPARE(d.destination.ton, 5);
    QCOMPARE(d.shortMessage, QByteArray("id:42 sub:001 dlvrd:000 submit date:2612091015 done "
                                        "date:2612091016 stat:UNDELIV err:065 text:Hi ?? ?5?"
                                        "?x?"));
    QCOMPARE(d.tlvs.value(Tag::ReceiptedMessageId), QByteArray("42\0", 3));
    QCOMPARE(d.tlvs.value(Tag::MessageState), QByteArray(1, 5));

    // Through the wire and back as a client reads it.
    auto back = decodeDeliver(encodeDeliver(d));
    QVERIFY(std::holds_alternative<DeliverSm>(back));
    QCOMPARE(std::get<DeliverSm>(back).shortMessage, d.shortMessage);
    QCOMPARE(std::get<DeliverSm>(back).tlvs, d.tlvs);
}

void TestSmppCodec::longReceivedMessageGoesWholeInThePayload()
{
    const DeliverSm shortOne = SmppReceipt::received(QStringLiteral("+8613800138000"),
                                                     QStringLiteral("余额 12.5 元"), QString());
    QCOMPARE(shortOne.source.ton, 1);
    QCOMPARE(shortOne.source.address, QByteArray("8613800138000"));
    QCOMPARE(shortOne.dataCoding, 8);
    QCOMPARE(SmppText::decode(8, shortOne.shortMessage), QStringLiteral("余额 12.5 元"));
    QVERIFY(!shortOne.tlvs.contains(Tag::MessagePayload));

    const QString text = QString(200, QLatin1Char('x'));
    const DeliverSm longOne = SmppReceipt::received(QStringLiteral("10086"), text,
                                                    QStringLiteral("13900000000"));
    QCOMPARE(longOne.source.ton, 0);
    QVERIFY(longOne.shortMessage.isEmpty());
    QCOMPARE(SmppText::decode(longOne.dataCoding, longOne.tlvs.value(Tag::MessagePayload)), text);
    auto back = decodeDeliver(encodeDeliver(longOne));
    QVERIFY(std::holds_alternative<DeliverSm>(back));
    QCOMPARE(std::get<DeliverSm>(back).tlvs.value(Tag::MessagePayload).size(), 200);
}

QTEST_GUILESS_MAIN(TestSmppCodec)
#include "tst_smppcodec.moc"
