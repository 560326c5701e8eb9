#include "at/atlinesplitter.h"
#include "at/atresponse.h"

#include <QTest>

using AtResponse::Kind;
using AtResponse::Urc;

class TestAtResponse : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void classifies_data();
    void classifies();
    void splitsLines_data();
    void splitsLines();
    void readsFields();
};

void TestAtResponse::classifies_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Urc>("urc");
    QTest::addColumn<int>("code");
    QTest::newRow("OK") << QByteArray("OK") << Kind::Ok << Urc::None << -1;
    QTest::newRow("OK with trailing blank") << QByteArray("OK ") << Kind::Ok << Urc::None << -1;
    QTest::newRow("ERROR") << QByteArray("ERROR") << Kind::Error << Urc::None << -1;
    QTest::newRow("ZTE error text")
            << QByteArray("COMMAND NOT SUPPORT") << Kind::Error << Urc::None << -1;
    QTest::newRow("CME numeric") << QByteArray("+CME ERROR: 10") << Kind::CmeError << Urc::None
                                 << 10;
    QTest::newRow("CME verbose") << QByteArray("+CME ERROR: SIM not inserted") << Kind::CmeError
                                 << Urc::None << -1;
    QTest::newRow("CMS") << QByteArray("+CMS ERROR: 500") << Kind::CmsError << Urc::None << 500;
    QTest::newRow("no carrier") << QByteArray("NO CARRIER") << Kind::CallEnd << Urc::None << -1;
    QTest::newRow("RING") << QByteArray("RING") << Kind::Unsolicited << Urc::Ring << -1;
    QTest::newRow("CRING") << QByteArray("+CRING: VOICE") << Kind::Unsolicited << Urc::Ring << -1;
    QTest::newRow("CLIP") << QByteArray("+CLIP: \"+8613812345678\",145,,,,0") << Kind::Unsolicited
                          << Urc::CallerId << -1;
    QTest::newRow("CMTI") << QByteArray("+CMTI: \"SM\",3") << Kind::Unsolicited
                          << Urc::NewMessageStored << -1;
    QTest::newRow("CMT") << QByteArray("+CMT: ,24") << Kind::Unsolicited << Urc::NewMessage << -1;
    QTest::newRow("CDSI") << QByteArray("+CDSI: \"SR\",1") << Kind::Unsolicited << Urc::StatusStored
                          << -1;
    QTest::newRow("CDS") << QByteArray("+CDS: 25") << Kind::Unsolicited << Urc::Status << -1;
    QTest::newRow("Huawei RSSI") << QByteArray("^RSSI:12") << Kind::Unsolicited << Urc::Vendor
                                 << -1;
    QTest::newRow("Huawei BOOT") << QByteArray("^BOOT:20952548,0,0,0,72") << Kind::Unsolicited
                                 << Urc::Vendor << -1;
    QTest::newRow("PSBEARER") << QByteArray("+PSBEARER: 0,0,0,0,0,0") << Kind::Unsolicited
                              << Urc::Vendor << -1;
    QTest::newRow("SIMCom ready") << QByteArray("SMS Ready") << Kind::Unsolicited << Urc::Vendor
                                  << -1;
    QTest::newRow("model text") << QByteArray("E173") << Kind::Information << Urc::None << -1;
    QTest::newRow("RINGING is no RING")
            << QByteArray("RINGING") << Kind::Information << Urc::None << -1;
    QTest::newRow("OKAY is no OK") << QByteArray("OKAY") << Kind::Information << Urc::None << -1;
    QTest::newRow("CMGS answer") << QByteArray("+CMGS: 12") << Kind::Information << Urc::None << -1;
}

void TestAtResponse::classifies()
{
    QFETCH(QByteArray, line);
    QFETCH(Kind, kind);
    QFETCH(Urc, urc);
    QFETCH(int, code);
    const AtResponse::Line l = AtResponse::classify(line);
    QCOMPARE(l.kind, kind);
    QCOMPARE(l.urc, urc);
    QCOMPARE(l.errorCode, code);
}

void TestAtResponse::splitsLines_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<bool>("prompt");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::newRow("CRLF framing") << QByteArrayList{"\r\nOK\r\n"} << false << QByteArrayList{"OK"};
    QTest::newRow("split across reads")
            << QByteArrayList{"\r\n+CM", "TI: \"SM\",", "1\r", "\nOK\r\n"} << false
            << QByteArrayList{"+CMTI: \"SM\",1", "OK"};
    QTest::newRow("bare LF and bare CR")
            << QByteArrayList{"A\nB\rC\r\n"} << false << QByteArrayList{"A", "B", "C"};
    QTest::newRow("echo then answer") << QByteArrayList{"AT+CGMM\r\r\nE173\r\n\r\nOK\r\n"} << false
                                      << QByteArrayList{"AT+CGMM", "E173", "OK"};
    QTest::newRow("prompt without line end")
            << QByteArrayList{"\r\n> "} << true << QByteArrayList{">"};
    QTest::newRow("prompt then URC") << QByteArrayList{"\r\n> \r\n+CMTI: \"SM\",2\r\n"} << true
                                     << QByteArrayList{">", "+CMTI: \"SM\",2"};
    QTest::newRow("> not expected is text")
            << QByteArrayList{"> x\r\n"} << false << QByteArrayList{"> x"};
    QTest::newRow("incomplete line waits") << QByteArrayList{"\r\nOK"} << false << QByteArrayList{};
    QTest::newRow("a byte at a time") << QByteArrayList{"\r", "\n", "+",  "C",  "S", "Q", ":",
                                                        " ",  "1",  "\r", "\n", "O", "K", "\r"}
                                      << false << QByteArrayList{"+CSQ: 1", "OK"};
    QTest::newRow("runaway noise is cut")
            << QByteArrayList{QByteArray(AtLineSplitter::MaxLineLength + 10, 'x'), "\r\nOK\r\n"}
            << false
            << QByteArrayList{QByteArray(AtLineSplitter::MaxLineLength, 'x'), QByteArray(10, 'x'),
                              "OK"};
}

void TestAtResponse::splitsLines()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(bool, prompt);
    QFETCH(QByteArrayList, lines);
    AtLineSplitter s;
    s.setExpectPrompt(prompt);
    QByteArrayList got;
    for (const QByteArray &c : chunks) {
        s.feed(c);
        QByteArray line;
        while (s.next(&line))
            got.append(line);
    }
    QCOMPARE(got, lines);
}

void TestAtResponse::readsFields()
{
    const auto at = AtResponse::parseStorageIndex("+CMTI: \"ME\",17");
    QVERIFY(at);
    QCOMPARE(at->memory, QByteArray("ME"));
    QCOMPARE(at->index, 17);
    QVERIFY(!AtResponse::parseStorageIndex("+CMTI: \"SM\""));
    QVERIFY(!AtResponse::parseStorageIndex("+CMTI: \"SM\",x"));

    QCOMPARE(AtResponse::parseCallerId("+CLIP: \"8613812345678\",145"),
             QStringLiteral("+8613812345678"));
    QCOMPARE(AtResponse::parseCallerId("+CLIP: \"13812345678\",129,,,,0"),
             QStringLiteral("13812345678"));
    QVERIFY(!AtResponse::parseCallerId("+CLIP: \"\",128"));

    QCOMPARE(AtResponse::parseMessageReference("+CMGS: 255"), 255);
    const auto listed = AtResponse::parseListed("+CMGL: 4,1,,23");
    QVERIFY(listed);
    QCOMPARE(listed->index, 4);
    QCOMPARE(listed->status, 1);
    QCOMPARE(listed->length, 23);
    const auto withAlpha = AtResponse::parseListed("+CMGL: 2,0,\"Mom, home\",40");
    QVERIFY(withAlpha);
    QCOMPARE(withAlpha->length, 40);
    const auto read = AtResponse::parseRead("+CMGR: 0,,30");
    QVERIFY(read);
    QCOMPARE(read->status, 0);
    QCOMPARE(read->length, 30);
    QCOMPARE(AtResponse::parameters("+COPS: 0,0,\"China, Mobile\",7"),
             QByteArrayList({"0", "0", "China, Mobile", "7"}));
}

QTEST_GUILESS_MAIN(TestAtResponse)
#include "tst_atresponse.moc"
