#include "policy/journalwriter.h"

#include <QTest>

#include <atomic>
#include <thread>

// The thread a journal's lines go to the disk on: each piece of work ends before the next
// starts and before anyone who waits for it goes on, and its failure comes back.
class tst_JournalWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void workEndsBeforeItsWaiterGoesOn()
    {
        JournalWriter writer;
        QCOMPARE(writer.wait(), QString());
        std::atomic<int> done{0};
        writer.start([&done] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            done = 1;
            return QString();
        });
        QCOMPARE(writer.wait(), QString());
        QCOMPARE(done.load(), 1);
        // A second start waits for the first: the journal never has two writers.
        std::atomic<bool> overlapped{false};
        std::atomic<int> running{0};
        const auto work = [&] {
            if (++running > 1)
                overlapped = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            --running;
            return QStringLiteral("disk full");
        };
        writer.start(work);
        writer.start(work);
        QCOMPARE(writer.wait(), QStringLiteral("disk full"));
        QVERIFY(!overlapped);
        QCOMPARE(writer.wait(), QString());
    }

    void workStartedBeforeTheEndIsDone()
    {
        std::atomic<bool> done{false};
        {
            JournalWriter writer;
            writer.start([&done] {
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                done = true;
                return QString();
            });
        }
        QVERIFY(done);
    }
};

QTEST_GUILESS_MAIN(tst_JournalWriter)
#include "tst_journalwriter.moc"
