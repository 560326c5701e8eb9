#include "common/propertybag.h"
#include "widgets/olecolor.h"
#include "widgets/xbutton.h"
#include "xbuttonharness.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include <functional>
#include <memory>

using ButtonAction = std::function<void(XButton &)>;
Q_DECLARE_METATYPE(ButtonAction)

namespace {

using namespace XButtonColours;

QColor plain(quint32 colour)
{
    return OleColor::toColor(colour, QPalette());
}

QColor grey(int level)
{
    return QColor(level, level, level);
}

} // namespace

class TestXButton : public QObject
{
    Q_OBJECT

private slots:
    void eventSequences_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("events");

        QTest::newRow("hover, left click") << "move pressL releaseL"
                                           << "MouseOn MouseDown MouseUp Click";
        QTest::newRow("two left clicks")
                << "move pressL releaseL pressL releaseL"
                << "MouseOn MouseDown MouseUp Click MouseDown MouseUp Click";
        QTest::newRow("press, drag out, release") << "move pressL out releaseL"
                                                  << "MouseOn MouseDown MouseOut MouseUp";
        QTest::newRow("drag out and back in, release, move")
                << "move pressL out in releaseL move"
                << "MouseOn MouseDown MouseOut MouseUp MouseOn";
        QTest::newRow("right click") << "move pressR releaseR"
                                     << "MouseOn MouseDown MouseUp";
        QTest::newRow("right click re-arms MouseOn") << "move pressR releaseR move"
                                                     << "MouseOn MouseDown MouseUp MouseOn";
        QTest::newRow("right press keeps polling") << "move pressR out releaseR"
                                                   << "MouseOn MouseDown MouseOut MouseUp";
        QTest::newRow("middle click") << "move pressM releaseM move"
                                      << "MouseOn MouseDown MouseUp";
        QTest::newRow("press without hover") << "pressL releaseL"
                                             << "MouseDown MouseUp";
        QTest::newRow("leave and come back") << "move poll out in"
                                             << "MouseOn MouseOut MouseOn";
        QTest::newRow("moves while hovering raise nothing") << "move move poll move"
                                                            << "MouseOn";
    }

    void eventSequences()
    {
        QFETCH(QString, steps);
        QFETCH(QString, events);
        Harness h;
        for (const QString &token : steps.split(' '))
            h.step(token);
        QCOMPARE(h.events.join(' '), events);
    }

    void pointerStates()
    {
        Harness h;
        QVERIFY(!h.button.isHovering() && !h.button.isPressed() && !h.button.isPolling());
        h.step("move");
        QVERIFY(h.button.isHovering() && !h.button.isPressed() && h.button.isPolling());
        h.step("pressL");
        QVERIFY(h.button.isHovering() && h.button.isPressed() && h.button.isPolling());
        h.step("out");
        QVERIFY(!h.button.isHovering() && h.button.isPressed() && !h.button.isPolling());
        h.step("releaseL");
        QVERIFY(!h.button.isHovering() && !h.button.isPressed() && !h.button.isPolling());

        // A right press clears the hover flag but the poll goes on.
        h.step("move");
        h.step("pressR");
        QVERIFY(!h.button.isHovering() && h.button.isPolling());
    }

    void mouseArguments_data()
    {
        QTest::addColumn<Qt::MouseButton>("which");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("shift");
        QTest::newRow("left, shift+ctrl")
                << Qt::LeftButton << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier)
                << 1 << 3;
        QTest::newRow("right, alt")
                << Qt::RightButton << Qt::KeyboardModifiers(Qt::AltModifier) << 2 << 4;
        QTest::newRow("middle") << Qt::MiddleButton << Qt::KeyboardModifiers() << 4 << 0;
    }

    void mouseArguments()
    {
        QFETCH(Qt::MouseButton, which);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, button);
        QFETCH(int, shift);
        Harness h;
        QList<QVariantList> downs, ups;
        connect(&h.button, &XButton::MouseDown, this, [&](int b, int s, float x, float y) {
            downs.append({b, s, x, y});
        });
        connect(&h.button, &XButton::MouseUp, this, [&](int b, int s, float x, float y) {
            ups.append({b, s, x, y});
        });
        h.send(QEvent::MouseButtonPress, QPointF(4, 6), which, modifiers);
        h.send(QEvent::MouseButtonRelease, QPointF(5, 7), which, modifiers);
        // Positions arrive in twips.
        QCOMPARE(downs, (QList<QVariantList>{{button, shift, 60.0f, 90.0f}}));
        QCOMPARE(ups, (QList<QVariantList>{{button, shift, 75.0f, 105.0f}}));
    }

    void hoverRectangle_data()
    {
        QTest::addColumn<QPoint>("cursor"); // relative to the button's screen corner
        QTest::addColumn<bool>("leaves");
        QTest::newRow("left edge") << QPoint(0, 5) << false;
        QTest::newRow("left of it") << QPoint(-1, 5) << true;
        QTest::newRow("one past the last column is still inside") << QPoint(80, 5) << false;
        QTest::newRow("two past") << QPoint(81, 5) << true;
        QTest::newRow("top edge") << QPoint(5, 0) << false;
        QTest::newRow("above") << QPoint(5, -1) << true;
        QTest::newRow("one below the last row") << QPoint(5, 24) << false;
        QTest::newRow("two below") << QPoint(5, 25) << true;
    }

    void hoverRectangle()
    {
        QFETCH(QPoint, cursor);
        QFETCH(bool, leaves);
        Harness h;
        h.step("move");
        h.cursor = h.origin + cursor;
        h.button.pollCursor();
        QCOMPARE(h.events.contains("MouseOut"), leaves);
        QCOMPARE(h.button.isPolling(), !leaves);
        QCOMPARE(QPoint(h.button.screenX(), h.button.screenY()), h.origin);
    }

    void hoverRectangleComesFromTheEntrySnapshot()
    {
        Harness h;
        QCOMPARE(h.button.screenX(), 0);
        // Entry at a fractional position: the offset is rounded, halves to even.
        h.cursor = QPoint(300, 200);
        h.send(QEvent::MouseMove, QPointF(10.5, 3.5), Qt::NoButton);
        h.button.pollCursor();
        QCOMPARE(QPoint(h.button.screenX(), h.button.screenY()), QPoint(290, 196));
        // Moving the control does not move the rectangle until the pointer enters again.
        h.button.move(500, 500);
        h.button.pollCursor();
        QVERIFY(!h.events.contains("MouseOut"));
    }

    void hoverPollRunsEvery50ms()
    {
        Harness h;
        h.step("move");
        QVERIFY(h.button.isPolling());
        h.cursor = h.origin + QPoint(200, 200);
        QTRY_VERIFY_WITH_TIMEOUT(h.events.contains("MouseOut"), 2000);
        QVERIFY(!h.button.isPolling());
        QCOMPARE(h.at(40, 12), plain(Back));
    }

    void looks()
    {
        Harness h;
        const int w = 80, hgt = 24;
        auto edges = [&](quint32 lightSide, quint32 darkSide, quint32 fill) {
            QCOMPARE(h.at(0, 12), plain(lightSide));
            QCOMPARE(h.at(40, 0), plain(lightSide));
            QCOMPARE(h.at(w - 1, 12), plain(darkSide));
            QCOMPARE(h.at(40, hgt - 1), plain(darkSide));
            QCOMPARE(h.at(40, 12), plain(fill));
        };
        // Idle: plain back colour everywhere.
        QCOMPARE(h.at(0, 0), plain(Back));
        QCOMPARE(h.at(w - 1, hgt - 1), plain(Back));

        h.step("move"); // raised, hover colour
        edges(Light, Shade, Hover);
        h.step("pressL"); // sunken, pressed colour
        edges(Shade, Light, Down);
        h.step("releaseL"); // back to normal, no edges
        QCOMPARE(h.at(0, 12), plain(Back));
        QCOMPARE(h.at(40, 12), plain(Back));
        h.step("poll"); // the raised edges return, without the hover colour
        edges(Light, Shade, Back);
    }

    void rightOrMiddlePressIsNotSunken_data()
    {
        QTest::addColumn<QString>("press");
        QTest::newRow("right") << "pressR";
        QTest::newRow("middle") << "pressM";
    }

    void rightOrMiddlePressIsNotSunken()
    {
        QFETCH(QString, press);
        Harness h;
        h.step("move");
        const QImage hovering = h.button.face();
        h.step(press);
        QCOMPARE(h.button.face(), hovering);
        QCOMPARE(h.at(0, 12), plain(Light));
    }

    void blackHoverOrPressColourMeansBackColour_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<ButtonAction>("setup");
        QTest::newRow("MouseOnColor 0")
                << "move" << ButtonAction([](XButton &b) { b.setMouseOnColor(0); });
        QTest::newRow("MouseDownColor 0")
                << "move pressL" << ButtonAction([](XButton &b) { b.setMouseDownColor(0); });
    }

    void blackHoverOrPressColourMeansBackColour()
    {
        QFETCH(QString, steps);
        QFETCH(ButtonAction, setup);
        Harness h;
        setup(h.button);
        for (const QString &token : steps.split(' '))
            h.step(token);
        QCOMPARE(h.at(40, 12), plain(Back));
        QCOMPARE(h.button.currentFaceColor(), Back);
    }

    void frame_data()
    {
        QTest::addColumn<bool>("ifDraw");
        QTest::addColumn<quint32>("styleColor2");
        // left, top, right, bottom, top-right corner, bottom-left corner
        QTest::addColumn<QList<quint32>>("expected");
        QTest::newRow("no frame") << false << FrameB
                                  << QList<quint32>{Back, Back, Back, Back, Back, Back};
        QTest::newRow("single outline")
                << true << OleColor::NoColor
                << QList<quint32>{FrameA, FrameA, FrameA, FrameA, FrameA, FrameA};
        QTest::newRow("two colours")
                << true << FrameB << QList<quint32>{FrameA, FrameA, FrameB, FrameB, FrameB, FrameB};
    }

    void frame()
    {
        QFETCH(bool, ifDraw);
        QFETCH(quint32, styleColor2);
        QFETCH(QList<quint32>, expected);
        Harness h(QSize(50, 20));
        h.button.setStyleColor(FrameA);
        h.button.setStyleColor2(styleColor2);
        h.button.setIfDraw(ifDraw);
        QCOMPARE(h.at(0, 10), plain(expected[0]));
        QCOMPARE(h.at(25, 0), plain(expected[1]));
        // Right and bottom sides lie 10 twips inside W and H: the last column and row.
        QCOMPARE(h.at(49, 10), plain(expected[2]));
        QCOMPARE(h.at(25, 19), plain(expected[3]));
        QCOMPARE(h.at(49, 0), plain(expected[4]));
        QCOMPARE(h.at(0, 19), plain(expected[5]));
        QCOMPARE(h.at(1, 1), plain(Back));
        QCOMPARE(h.at(48, 18), plain(Back));
    }

    void picturePosition_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("even free space") << QSize(80, 24) << QPoint(32, 4);
        // (1215 - 240) / 2 = 487.5 twips -> 488 -> 32.53 px; likewise vertically.
        QTest::newRow("odd free space") << QSize(81, 25) << QPoint(33, 5);
    }

    void picturePosition()
    {
        QFETCH(QSize, size);
        QFETCH(QPoint, topLeft);
        Harness h(size);
        h.button.setPicture(solid(Qt::red));
        const QColor red(Qt::red);
        QCOMPARE(h.at(topLeft.x(), topLeft.y()), red);
        QCOMPARE(h.at(topLeft.x() + 15, topLeft.y() + 15), red);
        QCOMPARE(h.at(topLeft.x() - 1, topLeft.y()), plain(Back));
        QCOMPARE(h.at(topLeft.x(), topLeft.y() - 1), plain(Back));
        QCOMPARE(h.at(topLeft.x() + 16, topLeft.y() + 15), plain(Back));
        QCOMPARE(h.at(topLeft.x() + 15, topLeft.y() + 16), plain(Back));
    }

    void pictureAndCaptionSideBySide()
    {
        Harness h(QSize(90, 24));
        h.button.setForeColor(OleColor::rgb(0, 0, 0));
        h.button.setCaption("HI");
        h.button.setPicture(solid(Qt::red));
        const QFontMetrics metrics(h.button.font(), &h.button.face());
        const int tw = metrics.horizontalAdvance("HI") * 15;
        const int x = XButtonLayout_roundHalfEven((90 * 15 - 240 - tw) / 3.0);
        const int captionX = XButtonLayout_roundHalfEven(240 + 2 * (90 * 15 - 240 - tw) / 3.0);
        QCOMPARE(h.at(pixels(x), 4), QColor(Qt::red));
        QCOMPARE(h.at(pixels(x) - 1, 4), plain(Back));
        // Caption ink starts at its own position, right of the picture.
        int firstInk = -1;
        for (int px = pixels(x) + 16; px < 90 && firstInk < 0; ++px) {
            for (int py = 0; py < 24; ++py) {
                if (h.at(px, py) != plain(Back)) {
                    firstInk = px;
                    break;
                }
            }
        }
        QVERIFY(firstInk >= pixels(captionX));
        QVERIFY(firstInk <= pixels(captionX) + 3);
    }

    void otherStyleDrawsOnlyBackground()
    {
        Harness h;
        h.button.setCaption("HI");
        h.button.setPicture(solid(Qt::red));
        h.button.setButtonStyle(2);
        QImage expected(h.button.face().size(), QImage::Format_RGB32);
        expected.fill(plain(Back));
        QCOMPARE(h.button.face(), expected);
    }

    void captionChangeWaitsForTheNextRedraw()
    {
        Harness h;
        const QImage before = h.button.face();
        h.button.setCaption("HI");
        QCOMPARE(h.button.face(), before);
        h.step("move");
        h.step("out");
        QVERIFY(h.button.face() != before);
    }

    void disabledPictureIsGreyedPixelByPixel()
    {
        Harness h;
        QPixmap picture(16, 16);
        picture.fill(Qt::transparent);
        {
            QPainter p(&picture);
            p.fillRect(0, 0, 4, 4, Qt::red);
            p.fillRect(8, 8, 4, 4, Qt::blue);
        }
        h.button.setPicture(picture);
        h.button.setEnabled(false);
        // Picture at (32, 4): red and blue turn into their grey levels.
        QCOMPARE(h.at(32, 4), grey(76));
        QCOMPARE(h.at(40, 12), grey(29));
        // Transparent pixels show the back colour through the holder: the reference, skipped.
        QCOMPARE(h.at(36, 4), plain(Back));
        QCOMPARE(h.at(47, 19), plain(Back));
    }

    void disabledPictureSkipsTheTopLeftColour()
    {
        Harness h;
        QPixmap picture(16, 16);
        picture.fill(Qt::transparent);
        {
            QPainter p(&picture);
            p.fillRect(0, 0, 4, 4, Qt::red);
        }
        h.button.setPicture(picture);
        // A red outline puts red at (0, 0): red picture pixels are now the ones skipped.
        h.button.setStyleColor(FrameA);
        h.button.setStyleColor2(OleColor::NoColor);
        h.button.setIfDraw(true);
        h.button.setEnabled(false);
        QCOMPARE(h.at(32, 4), plain(Back));
        QCOMPARE(h.at(36, 4), grey(216)); // the back colour of the holder, greyed
    }

    void caption_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::newRow("enabled") << true;
        QTest::newRow("disabled") << false;
    }

    void caption()
    {
        QFETCH(bool, enabled);
        Harness h(QSize(80, 30));
        QFont font = h.button.font();
        font.setPixelSize(20);
        h.button.setFont(font);
        const quint32 fore = OleColor::rgb(0, 0, 255);
        h.button.setForeColor(fore);
        h.button.setCaption("HI");
        h.button.setEnabled(enabled);
        h.button.SetButton();

        const QImage &face = h.button.face();
        int foreInk = 0, greyInk = 0, whiteInk = 0, shadowed = 0;
        for (int y = 0; y < face.height(); ++y) {
            for (int x = 0; x < face.width(); ++x) {
                const QColor c = face.pixelColor(x, y);
                foreInk += c == plain(fore);
                whiteInk += c == QColor(Qt::white);
                if (c == grey(128)) {
                    ++greyInk;
                    const QPoint below(x + 1, y + 1);
                    shadowed += face.rect().contains(below)
                            && face.pixelColor(below) == QColor(Qt::white);
                }
            }
        }
        if (enabled) {
            QVERIFY(foreInk > 0);
            QCOMPARE(whiteInk, 0);
        } else {
            // Embossed: grey on top of a white copy one pixel down and right.
            QCOMPARE(foreInk, 0);
            QVERIFY(greyInk > 0);
            QVERIFY(whiteInk > 0);
            QVERIFY(shadowed > 0);
        }
    }

    void grayOf_data()
    {
        QTest::addColumn<quint32>("colour");
        QTest::addColumn<quint32>("grey");
        QTest::newRow("black") << quint32(0) << quint32(0);
        QTest::newRow("white") << quint32(0xFFFFFF) << quint32(0xFFFFFF);
        QTest::newRow("red") << OleColor::rgb(255, 0, 0) << quint32(0x4C4C4C);
        QTest::newRow("green") << OleColor::rgb(0, 255, 0) << quint32(0x959595);
        QTest::newRow("blue") << OleColor::rgb(0, 0, 255) << quint32(0x1D1D1D);
        QTest::newRow("grey stays") << quint32(0x808080) << quint32(0x808080);
        QTest::newRow("toolbar back colour") << XButton::ToolbarBackColor << quint32(0xD8D8D8);
    }

    void grayOf()
    {
        QFETCH(quint32, colour);
        QFETCH(quint32, grey);
        QCOMPARE(XButton::GrayOf(colour), grey);
    }

    void systemColoursFollowThePalette()
    {
        std::unique_ptr<XButton> button(XButton::toolbarButton("", QPixmap()));
        button->resize(40, 20);
        QPalette pal = button->palette();
        pal.setColor(QPalette::Window, QColor(1, 2, 3)); // menu background
        button->setPalette(pal);
        button->setCursorSource([] { return QPoint(5, 5); });
        button->show();
        QCOMPARE(button->face().pixelColor(20, 10), QColor(219, 216, 209));
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(button.get(), &move);
        QCOMPARE(button->face().pixelColor(20, 10), QColor(1, 2, 3));
    }

    void toolbarButton()
    {
        std::unique_ptr<XButton> button(XButton::toolbarButton("启动", solid(Qt::green)));
        QVERIFY(button->sizeHint().width() > 16 + button->fontMetrics().horizontalAdvance("启动"));

        // The Start button shows the service state through its back colour at run time.
        button->resize(80, 24);
        button->show();
        button->setBackColor(OleColor::rgb(0, 160, 0));
        QCOMPARE(button->face().pixelColor(1, 1), QColor(0, 160, 0));
    }

private:
    static int XButtonLayout_roundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }
    static int pixels(int twips) { return XButtonLayout_roundHalfEven(twips / 15.0); }
};

QTEST_MAIN(TestXButton)
#include "tst_xbutton.moc"
