#include "policy/resetschedule.h"
#include "policy/sendcounts.h"
#include "policy/sendjournal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// The periods the carriers count in, the counts over them, and their file.
class tst_SendCounts : public QObject
{
    Q_OBJECT

private:
    static QDateTime at(int month, int day, int hour, int minute = 0)
    {
        return QDateTime(QDate(2026, month, day), QTime(hour, minute));
    }
    static SendRecord record(const QDateTime &when, int parts, const QString &number = "1")
    {
        return {when.toSecsSinceEpoch(), QStringLiteral("3"), parts, number};
    }

private Q_SLOTS:
    void periodsBeginAtTheOperatorsTime()
    {
        const ResetSchedule s(QTime(6, 30), 20);
        QCOMPARE(s.start(QuotaPeriod::Day, at(3, 15, 6, 29)), at(3, 14, 6, 30));
        QCOMPARE(s.start(QuotaPeriod::Day, at(3, 15, 6, 30)), at(3, 15, 6, 30));
        QCOMPARE(s.next(QuotaPeriod::Day, at(3, 15, 23, 0)), at(3, 16, 6, 30));
        QCOMPARE(s.start(QuotaPeriod::Hour, at(3, 15, 10, 29)), at(3, 15, 9, 30));
        QCOMPARE(s.next(QuotaPeriod::Hour, at(3, 15, 10, 30)), at(3, 15, 11, 30));
        QCOMPARE(s.start(QuotaPeriod::Month, at(3, 20, 6, 0)), at(2, 20, 6, 30));
        QCOMPARE(s.next(QuotaPeriod::Month, at(3, 20, 6, 0)), at(3, 20, 6, 30));
    }

    void aResetDayPastTheMonthsEndFallsOnItsLastDay()
    {
        const ResetSchedule s(QTime(0, 0), 31);
        QCOMPARE(s.next(QuotaPeriod::Month, at(2, 10, 0)), at(2, 28, 0));
        QCOMPARE(s.next(QuotaPeriod::Month, at(2, 28, 1)), at(3, 31, 0));
    }

    void countsStartAgainWithEachPeriod()
    {
        SendCounts c(ResetSchedule(QTime(0, 0), 1));
        c.add(record(at(3, 15, 9, 10), 2, "a"));
        c.add(record(at(3, 15, 9, 50), 1, "b"));
        c.add(record(at(3, 15, 10, 5), 3, "a"));
        DeviceUsage u = c.usage("3", at(3, 15, 10, 6));
        QCOMPARE(u.hourParts, 3);
        QCOMPARE(u.dayParts, 6);
        QCOMPARE(u.monthParts, 6);
        QCOMPARE(u.monthRecipients, 2);
        u = c.usage("3", at(3, 16, 0, 0));
        QCOMPARE(u.dayParts, 0);
        QCOMPARE(u.monthParts, 6);
        u = c.usage("3", at(4, 1, 0, 0));
        QCOMPARE(u.monthParts, 0);
        QCOMPARE(u.monthRecipients, 0);
        QCOMPARE(c.usage("4", at(3, 15, 10, 6)).dayParts, 0);
    }

    void aRecordOfAnEndedPeriodDoesNotCountInTheNext()
    {
        SendCounts c;
        c.add(record(at(3, 15, 12), 1));
        c.add(record(at(3, 14, 12), 5));
        QCOMPARE(c.usage("3", at(3, 15, 13)).dayParts, 1);
    }

    void countsSurviveAKill()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("SendCounts.log");
        const pid_t child = fork();
        if (child == 0) {
            SendJournal journal(path);
            for (int i = 0; i < 5; ++i)
                journal.append(record(at(3, 15, 9, i), 2, QString::number(i)), nullptr);
            ::kill(::getpid(), SIGKILL);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        SendJournal journal(path);
        SendCounts c;
        for (const SendRecord &r : journal.load())
            c.add(r);
        QCOMPARE(c.usage("3", at(3, 15, 9, 30)).hourParts, 10);
        // Numbers are for the owner's eyes only: no group nor other bits.
        QCOMPARE(int(QFile::permissions(path) & 0x00ff), 0);
        QVERIFY(QFile::permissions(path) & QFile::WriteOwner);
    }

    void aLineCutOffByACrashIsDropped()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("SendCounts.log");
        {
            SendJournal journal(path);
            QVERIFY(journal.append(record(at(3, 15, 9), 1, "+86 139 1234"), nullptr));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("1773570000 3 2 1390");
        f.close();
        SendJournal journal(path);
        const QList<SendRecord> records = journal.load();
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first().number, QStringLiteral("+86 139 1234"));
        // The next run's first record starts a line of its own rather than ending the cut one.
        QVERIFY(journal.append(record(at(3, 15, 10), 2, "138"), nullptr));
        QCOMPARE(SendJournal(path).load(),
                 (QList<SendRecord>{records.first(), record(at(3, 15, 10), 2, "138")}));
    }

    void aRewriteKeepsOnlyWhatItIsGiven()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("SendCounts.log");
        SendJournal journal(path);
        QVERIFY(journal.append(record(at(2, 1, 9), 1), nullptr));
        QVERIFY(journal.rewrite({record(at(3, 15, 9), 4)}, nullptr));
        QVERIFY(journal.append(record(at(3, 15, 10), 1), nullptr));
        const QList<SendRecord> records = SendJournal(path).load();
        QCOMPARE(records, (QList<SendRecord>{record(at(3, 15, 9), 4), record(at(3, 15, 10), 1)}));
        QVERIFY(!QFile::exists(path + ".tmp"));
    }

    void recentMessagesToANumberAreForgottenPastTheWindow()
    {
        SendCounts c;
        c.add(record(at(3, 15, 9), 1, "x"));
        c.add(record(at(3, 15, 10), 1, "x"));
        QCOMPARE(c.sentTo("x", at(3, 15, 9, 30).toSecsSinceEpoch()), 1);
        c.dropRecipientsBefore(at(3, 15, 11).toSecsSinceEpoch());
        QCOMPARE(c.sentTo("x", 0), 0);
    }
};

QTEST_GUILESS_MAIN(tst_SendCounts)
#include "tst_sendcounts.moc"
