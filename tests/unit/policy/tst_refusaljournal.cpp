#include "policy/refusaljournal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The file of the devices that refused each waiting row.
class tst_RefusalJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusalsAreReadBackInTheirOrder()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Refusals.log");
        {
            RefusalJournal journal(path);
            QVERIFY(journal.add("17", "3", nullptr));
            QVERIFY(journal.add("18", "3", nullptr));
            QVERIFY(journal.add("17", "12", nullptr));
        }
        const RefusalJournal journal(path);
        QCOMPARE(journal.refusedBy("17"), QStringList({"3", "12"}));
        QCOMPARE(journal.refusedBy("18"), QStringList({"3"}));
        QVERIFY(journal.refusedBy("19").isEmpty());
        QCOMPARE(int(QFile::permissions(path) & 0x00ff), 0);
    }

    void aLineCutOffByACrashIsDropped()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Refusals.log");
        {
            RefusalJournal journal(path);
            QVERIFY(journal.add("17", "3", nullptr));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("18 1");
        f.close();
        RefusalJournal journal(path);
        QVERIFY(journal.refusedBy("18").isEmpty());
        // The next line starts on a line of its own, and the cut one is not completed into a
        // refusal by a port that may never have been named.
        QVERIFY(journal.add("19", "4", nullptr));
        QCOMPARE(RefusalJournal(path).refusedBy("19"), QStringList({"4"}));
        QVERIFY(RefusalJournal(path).refusedBy("18").isEmpty());
    }

    void anEndedRowIsForgottenAndTheOthersKept()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Refusals.log");
        RefusalJournal journal(path);
        QVERIFY(journal.add("17", "3", nullptr));
        QVERIFY(journal.add("18", "5", nullptr));
        QVERIFY(journal.forget("17", nullptr));
        QVERIFY(journal.add("18", "6", nullptr));
        const RefusalJournal reread(path);
        QVERIFY(reread.refusedBy("17").isEmpty());
        QCOMPARE(reread.refusedBy("18"), QStringList({"5", "6"}));
        QVERIFY(!QFile::exists(path + ".tmp"));
    }
};

QTEST_GUILESS_MAIN(tst_RefusalJournal)
#include "tst_refusaljournal.moc"
