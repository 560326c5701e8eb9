#include "icons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap canvas(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

QPixmap envelope(int size, const QColor &body)
{
    QPixmap pm = canvas(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal m = size / 8.0;
    const QRectF r(m, size * 0.22, size - 2 * m, size * 0.56);
    p.setPen(QPen(body.darker(160), size / 16.0));
    p.setBrush(body);
    p.drawRoundedRect(r, size / 16.0, size / 16.0);
    QPainterPath flap;
    flap.moveTo(r.topLeft());
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.55);
    flap.lineTo(r.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
    return pm;
}

QPixmap modem(int size, bool connected)
{
    QPixmap pm = canvas(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body = connected ? QColor(46, 160, 67) : QColor(150, 150, 150);
    p.setPen(QPen(body.darker(150), 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(2, size * 0.35, size - 4, size * 0.5), 2, 2);
    p.drawLine(QPointF(size * 0.7, size * 0.35), QPointF(size * 0.8, size * 0.08));
    p.setBrush(connected ? QColor(180, 255, 180) : QColor(90, 90, 90));
    p.drawEllipse(QPointF(size * 0.25, size * 0.6), size * 0.08, size * 0.08);
    return pm;
}

} // namespace

namespace Icons {

QIcon application()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64})
        icon.addPixmap(envelope(size, QColor(66, 133, 244)));
    return icon;
}

QIcon deviceImage(int image)
{
    QIcon icon;
    for (int size : {16, 32})
        icon.addPixmap(modem(size, image == 2));
    return icon;
}

QPixmap toolbar(int button)
{
    QPixmap pm = canvas(16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (button) {
    case 1: { // start: a green triangle
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 150, 60));
        const QPointF tri[] = {{4, 2}, {14, 8}, {4, 14}};
        p.drawPolygon(tri, 3);
        break;
    }
    case 2: // stop: a red square
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 50, 40));
        p.drawRect(QRectF(3, 3, 10, 10));
        break;
    case 3:
        p.drawPixmap(0, 0, modem(16, true));
        break;
    case 4:
        p.drawPixmap(0, 0, envelope(16, QColor(240, 190, 60)));
        break;
    default: { // configuration: a page with lines
        p.setPen(QPen(QColor(90, 90, 90), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 1.5, 9, 13));
        for (int y = 5; y <= 11; y += 3)
            p.drawLine(QPointF(5.5, y + 0.5), QPointF(10.5, y + 0.5));
        break;
    }
    }
    return pm;
}

} // namespace Icons
