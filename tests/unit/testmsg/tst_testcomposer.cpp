#include "recordingprompter.h"
#include "testmsg/testcomposer.h"

#include <QSignalSpy>
#include <QTest>

class tst_TestComposer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void captions_data()
    {
        QTest::addColumn<QString>("numbers");
        QTest::addColumn<QString>("numberCaption");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("textCaption");
        QTest::newRow("preset") << "13800138000"
                                << "号码列表(1)"
                                << "测试短信"
                                << "短信内容(字数:4)";
        QTest::newRow("empty") << ""
                               << "号码列表(0)"
                               << ""
                               << "短信内容(字数:0)";
        QTest::newRow("blanks only") << "   "
                                     << "号码列表(0)"
                                     << "   "
                                     << "短信内容(字数:0)";
        QTest::newRow("trailing break counts") << "1\n2\n"
                                               << "号码列表(3)"
                                               << "  ab  "
                                               << "短信内容(字数:2)";
        QTest::newRow("tabs and breaks are not blanks") << "\n"
                                                        << "号码列表(2)"
                                                        << "\ta\n"
                                                        << "短信内容(字数:3)";
        QTest::newRow("emoji is one character")
                << "1"
                << "号码列表(1)" << QString::fromUtf8("你好😀") << "短信内容(字数:3)";
    }
    void captions()
    {
        QFETCH(QString, numbers);
        QFETCH(QString, numberCaption);
        QFETCH(QString, text);
        QFETCH(QString, textCaption);
        QCOMPARE(TestComposer::numberListCaption(numbers), numberCaption);
        QCOMPARE(TestComposer::contentCaption(text), textCaption);
    }

    void sendSkipsEmptyLinesAndKeepsBlanks()
    {
        RecordingPrompter prompter;
        QList<QStringList> rows;
        TestComposer composer(
                [&](const QString &number, const QString &text) {
                    rows << QStringList{number, text};
                    return true;
                },
                prompter);
        QSignalSpy progress(&composer, &TestComposer::progress);
        // Only the whole box is trimmed: a padded number inside the list keeps its blanks.
        composer.send(QStringLiteral(" 13800138000\n\n 13900139000 \n"),
                      QStringLiteral("  hi there "));
        QCOMPARE(rows,
                 (QList<QStringList>{{"13800138000", "hi there"}, {" 13900139000 ", "hi there"}}));
        QCOMPARE(progress.count(), 2);
        QCOMPARE(progress.at(0).at(0).toInt(), 25);
        QCOMPARE(progress.at(1).at(0).toInt(), 75);
        QCOMPARE(prompter.messages, QStringList{"发送完毕！"});
    }

    void emptyListStillSaysDone()
    {
        RecordingPrompter prompter;
        int inserts = 0;
        TestComposer composer([&](const QString &, const QString &) { return ++inserts > 0; },
                              prompter);
        composer.send(QString(), QStringLiteral("x"));
        QCOMPARE(inserts, 0);
        QCOMPARE(prompter.messages, QStringList{"发送完毕！"});
    }

    void failedInsertsAreNotReportedAsQueued()
    {
        RecordingPrompter prompter;
        TestComposer composer([](const QString &number, const QString &) { return number != "2"; },
                              prompter);
        composer.send(QStringLiteral("1\n2\n3"), QStringLiteral("x"));
        QCOMPARE(prompter.messages.size(), 1);
        QVERIFY(prompter.messages.first().startsWith(QStringLiteral("发送完毕！其中1条")));
    }
};

QTEST_GUILESS_MAIN(tst_TestComposer)
#include "tst_testcomposer.moc"
