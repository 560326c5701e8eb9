#include "common/propertybag.h"

#include <QTest>

class TestPropertyBag : public QObject
{
    Q_OBJECT

private slots:
    void missingKeyReadsDefault()
    {
        PropertyBag bag;
        QCOMPARE(bag.readProperty("Caption", QStringLiteral("XButton")).toString(), "XButton");
        QVERIFY(!bag.contains("Caption"));
    }

    void valueEqualToDefaultIsNotWritten()
    {
        PropertyBag bag;
        bag.writeProperty("style", 0, 0);
        bag.writeProperty("Enabled", true, true);
        QVERIFY(bag.isEmpty());

        // An explicit empty text differs from the default and is kept.
        bag.writeProperty("Caption", QString(""), QStringLiteral("XButton"));
        QVERIFY(bag.contains("Caption"));
        QCOMPARE(bag.readProperty("Caption", QStringLiteral("XButton")).toString(), QString());
    }

    void writingTheDefaultDropsAnEarlierValue()
    {
        PropertyBag bag;
        bag.writeProperty("style", 1, 0);
        bag.writeProperty("style", 0, 0);
        QVERIFY(!bag.contains("style"));
        QCOMPARE(bag.readProperty("style", 0).toInt(), 0);
    }

    void keysIgnoreCase_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("read");
        QTest::newRow("design spelling") << "Style3dColor1"
                                         << "Style3DColor1";
        QTest::newRow("upper") << "CAPTION"
                               << "caption";
        QTest::newRow("same") << "Tag"
                              << "Tag";
    }

    void keysIgnoreCase()
    {
        QFETCH(QString, written);
        QFETCH(QString, read);
        PropertyBag bag;
        bag.writeProperty(written, 42, 0);
        QCOMPARE(bag.readProperty(read, 0).toInt(), 42);
        bag.writeProperty(read, 7, 0);
        QCOMPARE(bag.keys(), QStringList{written.toLower()});
        QCOMPARE(bag.readProperty(written, 0).toInt(), 7);
    }

    void keysKeepFirstWriteOrder()
    {
        PropertyBag bag;
        bag.writeProperty("Caption", QStringLiteral("a"), QString());
        bag.writeProperty("ToolTip", QStringLiteral("b"), QString());
        bag.writeProperty("caption", QStringLiteral("c"), QString());
        QCOMPARE(bag.keys(), (QStringList{"caption", "tooltip"}));
    }
};

QTEST_APPLESS_MAIN(TestPropertyBag)
#include "tst_propertybag.moc"
