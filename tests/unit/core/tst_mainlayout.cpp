#include "window/mainlayout.h"

#include <QTest>

class tst_MainLayout : public QObject
{
    Q_OBJECT

private:
    static MainLayout initial()
    {
        MainLayout l;
        l.clientWidth = 10000;
        l.clientHeight = 6000;
        l.statusBarHeight = 300;
        l.listView1.top = 4120;
        l.listView1.height = 1650;
        l.arrange(false);
        return l;
    }

private Q_SLOTS:
    void resizeKeepsTheDeviceListHeight()
    {
        MainLayout l = initial();
        QCOMPARE(l.picture2.top, 6000 - 1650 - 300);
        QCOMPARE(l.listView1.top, l.picture2.top + 40);
        QCOMPARE(l.text1.top, 400);
        QCOMPARE(l.text1.left, 10);
        QCOMPARE(l.text1.height, l.picture2.top - 440);
        l.clientHeight = 8000;
        l.clientWidth = 7000;
        l.arrange(false);
        QCOMPARE(l.listView1.height, 1650);
        QCOMPARE(l.picture2.top, 8000 - 1650 - 300);
        QCOMPARE(l.text1.width, 7000);
        QCOMPARE(l.listView1.width, 7000);
    }

    void splitterStopsShortOfBothEnds_data()
    {
        QTest::addColumn<int>("dy");
        QTest::addColumn<int>("expectedTop");
        QTest::newRow("inside") << -1000 << 4050 - 1000;
        QTest::newRow("above the log box") << -5000 << 400 + 500;
        QTest::newRow("exactly at the log limit") << -(4050 - 900) << 900;
        QTest::newRow("below the status bar") << 5000 << 5700 - 500;
    }
    void splitterStopsShortOfBothEnds()
    {
        QFETCH(int, dy);
        QFETCH(int, expectedTop);
        MainLayout l = initial();
        QCOMPARE(l.picture2.top, 4050);
        QCOMPARE(l.dragSplitter(dy), expectedTop);
        QCOMPARE(l.picture2.top, expectedTop);
        QCOMPARE(l.listView1.top, expectedTop + 40);
        QCOMPARE(l.listView1.height, 6000 - expectedTop - 300);
        QCOMPARE(l.text1.height, expectedTop - 440);
    }
};

QTEST_GUILESS_MAIN(tst_MainLayout)
#include "tst_mainlayout.moc"
