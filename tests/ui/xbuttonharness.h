#pragma once

#include "widgets/olecolor.h"
#include "widgets/xbutton.h"

#include <QCoreApplication>
#include <QHash>
#include <QMouseEvent>
#include <QPixmap>
#include <QTest>

namespace XButtonColours {
constexpr quint32 Back = OleColor::rgb(219, 216, 209);
constexpr quint32 Hover = OleColor::rgb(200, 230, 200);
constexpr quint32 Down = OleColor::rgb(150, 180, 220);
constexpr quint32 Light = OleColor::rgb(250, 250, 250);
constexpr quint32 Shade = OleColor::rgb(90, 90, 90);
constexpr quint32 FrameA = OleColor::rgb(255, 0, 0);
constexpr quint32 FrameB = OleColor::rgb(0, 0, 255);
} // namespace XButtonColours

inline QPixmap solid(const QColor &colour, int w = 16, int h = 16)
{
    QPixmap pixmap(w, h);
    pixmap.fill(colour);
    return pixmap;
}

// Drives one button with synthetic mouse events and a fake screen cursor, and records the
// events it raises in order.
struct Harness
{
    explicit Harness(QSize size = QSize(80, 24))
    {
        button.resize(size);
        button.setBackColor(XButtonColours::Back);
        button.setMouseOnColor(XButtonColours::Hover);
        button.setMouseDownColor(XButtonColours::Down);
        button.setStyle3DColor1(XButtonColours::Light);
        button.setStyle3DColor2(XButtonColours::Shade);
        button.setCursorSource([this] { return cursor; });
        QObject::connect(&button, &XButton::Click, &button, [this] { events << "Click"; });
        QObject::connect(&button, &XButton::MouseOn, &button, [this] { events << "MouseOn"; });
        QObject::connect(&button, &XButton::MouseOut, &button, [this] { events << "MouseOut"; });
        QObject::connect(&button, &XButton::MouseDown, &button,
                         [this](int, int, float, float) { events << "MouseDown"; });
        QObject::connect(&button, &XButton::MouseUp, &button,
                         [this](int, int, float, float) { events << "MouseUp"; });
        button.show();
    }

    void send(QEvent::Type type, QPointF local, Qt::MouseButton which,
              Qt::KeyboardModifiers modifiers = {})
    {
        if (type == QEvent::MouseButtonPress)
            held |= which;
        else if (type == QEvent::MouseButtonRelease)
            held &= ~Qt::MouseButtons(which);
        QMouseEvent event(type, local, QPointF(origin) + local, which, held, modifiers);
        QCoreApplication::sendEvent(&button, &event);
    }

    void move(QPoint local)
    {
        cursor = origin + local;
        send(QEvent::MouseMove, local, Qt::NoButton);
    }

    // The cursor goes somewhere; moves reach the button only inside it or while a button is held.
    void cursorTo(QPoint local)
    {
        cursor = origin + local;
        if (held != Qt::NoButton || button.rect().contains(local))
            send(QEvent::MouseMove, local, Qt::NoButton);
        button.pollCursor();
    }

    void step(const QString &token)
    {
        static const QHash<QChar, Qt::MouseButton> buttons{
                {'L', Qt::LeftButton}, {'R', Qt::RightButton}, {'M', Qt::MiddleButton}};
        if (token == "move")
            move(inside);
        else if (token == "out")
            cursorTo(QPoint(120, 10));
        else if (token == "in")
            cursorTo(inside);
        else if (token == "poll")
            button.pollCursor();
        else if (token.startsWith("press"))
            send(QEvent::MouseButtonPress, cursor - origin, buttons.value(token.back()));
        else if (token.startsWith("release"))
            send(QEvent::MouseButtonRelease, cursor - origin, buttons.value(token.back()));
        else
            QFAIL(qPrintable("unknown step " + token));
    }

    QColor at(int x, int y) const { return button.face().pixelColor(x, y); }

    XButton button;
    QPoint origin{200, 100};
    QPoint inside{10, 10};
    QPoint cursor{0, 0};
    Qt::MouseButtons held;
    QStringList events;
};
