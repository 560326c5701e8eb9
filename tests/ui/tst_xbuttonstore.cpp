#include "common/propertybag.h"
#include "widgets/olecolor.h"
#include "widgets/xbutton.h"
#include "xbuttonharness.h"

#include <QTest>

#include <functional>

using ButtonAction = std::function<void(XButton &)>;
Q_DECLARE_METATYPE(ButtonAction)

using namespace XButtonColours;

// How a button is kept in a form's stored record and read back from it, and what it announces
// when a property changes.
class TestXButtonStore : public QObject
{
    Q_OBJECT

private slots:
    void emptyRecordRestoresStoreDefaults()
    {
        XButton b;
        b.readProperties(PropertyBag());
        QCOMPARE(b.caption(), QStringLiteral("XButton"));
        QCOMPARE(b.backColor(), OleColor::system(15));
        QCOMPARE(b.foreColor(), OleColor::system(18));
        // The store defaults differ from a new control's values.
        QCOMPARE(b.mouseOnColor(), OleColor::system(18));
        QCOMPARE(b.mouseDownColor(), OleColor::system(18));
        QCOMPARE(b.styleColor(), OleColor::system(18));
        QCOMPARE(b.style3DColor1(), OleColor::system(18));
        QCOMPARE(b.style3DColor2(), OleColor::system(18));
        QCOMPARE(b.styleColor2(), OleColor::NoColor);
        QCOMPARE(b.buttonStyle(), 0);
        QVERIFY(b.isEnabled());
        QVERIFY(!b.ifDraw());
        QVERIFY(b.picture().isNull());
    }

    void newControlStoresOnlyWhatDiffers()
    {
        XButton b;
        PropertyBag bag;
        b.writeProperties(bag);
        // An empty caption is stored explicitly: without it the record would read "XButton".
        QCOMPARE(bag.keys(),
                 (QStringList{"caption", "mousedowncolor", "mouseoncolor", "stylecolor",
                              "style3dcolor1", "style3dcolor2"}));
        QCOMPARE(bag.readProperty("Caption", "XButton").toString(), QString());

        XButton restored;
        restored.readProperties(bag);
        QCOMPARE(restored.caption(), QString());
        QCOMPARE(restored.mouseOnColor(), OleColor::system(4));
        QCOMPARE(restored.style3DColor1(), quint32(16577259));
    }

    void storeRoundTrip()
    {
        QWidget host;
        auto *b = new XButton(&host);
        b->setCaption("测试");
        b->setToolTip("tip");
        b->setTag("tag");
        b->setBackColor(OleColor::rgb(1, 2, 3));
        b->setForeColor(OleColor::rgb(4, 5, 6));
        b->setMouseDownColor(OleColor::rgb(7, 8, 9));
        b->setMouseOnColor(OleColor::rgb(10, 11, 12));
        b->setStyleColor(OleColor::rgb(13, 14, 15));
        b->setStyleColor2(OleColor::rgb(16, 17, 18));
        b->setStyle3DColor1(OleColor::rgb(19, 20, 21));
        b->setStyle3DColor2(OleColor::rgb(22, 23, 24));
        b->setPicture(solid(Qt::cyan, 8, 8));
        b->setButtonStyle(1);
        b->setEnabled(false);
        QFont font = host.font();
        font.setPointSize(font.pointSize() + 5);
        b->setFont(font);
        b->setIfDraw(true);

        PropertyBag bag;
        b->writeProperties(bag);
        QCOMPARE(bag.keys(),
                 (QStringList{"caption", "tooltip", "tag", "backcolor", "forecolor",
                              "mousedowncolor", "mouseoncolor", "stylecolor", "stylecolor2",
                              "style3dcolor1", "style3dcolor2", "picture", "style", "enabled",
                              "font", "ifdraw"}));

        auto *r = new XButton(&host);
        r->readProperties(bag);
        QCOMPARE(r->caption(), b->caption());
        QCOMPARE(r->toolTip(), b->toolTip());
        QCOMPARE(r->tag(), b->tag());
        QCOMPARE(r->backColor(), b->backColor());
        QCOMPARE(r->foreColor(), b->foreColor());
        QCOMPARE(r->mouseDownColor(), b->mouseDownColor());
        QCOMPARE(r->mouseOnColor(), b->mouseOnColor());
        QCOMPARE(r->styleColor(), b->styleColor());
        QCOMPARE(r->styleColor2(), b->styleColor2());
        QCOMPARE(r->style3DColor1(), b->style3DColor1());
        QCOMPARE(r->style3DColor2(), b->style3DColor2());
        QCOMPARE(r->picture().toImage(), b->picture().toImage());
        QCOMPARE(r->buttonStyle(), 1);
        QVERIFY(!r->isEnabled());
        QCOMPARE(r->font(), font);
        QVERIFY(r->ifDraw());
    }

    void restoreIgnoresKeyCase()
    {
        PropertyBag bag;
        bag.writeProperty("STYLE3DCOLOR1", int(OleColor::rgb(1, 1, 1)), 0);
        bag.writeProperty("caption", QStringLiteral("设备"), QString());
        XButton b;
        b.readProperties(bag);
        QCOMPARE(b.style3DColor1(), OleColor::rgb(1, 1, 1));
        QCOMPARE(b.caption(), QStringLiteral("设备"));
    }

    void restoreAnnouncesOnlyThePicture()
    {
        XButton b;
        QStringList names;
        connect(&b, &XButton::propertyChanged, this, [&](const QString &n) { names << n; });
        PropertyBag bag;
        bag.writeProperty("Enabled", false, true);
        bag.writeProperty("ToolTip", QStringLiteral("t"), QString());
        b.readProperties(bag);
        QCOMPARE(names, QStringList{"Picture"});
        QVERIFY(!b.isEnabled());
        QCOMPARE(b.toolTip(), QStringLiteral("t"));
    }

    void setterNotifications_data()
    {
        QTest::addColumn<ButtonAction>("action");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("redraws");
        QTest::addColumn<bool>("drawnBeforeNotice");

        auto row = [](const char *tag, ButtonAction a, const char *name, bool redraws,
                      bool before) {
            QTest::newRow(tag) << a << QString(name) << redraws << before;
        };
        row(
                "IfDraw", [](XButton &b) { b.setIfDraw(true); }, "IfDraw", true, true);
        row(
                "BackColor", [](XButton &b) { b.setBackColor(FrameA); }, "BackColor", true, true);
        row(
                "ForeColor", [](XButton &b) { b.setForeColor(FrameA); }, "ForeColor", true, true);
        row(
                "StyleColor2", [](XButton &b) { b.setStyleColor2(FrameA); }, "StyleColor2", true,
                true);
        row(
                "Style3DColor1", [](XButton &b) { b.setStyle3DColor1(FrameA); }, "Style3DColor1",
                true, true);
        row(
                "Picture", [](XButton &b) { b.setPicture(solid(Qt::red)); }, "Picture", true, true);
        row(
                "style", [](XButton &b) { b.setButtonStyle(1); }, "style", true, true);
        row(
                "Enabled", [](XButton &b) { b.setEnabled(false); }, "Enabled", true, false);
        row(
                "Font",
                [](XButton &b) {
                    QFont f = b.font();
                    f.setPixelSize(30);
                    b.setFont(f);
                },
                "Font", true, false);
        row(
                "Caption", [](XButton &b) { b.setCaption("x"); }, "Caption", false, false);
        row(
                "Tag", [](XButton &b) { b.setTag("x"); }, "Tag", false, false);
        row(
                "ToolTip", [](XButton &b) { b.setToolTip("x"); }, "ToolTip", false, false);
    }

    void setterNotifications()
    {
        QFETCH(ButtonAction, action);
        QFETCH(QString, name);
        QFETCH(bool, redraws);
        QFETCH(bool, drawnBeforeNotice);
        Harness h;
        // While hovering the face carries raised edges that only DrawMouseOn draws: any redraw
        // of the face alone shows.
        h.step("move");
        const QImage before = h.button.face();
        QStringList names;
        QImage atNotice;
        connect(&h.button, &XButton::propertyChanged, this, [&](const QString &n) {
            names << n;
            atNotice = h.button.face();
        });
        action(h.button);
        QCOMPARE(names, QStringList{name});
        QCOMPARE(h.button.face() != before, redraws);
        QCOMPARE(atNotice != before, drawnBeforeNotice);
    }
};

QTEST_MAIN(TestXButtonStore)
#include "tst_xbuttonstore.moc"
