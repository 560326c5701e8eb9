#include "at/atchannel.h"
#include "fakeserialdevice.h"
#include "modemussd.h"
#include "ussdtext.h"

#include <QTest>

// USSD on the driver's side: the answer's text in each form modems give it, and the request's
// way over a scripted line, from the code to the answer or to why there is none.
class TestUssd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void answerDecoded_data();
    void answerDecoded();
    void packedFormRoundTrips();

    void codeAnsweredAfterItsOk();
    void answerBeforeTheOkIsKept();
    void silenceEndsInTimeAndFreesTheModem();
    void failuresAreNamed_data();
    void failuresAreNamed();
    void menuRepliedInItsSession();
    void newCodeClosesAnOpenMenu();
    void menuLinesArriveInPieces();
    void strayQuoteHoldsNothingBack();
    void waitsBehindAMessageInFlight();
    void refusedRequestsSayNothing();
    void closeEndsTheRequest();

private:
    bool request(const QString &code, bool inSession = false, int timeoutMs = 5000)
    {
        return m_ussd->request(code, inSession, timeoutMs);
    }
    void say(const QByteArray &lines) { m_line->inject(lines); }

    std::unique_ptr<FakeSerialDevice> m_line;
    std::unique_ptr<AtChannel> m_channel;
    std::unique_ptr<ModemUssd> m_ussd;
    QList<ModemUssd::Answer> m_answers;
};

void TestUssd::init()
{
    m_line = std::make_unique<FakeSerialDevice>();
    m_channel = std::make_unique<AtChannel>(m_line.get());
    // Dozing modems are the channel's own tests' business; here every command is the USSD's.
    m_channel->setWakeAfterQuiet(0);
    m_ussd = std::make_unique<ModemUssd>();
    m_ussd->attach(m_channel.get());
    m_answers.clear();
    // As the modem routes it: +CUSD is an unsolicited line, whenever it comes.
    connect(m_channel.get(), &AtChannel::unsolicited, m_ussd.get(),
            [this](const AtResponse::Line &line, const QByteArray &) {
                if (line.text.startsWith("+CUSD:"))
                    m_ussd->onAnswer(line.text);
            });
    connect(m_ussd.get(), &ModemUssd::finished, this,
            [this](const ModemUssd::Answer &a) { m_answers.append(a); });
}

void TestUssd::cleanup()
{
    m_ussd.reset();
    m_channel.reset();
    m_line.reset();
}

void TestUssd::answerDecoded_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    const QString balance = QStringLiteral("Your balance is 12.50 USD");
    QTest::newRow("7-bit as characters")
            << QByteArray("+CUSD: 0,\"Your balance is 12.50 USD\",15") << 0 << balance;
    QTest::newRow("7-bit packed in hexadecimal")
            << QByteArray("+CUSD: 0,\"" + UssdText::packedHex(balance) + "\",15") << 0
            << balance;
    QTest::newRow("7-bit given as UCS2")
            << QByteArray("+CUSD: 0,\"" + UssdText::ucs2Hex(balance) + "\",15") << 0 << balance;
    QTest::newRow("UCS2, Chinese")
            << QByteArray("+CUSD: 0,\"" + UssdText::ucs2Hex(QStringLiteral("您的余额为35.20元"))
                          + "\",72")
            << 0 << QStringLiteral("您的余额为35.20元");
    QTest::newRow("UCS2 after its language")
            << QByteArray("+CUSD: 0,\"" + UssdText::ucs2Hex(QStringLiteral("x余额"))
                          + "\",17")
            << 0 << QStringLiteral("余额");
    QTest::newRow("digits stay digits")
            << QByteArray("+CUSD: 0,\"1234\",15") << 0 << QStringLiteral("1234");
    QTest::newRow("number in hexadecimal-looking digits")
            << QByteArray("+CUSD: 0,\"13800138000\",15") << 0 << QStringLiteral("13800138000");
    QTest::newRow("comma inside the text")
            << QByteArray("+CUSD: 1,\"1. Balance, 2. Data\",15") << 1
            << QStringLiteral("1. Balance, 2. Data");
    QTest::newRow("no data coding scheme")
            << QByteArray("+CUSD: 2,\"Bye\"") << 2 << QStringLiteral("Bye");
    QTest::newRow("8-bit data")
            << QByteArray("+CUSD: 0,\"4869\",68") << 0 << QStringLiteral("Hi");
    QTest::newRow("UTF-8 from a modem that decoded it")
            << QByteArray("+CUSD: 0,\"余额 5 元\",72") << 0 << QStringLiteral("余额 5 元");
    QTest::newRow("state only") << QByteArray("+CUSD: 4") << 4 << QString();
}

void TestUssd::answerDecoded()
{
    QFETCH(QByteArray, line);
    QFETCH(int, state);
    QFETCH(QString, text);
    const ModemUssd::Answer a = ModemUssd::parse(line);
    QCOMPARE(a.state, state);
    QCOMPARE(a.text, text);
}

void TestUssd::packedFormRoundTrips()
{
    // Lengths around the septet boundaries: 7 septets leave seven spare bits, filled with CR.
    for (int n = 1; n <= 17; ++n) {
        const QString text = QStringLiteral("Balance: 99.99 RMB left").left(n);
        QCOMPARE(UssdText::decode(UssdText::packedHex(text), 15), text);
    }
    QCOMPARE(UssdText::packedHex(QStringLiteral("1234567")).size(), 14);
}

void TestUssd::codeAnsweredAfterItsOk()
{
    QVERIFY(request(QStringLiteral("*100#")));
    QCOMPARE(m_line->takeWritten(), QByteArray("AT+CUSD=1,\"*100#\",15\r"));
    say("\r\nOK\r\n");
    QVERIFY(m_answers.isEmpty());
    QVERIFY(m_ussd->isPending());
    say("\r\n+CUSD: 0,\"Balance 5.00\",15\r\n");
    QCOMPARE(m_answers.size(), 1);
    QCOMPARE(m_answers[0].outcome, ModemUssd::Outcome::Answered);
    QCOMPARE(m_answers[0].text, QStringLiteral("Balance 5.00"));
    QVERIFY(!m_ussd->isPending());
    QVERIFY(!m_ussd->sessionOpen());
}

void TestUssd::answerBeforeTheOkIsKept()
{
    QVERIFY(request(QStringLiteral("*100#")));
    m_line->takeWritten();
    say("\r\n+CUSD: 0,\"Balance 5.00\",15\r\n");
    QVERIFY(m_answers.isEmpty());
    say("\r\nOK\r\n");
    QCOMPARE(m_answers.size(), 1);
    QCOMPARE(m_answers[0].text, QStringLiteral("Balance 5.00"));
}

void TestUssd::silenceEndsInTimeAndFreesTheModem()
{
    QVERIFY(request(QStringLiteral("*100#"), false, 1000));
    m_line->takeWritten();
    say("\r\nOK\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(m_answers.size(), 1, 5000);
    QCOMPARE(m_answers[0].outcome, ModemUssd::Outcome::TimedOut);
    // The network session is closed, so the modem takes the next USSD.
    QCOMPARE(m_line->takeWritten(), QByteArray("AT+CUSD=2\r"));
    QVERIFY(request(QStringLiteral("*101#")));
    // The late answer of the first, before the close was taken, is not the second's.
    say("\r\n+CUSD: 0,\"late\",15\r\n\r\nOK\r\n");
    QCOMPARE(m_line->takeWritten(), QByteArray("AT+CUSD=1,\"*101#\",15\r"));
    say("\r\nOK\r\n\r\n+CUSD: 0,\"second\",15\r\n");
    QCOMPARE(m_answers.size(), 2);
    QCOMPARE(m_answers[1].text, QStringLiteral("second"));
}

void TestUssd::failuresAreNamed_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<ModemUssd::Outcome>("outcome");
    QTest::newRow("modem without USSD") << QByteArray("\r\nERROR\r\n")
                                        << ModemUssd::Outcome::NotSupported;
    QTest::newRow("operation not supported")
            << QByteArray("\r\n+CME ERROR: 4\r\n") << ModemUssd::Outcome::NotSupported;
    QTest::newRow("no network service")
            << QByteArray("\r\n+CME ERROR: 30\r\n") << ModemUssd::Outcome::Refused;
    QTest::newRow("unknown code") << QByteArray("\r\nOK\r\n\r\n+CUSD: 4\r\n")
                                  << ModemUssd::Outcome::NotSupported;
    QTest::newRow("network time-out")
            << QByteArray("\r\nOK\r\n\r\n+CUSD: 5\r\n") << ModemUssd::Outcome::TimedOut;
    QTest::newRow("ended without text")
            << QByteArray("\r\nOK\r\n\r\n+CUSD: 2\r\n") << ModemUssd::Outcome::Refused;
}

void TestUssd::failuresAreNamed()
{
    QFETCH(QByteArray, lines);
    QFETCH(ModemUssd::Outcome, outcome);
    QVERIFY(request(QStringLiteral("*100#")));
    say(lines);
    QCOMPARE(m_answers.size(), 1);
    QCOMPARE(m_answers[0].outcome, outcome);
    QVERIFY(!m_ussd->isPending());
}

void TestUssd::menuRepliedInItsSession()
{
    QVERIFY(request(QStringLiteral("*111#")));
    say("\r\nOK\r\n\r\n+CUSD: 1,\"1 Balance\n2 Number\",15\r\n");
    QCOMPARE(m_answers.size(), 1);
    QCOMPARE(m_answers[0].state, 1);
    QVERIFY(m_ussd->sessionOpen());
    m_line->takeWritten();
    QVERIFY(request(QStringLiteral("2"), true));
    // The reply goes into the open session: nothing closes it first.
    QCOMPARE(m_line->takeWritten(), QByteArray("AT+CUSD=1,\"2\",15\r"));
    say("\r\nOK\r\n\r\n+CUSD: 0,\"Your number is 13800138000\",15\r\n");
    QCOMPARE(m_answers.size(), 2);
    QCOMPARE(m_answers[1].text, QStringLiteral("Your number is 13800138000"));
    QVERIFY(!m_ussd->sessionOpen());
}

void TestUssd::newCodeClosesAnOpenMenu()
{
    QVERIFY(request(QStringLiteral("*111#")));
    say("\r\nOK\r\n\r\n+CUSD: 1,\"1 Balance\",15\r\n");
    m_line->takeWritten();
    QVERIFY(request(QStringLiteral("*100#")));
    QCOMPARE(m_line->takeWritten(), QByteArray("AT+CUSD=2\r"));
    say("\r\nOK\r\n");
    QCOMPARE(m_line->takeWritten(), QByteArray("AT+CUSD=1,\"*100#\",15\r"));
}

void TestUssd::menuLinesArriveInPieces()
{
    QVERIFY(request(QStringLiteral("*111#")));
    say("\r\nOK\r\n\r\n+CUSD: 1,\"1 Bal");
    say("ance\r\n2 Num");
    QVERIFY(m_answers.isEmpty());
    say("ber\",15\r\n");
    QCOMPARE(m_answers.size(), 1);
    QCOMPARE(m_answers[0].text, QStringLiteral("1 Balance\n2 Number"));
}

void TestUssd::strayQuoteHoldsNothingBack()
{
    QVERIFY(request(QStringLiteral("*100#")));
    say("\r\n+CUSD: 0,\"broken,15\r\n\r\nOK\r\n");
    QCOMPARE(m_answers.size(), 1);
    QCOMPARE(m_answers[0].state, 0);
    // The line after it is read as what it is.
    AtCommand at;
    at.text = "AT";
    bool answered = false;
    m_channel->send(at, [&answered](const AtResult &r) { answered = r.ok(); });
    say("\r\nOK\r\n");
    QVERIFY(answered);
}

void TestUssd::waitsBehindAMessageInFlight()
{
    AtCommand busy;
    busy.text = "AT+CMGS=20";
    busy.payload = "0011000B911386105274F00000AA05E8329BFD06";
    busy.prefixes = {"+CMGS:"};
    busy.timeoutMs = 5000;
    bool sent = false;
    m_channel->send(busy, [&sent](const AtResult &r) { sent = r.ok(); });
    QVERIFY(request(QStringLiteral("*100#")));
    QCOMPARE(m_line->takeWritten(), QByteArray("AT+CMGS=20\r"));
    say("\r\n> ");
    QVERIFY(!m_line->takeWritten().contains("CUSD"));
    say("\r\n+CMGS: 12\r\n\r\nOK\r\n");
    QVERIFY(sent);
    QCOMPARE(m_line->takeWritten(), QByteArray("AT+CUSD=1,\"*100#\",15\r"));
    // While the network thinks, the line is free for the next message.
    say("\r\nOK\r\n");
    QVERIFY(m_channel->isIdle());
    QVERIFY(m_ussd->isPending());
}

void TestUssd::refusedRequestsSayNothing()
{
    QVERIFY(!request(QString()));
    QVERIFY(!request(QStringLiteral("*100#\"")));
    QVERIFY(!request(QStringLiteral("*100#\r\nAT+CMGD=1,4")));
    QVERIFY(!request(QString(161, QLatin1Char('1'))));
    QVERIFY(request(QStringLiteral("*100#")));
    QVERIFY(!request(QStringLiteral("*101#")));
    m_ussd->detach();
    QVERIFY(!request(QStringLiteral("*100#")));
    QCOMPARE(m_answers.size(), 1); // only the close of the one that went
    QCOMPARE(m_answers[0].outcome, ModemUssd::Outcome::Closed);
}

void TestUssd::closeEndsTheRequest()
{
    QVERIFY(request(QStringLiteral("*100#")));
    say("\r\nOK\r\n");
    m_ussd->detach();
    QCOMPARE(m_answers.size(), 1);
    QCOMPARE(m_answers[0].outcome, ModemUssd::Outcome::Closed);
    say("\r\n+CUSD: 0,\"too late\",15\r\n");
    QCOMPARE(m_answers.size(), 1);
}

QTEST_GUILESS_MAIN(TestUssd)
#include "tst_ussd.moc"
