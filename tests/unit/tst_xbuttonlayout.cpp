#include "widgets/xbuttonlayout.h"

#include <QTest>

using Point = std::optional<QPoint>;
Q_DECLARE_METATYPE(Point)

class TestXButtonLayout : public QObject
{
    Q_OBJECT

private slots:
    void roundHalfEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("rounded");
        QTest::newRow("0.5") << 0.5 << 0;
        QTest::newRow("1.5") << 1.5 << 2;
        QTest::newRow("2.5") << 2.5 << 2;
        QTest::newRow("487.5") << 487.5 << 488;
        QTest::newRow("502.5") << 502.5 << 502;
        QTest::newRow("-0.5") << -0.5 << 0;
        QTest::newRow("-1.5") << -1.5 << -2;
        QTest::newRow("-2.5") << -2.5 << -2;
        QTest::newRow("2.4") << 2.4 << 2;
        QTest::newRow("2.6") << 2.6 << 3;
        QTest::newRow("-2.6") << -2.6 << -3;
        QTest::newRow("third") << 509.0 / 3 << 170;
    }

    void roundHalfEven()
    {
        QFETCH(double, value);
        QFETCH(int, rounded);
        QCOMPARE(XButtonLayout::roundHalfEven(value), rounded);
    }

    void compute_data()
    {
        QTest::addColumn<int>("W");
        QTest::addColumn<int>("H");
        QTest::addColumn<int>("PW");
        QTest::addColumn<int>("PH");
        QTest::addColumn<int>("TW");
        QTest::addColumn<int>("TH");
        QTest::addColumn<bool>("hasCaption");
        QTest::addColumn<bool>("hasPicture");
        QTest::addColumn<int>("style");
        QTest::addColumn<Point>("picture");
        QTest::addColumn<Point>("caption");

        const Point none;
        QTest::newRow("nothing") << 1200 << 360 << 0 << 0 << 0 << 0 << false << false << 0 << none
                                 << none;
        QTest::newRow("nothing, any style")
                << 1200 << 360 << 0 << 0 << 0 << 0 << false << false << 7 << none << none;

        QTest::newRow("picture only") << 1200 << 360 << 240 << 240 << 0 << 0 << false << true << 0
                                      << Point(QPoint(480, 60)) << none;
        QTest::newRow("picture only, halves up to even")
                << 1215 << 375 << 240 << 240 << 0 << 0 << false << true << 1
                << Point(QPoint(488, 68)) << none;
        QTest::newRow("picture only, halves down to even")
                << 1245 << 345 << 240 << 240 << 0 << 0 << false << true << 5
                << Point(QPoint(502, 52)) << none;

        QTest::newRow("caption only") << 1200 << 360 << 0 << 0 << 450 << 270 << true << false << 0
                                      << none << Point(QPoint(375, 45));
        QTest::newRow("caption only, halves") << 1200 << 360 << 0 << 0 << 455 << 275 << true
                                              << false << 3 << none << Point(QPoint(372, 42));

        QTest::newRow("picture left") << 1200 << 360 << 240 << 240 << 450 << 270 << true << true
                                      << 0 << Point(QPoint(170, 60)) << Point(QPoint(580, 45));
        QTest::newRow("picture left, thirds")
                << 1200 << 360 << 240 << 240 << 451 << 270 << true << true << 0
                << Point(QPoint(170, 60)) << Point(QPoint(579, 45));
        QTest::newRow("picture left, caption wider than the button")
                << 600 << 360 << 240 << 240 << 450 << 270 << true << true << 0
                << Point(QPoint(-30, 60)) << Point(QPoint(180, 45));

        QTest::newRow("picture above") << 1200 << 900 << 240 << 240 << 450 << 270 << true << true
                                       << 1 << Point(QPoint(480, 130)) << Point(QPoint(375, 500));
        QTest::newRow("picture above, halves")
                << 1215 << 900 << 240 << 240 << 450 << 270 << true << true << 1
                << Point(QPoint(488, 130)) << Point(QPoint(382, 500));
        QTest::newRow("picture above, thirds")
                << 1200 << 901 << 240 << 240 << 450 << 270 << true << true << 1
                << Point(QPoint(480, 130)) << Point(QPoint(375, 501));

        QTest::newRow("other style draws neither")
                << 1200 << 360 << 240 << 240 << 450 << 270 << true << true << 2 << none << none;
        QTest::newRow("negative style draws neither")
                << 1200 << 360 << 240 << 240 << 450 << 270 << true << true << -1 << none << none;
    }

    void compute()
    {
        QFETCH(int, W);
        QFETCH(int, H);
        QFETCH(int, PW);
        QFETCH(int, PH);
        QFETCH(int, TW);
        QFETCH(int, TH);
        QFETCH(bool, hasCaption);
        QFETCH(bool, hasPicture);
        QFETCH(int, style);
        QFETCH(Point, picture);
        QFETCH(Point, caption);

        XButtonLayout::Input in;
        in.width = W;
        in.height = H;
        in.pictureWidth = PW;
        in.pictureHeight = PH;
        in.textWidth = TW;
        in.textHeight = TH;
        in.hasCaption = hasCaption;
        in.hasPicture = hasPicture;
        in.style = style;
        const XButtonLayout out = XButtonLayout::compute(in);
        QCOMPARE(out.picture, picture);
        QCOMPARE(out.caption, caption);
    }
};

QTEST_APPLESS_MAIN(TestXButtonLayout)
#include "tst_xbuttonlayout.moc"
