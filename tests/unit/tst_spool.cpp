#include "messaging/spool.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSpool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entriesSurviveARestartInOrder();
    void updateAndRemoveAreDurable();
    void unfinishedAndDamagedFilesAreSetAside();
    void addFailsWhenTheFolderCannotBeMade();
    void statusWrittenAsTextStillReads();

private:
    static SpoolEntry received(const QString &text)
    {
        SpoolEntry e;
        e.sender = QStringLiteral("+8613900000001");
        e.text = text;
        e.timeStamp = QStringLiteral("231206154530+32");
        e.forwardNumber = QStringLiteral("13800000000");
        return e;
    }
};

void TestSpool::entriesSurviveARestartInOrder()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("spool"));
    {
        Spool spool(folder);
        QVERIFY(spool.load().isEmpty());
        QVERIFY(spool.isEmpty());
        QString error;
        for (int i = 0; i < 12; ++i) {
            SpoolEntry e = received(QStringLiteral("第%1条 'quoted' \\ \n").arg(i));
            QVERIFY2(spool.add(e, &error), qPrintable(error));
            QCOMPARE(e.id, qint64(i + 1));
        }
        SpoolEntry s;
        s.kind = SpoolEntry::Kind::Status;
        s.sysNo = QStringLiteral("17");
        s.status = RowStatus::Handed;
        s.handleTime = QStringLiteral("2026-12-06 04:47:10");
        s.target = QStringLiteral("abc");
        QVERIFY(spool.add(s, &error));
    }
    Spool again(folder);
    QVERIFY(again.load().isEmpty());
    QCOMPARE(again.size(), 13);
    const QList<SpoolEntry> entries = again.entries().values();
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(entries.at(i).kind, SpoolEntry::Kind::Received);
        QCOMPARE(entries.at(i).text, QStringLiteral("第%1条 'quoted' \\ \n").arg(i));
        QCOMPARE(entries.at(i).sender, QStringLiteral("+8613900000001"));
        QCOMPARE(entries.at(i).timeStamp, QStringLiteral("231206154530+32"));
        QCOMPARE(entries.at(i).forwardNumber, QStringLiteral("13800000000"));
        QVERIFY(!entries.at(i).stored);
    }
    const SpoolEntry &s = entries.last();
    QCOMPARE(s.kind, SpoolEntry::Kind::Status);
    QCOMPARE(s.sysNo, QStringLiteral("17"));
    QCOMPARE(s.status, RowStatus::Handed);
    QCOMPARE(s.handleTime, QStringLiteral("2026-12-06 04:47:10"));
    QCOMPARE(s.target, QStringLiteral("abc"));

    // New ids continue after the highest one found, so order holds across restarts.
    SpoolEntry next = received(QStringLiteral("later"));
    QString error;
    QVERIFY(again.add(next, &error));
    QCOMPARE(next.id, qint64(14));
}

void TestSpool::updateAndRemoveAreDurable()
{
    QTemporaryDir dir;
    Spool spool(dir.path());
    spool.load();
    QString error;
    SpoolEntry a = received(QStringLiteral("a"));
    SpoolEntry b = received(QStringLiteral("b"));
    QVERIFY(spool.add(a, &error));
    QVERIFY(spool.add(b, &error));
    a.stored = true;
    QVERIFY(spool.update(a, &error));
    QVERIFY(spool.remove(b.id, &error));
    SpoolEntry missing = received(QStringLiteral("x"));
    missing.id = 99;
    QVERIFY(!spool.update(missing, &error));

    Spool again(dir.path());
    again.load();
    QCOMPARE(again.size(), 1);
    QVERIFY(again.entries().value(a.id).stored);
}

void TestSpool::unfinishedAndDamagedFilesAreSetAside()
{
    QTemporaryDir dir;
    {
        Spool spool(dir.path());
        spool.load();
        SpoolEntry e = received(QStringLiteral("good"));
        QString error;
        QVERIFY(spool.add(e, &error));
    }
    QFile temp(dir.filePath(QStringLiteral("0000000000000005.tmp")));
    QVERIFY(temp.open(QIODevice::WriteOnly));
    temp.write("{\"kind\":\"rec");
    temp.close();
    QFile bad(dir.filePath(QStringLiteral("0000000000000007.json")));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not json");
    bad.close();

    Spool spool(dir.path());
    const QStringList problems = spool.load();
    QCOMPARE(problems.size(), 1);
    QVERIFY(problems.first().endsWith(QStringLiteral("0000000000000007.json")));
    QCOMPARE(spool.size(), 1);
    QCOMPARE(spool.entries().first().text, QStringLiteral("good"));
    QVERIFY(!temp.exists());
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("0000000000000007.json.bad"))));
    // The damaged file's id is not handed out again.
    SpoolEntry e = received(QStringLiteral("next"));
    QString error;
    QVERIFY(spool.add(e, &error));
    QCOMPARE(e.id, qint64(2));
}

void TestSpool::addFailsWhenTheFolderCannotBeMade()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Spool spool(dir.filePath(QStringLiteral("file/spool")));
    spool.load();
    SpoolEntry e = received(QStringLiteral("x"));
    QString error;
    QVERIFY(!spool.add(e, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(spool.isEmpty());
}

void TestSpool::statusWrittenAsTextStillReads()
{
    // Older gateways wrote the status as its text; a status that is none is no entry.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("spool"));
    QVERIFY(QDir().mkpath(folder));
    const QList<QByteArray> files = {
            R"({"kind":"status","sysNo":"7","status":"-1","handleTime":"t","target":"k"})",
            R"({"kind":"status","sysNo":"8","status":2,"handleTime":"t","target":"k"})",
            R"({"kind":"status","sysNo":"9","status":"x","handleTime":"t","target":"k"})"};
    for (int i = 0; i < files.size(); ++i) {
        QFile f(QStringLiteral("%1/%2.json").arg(folder).arg(i + 1, 16, 10, QLatin1Char('0')));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(files.at(i));
    }
    Spool spool(folder);
    QCOMPARE(spool.load().size(), 1);
    QCOMPARE(spool.size(), 2);
    QCOMPARE(spool.entries().value(1).status, RowStatus::Failed);
    QCOMPARE(spool.entries().value(2).status, RowStatus::Sent);
}

QTEST_GUILESS_MAIN(TestSpool)
#include "tst_spool.moc"
