#include "concatreassembler.h"

#include <QTest>

class TestConcatReassembler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void joins_data();
    void joins();
    void keepsSendersApart();
    void recognisesLateDuplicates();
    void releasesStaleParts();
};

namespace {

ConcatReassembler::Part part(const QString &sender, int ref, int total, int seq, int index,
                             bool sixteen = false)
{
    ConcatReassembler::Part p;
    p.sender = sender;
    p.timestamp = QStringLiteral("2401131657%1+32").arg(seq, 2, 10, QLatin1Char('0'));
    p.text = QStringLiteral("<%1>").arg(seq);
    p.concat = {ref, total, seq, sixteen};
    p.storageIndex = index;
    return p;
}

} // namespace

void TestConcatReassembler::joins_data()
{
    QTest::addColumn<QList<int>>("arrivals"); // sequence numbers as they arrive
    QTest::addColumn<int>("completesAt");     // index into arrivals
    QTest::newRow("in order") << QList<int>{1, 2, 3} << 2;
    QTest::newRow("reversed") << QList<int>{3, 2, 1} << 2;
    QTest::newRow("shuffled") << QList<int>{2, 3, 1} << 2;
    QTest::newRow("duplicate before completion") << QList<int>{1, 1, 3, 2} << 3;
}

void TestConcatReassembler::joins()
{
    QFETCH(QList<int>, arrivals);
    QFETCH(int, completesAt);
    ConcatReassembler r;
    std::optional<ReceivedMessage> done;
    for (int i = 0; i < arrivals.size(); ++i) {
        done = r.add(part(QStringLiteral("+861"), 7, 3, arrivals[i], 10 + i));
        QCOMPARE(done.has_value(), i == completesAt);
    }
    QVERIFY(done);
    QCOMPARE(done->text, QStringLiteral("<1><2><3>"));
    QCOMPARE(done->timestamp, QStringLiteral("240113165701+32")); // the first part's
    QCOMPARE(done->storageIndexes.size(), arrivals.size());       // duplicates are deleted too
    QCOMPARE(r.incompleteCount(), 0);
}

void TestConcatReassembler::keepsSendersApart()
{
    ConcatReassembler r;
    QVERIFY(!r.add(part(QStringLiteral("A"), 1, 2, 1, 1)));
    QVERIFY(!r.add(part(QStringLiteral("B"), 1, 2, 2, 2)));
    // Same reference, other width: another message.
    QVERIFY(!r.add(part(QStringLiteral("A"), 1, 2, 2, 3, true)));
    const auto a = r.add(part(QStringLiteral("A"), 1, 2, 2, 4));
    QVERIFY(a);
    QCOMPARE(a->storageIndexes, QList<int>({1, 4}));
    QCOMPARE(r.incompleteCount(), 2);
}

void TestConcatReassembler::recognisesLateDuplicates()
{
    ConcatReassembler r;
    QVERIFY(!r.add(part(QStringLiteral("A"), 9, 2, 1, 1)));
    QVERIFY(r.add(part(QStringLiteral("A"), 9, 2, 2, 2)));
    QVERIFY(r.isLateDuplicate(part(QStringLiteral("A"), 9, 2, 2, 5)));
    // The reference comes round again with another text: a new message, not a resend.
    ConcatReassembler::Part fresh = part(QStringLiteral("A"), 9, 2, 1, 6);
    fresh.text = QStringLiteral("new");
    QVERIFY(!r.isLateDuplicate(fresh));
    QVERIFY(!r.isLateDuplicate(part(QStringLiteral("B"), 9, 2, 2, 7)));
}

void TestConcatReassembler::releasesStaleParts()
{
    ConcatReassembler r;
    QVERIFY(!r.add(part(QStringLiteral("A"), 3, 3, 3, 1)));
    QVERIFY(!r.add(part(QStringLiteral("A"), 3, 3, 1, 2)));
    QVERIFY(r.takeStale(60000).isEmpty());
    const QList<ReceivedMessage> stale = r.takeStale(0);
    QCOMPARE(stale.size(), 1);
    QCOMPARE(stale[0].text, QStringLiteral("<1><3>"));
    QCOMPARE(stale[0].storageIndexes, QList<int>({1, 2}));
    QCOMPARE(r.incompleteCount(), 0);

    // A part kept on disk across a restart brings its age along; the set is not younger for
    // the restart.
    ConcatReassembler::Part old = part(QStringLiteral("A"), 4, 2, 1, -1);
    old.carriedMs = 11 * 60 * 1000;
    old.partId = 7;
    QVERIFY(!r.add(old));
    const QList<ReceivedMessage> carried = r.takeStale(10 * 60 * 1000);
    QCOMPARE(carried.size(), 1);
    QCOMPARE(carried[0].partIds, QList<qint64>{7});
}

QTEST_GUILESS_MAIN(TestConcatReassembler)
#include "tst_concatreassembler.moc"
