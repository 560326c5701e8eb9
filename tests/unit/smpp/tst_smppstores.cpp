#include "smppoutbox.h"
#include "smppparts.h"
#include "smpppdu.h"
#include "smppsubmit.h"
#include "smppsubmitted.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Smpp;

Q_DECLARE_METATYPE(Smpp::Pdu)

namespace {

const QDateTime Now(QDate(2026, 12, 9), QTime(10, 0, 0));

Pdu submitPdu(const QByteArray &destination, const QByteArray &text, quint8 esmClass = 0,
              quint8 dataCoding = 0, const QByteArray &tlvs = {}, quint8 priority = 0,
              quint8 registered = 1, const QByteArray &schedule = {},
              const QByteArray &validity = {})
{
    PduWriter w;
    w.cstring("").u8(5).u8(0).cstring("Shop").u8(1).u8(1).cstring(destination);
    w.u8(esmClass).u8(0).u8(priority).cstring(schedule).cstring(validity).u8(registered).u8(0);
    w.u8(dataCoding).u8(0).u8(quint8(text.size())).bytes(text).bytes(tlvs);
    return {Command::SubmitSm, 0, 1, w.data()};
}

QByteArray udh(quint8 ref, quint8 total, quint8 number)
{
    return QByteArray("\x05\x00\x03", 3) + char(ref) + char(total) + char(number);
}

} // namespace

// The SMPP server's durable pieces and its check of a submit, on real files: what was answered
// must come back after a restart, what was settled must not.
class TestSmppStores : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_dir.isValid()); }
    void partsSurviveARestartAndJoinInOrder();
    void partsDisagreeingInTheirCountAreRefused();
    void receiptsOwedSurviveARestartUntilSettled();
    void outboxKeepsEntriesUntilRemoved();
    void submitChecksLikeTheApi_data();
    void submitChecksLikeTheApi();
    void submitMapsTimesAndPriority();
    void clientPartsMakeOneMessage();

private:
    QString path(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QTemporaryDir m_dir;
};

void TestSmppStores::partsSurviveARestartAndJoinInOrder()
{
    QString error;
    QByteArray joined;
    quint8 coding = 0;
    {
        SmppParts parts(path(QStringLiteral("parts")));
        QVERIFY(parts.load(Now.addDays(-1), &error));
        QCOMPARE(parts.add("k", 3, 3, 0, "C", Now, &joined, &coding), SmppParts::Result::Held);
        QCOMPARE(parts.add("k", 3, 1, 0, "A", Now, &joined, &coding), SmppParts::Result::Held);
        QCOMPARE(parts.add("other", 2, 1, 8, "x", Now, &joined, &coding),
                 SmppParts::Result::Held);
    }
    // As after a kill: a new store on the same folder.
    SmppParts parts(path(QStringLiteral("parts")));
    QVERIFY(parts.load(Now.addDays(-1), &error));
    QCOMPARE(parts.size(), 2);
    QCOMPARE(parts.add("k", 3, 2, 0, "B", Now, &joined, &coding), SmppParts::Result::Complete);
    QCOMPARE(joined, QByteArray("ABC"));
    // Until its row is made the message stays held: the last part may come again.
    QCOMPARE(parts.add("k", 3, 2, 0, "B", Now, &joined, &coding), SmppParts::Result::Complete);
    parts.forget("k");
    QCOMPARE(parts.size(), 1);
    SmppParts again(path(QStringLiteral("parts")));
    QVERIFY(again.load(Now.addDays(-1), &error));
    QCOMPARE(again.size(), 1);
    // Begun before the cut-off: dropped, file and all.
    SmppParts late(path(QStringLiteral("parts")));
    QVERIFY(late.load(Now.addSecs(1), &error));
    QCOMPARE(late.size(), 0);
    QVERIFY(QDir(path(QStringLiteral("parts"))).isEmpty());
}

void TestSmppStores::partsDisagreeingInTheirCountAreRefused()
{
    QString error;
    QByteArray joined;
    quint8 coding = 0;
    SmppParts parts(path(QStringLiteral("parts")));
    QVERIFY(parts.load(Now.addDays(-1), &error));
    QCOMPARE(parts.add("k", 3, 1, 0, "A", Now, &joined, &coding), SmppParts::Result::Held);
    QCOMPARE(parts.add("k", 4, 2, 0, "B", Now, &joined, &coding), SmppParts::Result::Failed);
}

void TestSmppStores::receiptsOwedSurviveARestartUntilSettled()
{
    QString error;
    SmppWatch w{QStringLiteral("billing"), 1, Now, {5, 0, "Shop"}, {1, 1, "8613800138000"},
                QStringLiteral("héllo wörld")};
    {
        SmppSubmitted s(path(QStringLiteral("submitted.log")));
        QVERIFY(s.load(Now.addDays(-3), &error));
        s.add(7, w);
        s.add(8, w);
        QVERIFY(s.sync());
        s.settle(7);
        QVERIFY(s.sync());
    }
    {
        // A line cut off by a kill is not taken.
        QFile f(path(QStringLiteral("submitted.log")));
        QVERIFY(f.open(QIODevice::Append));
        f.write("+ 9 YmlsbGluZw== 1 17");
    }
    SmppSubmitted s(path(QStringLiteral("submitted.log")));
    QVERIFY(s.load(Now.addDays(-3), &error));
    QCOMPARE(s.size(), 1);
    QVERIFY(!s.find(7));
    const SmppWatch *back = s.find(8);
    QVERIFY(back);
    QCOMPARE(back->token, w.token);
    QCOMPARE(back->submitted, w.submitted);
    QCOMPARE(back->source.address, QByteArray("Shop"));
    QCOMPARE(back->source.ton, 5);
    QCOMPARE(back->destination.address, QByteArray("8613800138000"));
    QCOMPARE(back->text, w.text);
    // The load wrote the journal afresh; watches past the cut-off are gone at the next.
    SmppSubmitted later(path(QStringLiteral("submitted.log")));
    QVERIFY(later.load(Now.addSecs(1), &error));
    QCOMPARE(later.size(), 0);
}

void TestSmppStores::outboxKeepsEntriesUntilRemoved()
{
    QString error;
    SmppOutbox box(path(QStringLiteral("outbox")));
    QVERIFY(box.prepare(&error));
    SmppDelivery a{{}, QStringLiteral("app"), Now, QByteArray("\0body-a", 7)};
    SmppDelivery b{{}, QStringLiteral("app"), Now.addSecs(1), QByteArray("body-b")};
    QVERIFY(box.add(a, &error));
    QVERIFY(box.add(b, &error));
    QFile junk(path(QStringLiteral("outbox/000-cut.json")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("{\"tok");
    junk.close();
    QCOMPARE(QFile::permissions(path(QStringLiteral("outbox"))) & QFileDevice::ReadOther,
             QFileDevice::Permissions());
    box.remove(a);
    const QList<SmppDelivery> left = SmppOutbox(path(QStringLiteral("outbox"))).load();
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().body, b.body);
    QCOMPARE(left.first().token, QStringLiteral("app"));
    QVERIFY(!junk.exists());
}

void TestSmppStores::submitChecksLikeTheApi_data()
{
    QTest::addColumn<Pdu>("pdu");
    QTest::addColumn<quint32>("status");
    QTest::newRow("letters in the number") << submitPdu("1380013800a", "x") << Status::InvalidDestination;
    QTest::newRow("two digits") << submitPdu("12", "x") << Status::InvalidDestination;
    QTest::newRow("empty text") << submitPdu("13800138000", "") << Status::InvalidMessageLength;
    QTest::newRow("priority 4") << submitPdu("13800138000", "x", 0, 0, {}, 4)
                                << Status::InvalidPriority;
    QTest::newRow("registered_delivery 3")
            << submitPdu("13800138000", "x", 0, 0, {}, 0, 3) << Status::InvalidRegisteredDelivery;
    QTest::newRow("bad schedule") << submitPdu("13800138000", "x", 0, 0, {}, 0, 1, "tomorrow")
                                  << Status::InvalidScheduleTime;
    QTest::newRow("validity before schedule")
            << submitPdu("13800138000", "x", 0, 0, {}, 0, 1, "000000020000000R",
                         "000000010000000R")
            << Status::InvalidExpiryTime;
    QTest::newRow("binary data_coding") << submitPdu("13800138000", "x", 0, 4)
                                        << Status::SubmitFailed;
    QTest::newRow("both text fields")
            << submitPdu("13800138000", "x", 0, 0,
                         PduWriter().tlv(Tag::MessagePayload, "y").data())
            << Status::InvalidTlvValue;
    QTest::newRow("bad udh") << submitPdu("13800138000", "\x09\x00", 0x40)
                             << Status::InvalidEsmClass;
    QTest::newRow("truncated") << Pdu{Command::SubmitSm, 0, 1, "\0\0"}
                               << Status::InvalidCommandLength;
    QTest::newRow("more than the driver sends")
            << submitPdu("13800138000", {}, 0, 0,
                         PduWriter().tlv(Tag::MessagePayload, QByteArray(40000, 'a')).data())
            << Status::InvalidMessageLength;
}

void TestSmppStores::submitChecksLikeTheApi()
{
    QFETCH(Pdu, pdu);
    QFETCH(quint32, status);
    SmppParts parts(path(QStringLiteral("parts")));
    const SmppSubmission s = SmppSubmit::prepare(pdu, QStringLiteral("app"), parts, Now);
    QCOMPARE(s.status, status);
    QVERIFY(s.messages.isEmpty());
}

void TestSmppStores::submitMapsTimesAndPriority()
{
    SmppParts parts(path(QStringLiteral("parts")));
    const Pdu pdu = submitPdu("+86 138-0013-8000", "Hi", 0, 0, {}, 2, 1, "000000010000000R",
                              "000001000000000R");
    const SmppSubmission s = SmppSubmit::prepare(pdu, QStringLiteral("app"), parts, Now);
    QCOMPARE(s.status, Status::Ok);
    QCOMPARE(s.messages.size(), 1);
    const OutgoingMessage &m = s.messages.first();
    QCOMPARE(m.number, QStringLiteral("+8613800138000"));
    QCOMPARE(m.text, QStringLiteral("Hi"));
    QCOMPARE(m.priority, std::optional<int>(2));
    QCOMPARE(m.sendAfter, Now.addSecs(3600));
    QCOMPARE(m.validUntil, Now.addDays(1));
    QVERIFY(s.wantsReceipt);
    QCOMPARE(s.watch.source.address, QByteArray("Shop"));
    QCOMPARE(s.watch.token, QStringLiteral("app"));

    const SmppSubmission plain =
            SmppSubmit::prepare(submitPdu("13800138000", "x", 0, 0, {}, 0, 0), "app", parts, Now);
    QVERIFY(!plain.messages.first().priority);
    QVERIFY(!plain.messages.first().sendAfter.isValid());
    QVERIFY(!plain.wantsReceipt);
}

void TestSmppStores::clientPartsMakeOneMessage()
{
    QString error;
    SmppParts parts(path(QStringLiteral("parts")));
    QVERIFY(parts.load(Now.addDays(-1), &error));
    // A UCS2 text split inside a surrogate pair, as a client splitting by octets does.
    const QByteArray first = QByteArray("\x00\x41\xD8\x3D", 4);
    const QByteArray second = QByteArray("\xDE\x00\x00\x42", 4);
    auto a = SmppSubmit::prepare(submitPdu("13800138000", udh(9, 2, 1) + first, 0x40, 8), "app",
                                 parts, Now);
    QCOMPARE(a.status, Status::Ok);
    QVERIFY(a.messages.isEmpty());
    // The same reference from another token or to another number is another message.
    auto other = SmppSubmit::prepare(submitPdu("13800138000", udh(9, 2, 2) + second, 0x40, 8),
                                     "other", parts, Now);
    QVERIFY(other.messages.isEmpty());
    auto b = SmppSubmit::prepare(submitPdu("13800138000", udh(9, 2, 2) + second, 0x40, 8), "app",
                                 parts, Now);
    QCOMPARE(b.status, Status::Ok);
    QCOMPARE(b.messages.size(), 1);
    QCOMPARE(b.messages.first().text, QStringLiteral("A😀B"));
    QVERIFY(!b.partsKey.isEmpty());

    const QByteArray sar1 = PduWriter()
                                    .tlv(Tag::SarMsgRefNum, QByteArray("\x01\x00", 2))
                                    .tlv(Tag::SarTotalSegments, QByteArray("\x02", 1))
                                    .tlv(Tag::SarSegmentSeqnum, QByteArray("\x01", 1))
                                    .data();
    QByteArray sar2 = sar1;
    sar2[sar2.size() - 1] = 2;
    QVERIFY(SmppSubmit::prepare(submitPdu("10086", "Hello ", 0, 0, sar1), "app", parts, Now)
                    .messages.isEmpty());
    auto joined = SmppSubmit::prepare(submitPdu("10086", "world", 0, 0, sar2), "app", parts, Now);
    QCOMPARE(joined.messages.size(), 1);
    QCOMPARE(joined.messages.first().text, QStringLiteral("Hello world"));
}

QTEST_GUILESS_MAIN(TestSmppStores)
#include "tst_smppstores.moc"
