#include "xbutton.h"

#include "olecolor.h"
#include "common/propertybag.h"
#include "xbuttonlayout.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace {

constexpr quint32 NewStyle3DColor1 = 16577259; // R 235, G 242, B 252
constexpr quint32 NewStyle3DColor2 = 8421504;  // R 128, G 128, B 128

int storedColor(quint32 colour)
{
    return static_cast<int>(colour);
}

quint32 colourOf(const QVariant &stored)
{
    return static_cast<quint32>(stored.toInt());
}

int shiftOf(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
            | (modifiers & Qt::AltModifier ? 4 : 0);
}

// Qt's left, right and middle buttons carry the same numbers as the control's Button argument.
int buttonOf(Qt::MouseButton button)
{
    return static_cast<int>(button);
}

} // namespace

XButton::XButton(QWidget *parent)
    : QWidget(parent), m_backColor(OleColor::system(OleColor::ButtonFace)),
      m_foreColor(OleColor::system(OleColor::ButtonText)),
      m_mouseOnColor(OleColor::system(OleColor::MenuBackground)),
      m_mouseDownColor(OleColor::system(OleColor::MenuBackground)),
      m_style3DColor1(NewStyle3DColor1), m_style3DColor2(NewStyle3DColor2),
      m_styleColor2(OleColor::NoColor), m_cursor([] { return QCursor::pos(); })
{
    m_faceColor = m_backColor;
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_timer.setInterval(PollInterval);
    connect(&m_timer, &QTimer::timeout, this, &XButton::pollCursor);
}

XButton::XButton(const QString &caption, const QPixmap &picture, QWidget *parent) : XButton(parent)
{
    m_caption = caption;
    m_picture = picture;
}

XButton *XButton::toolbarButton(const QString &caption, const QPixmap &picture, QWidget *parent)
{
    auto *button = new XButton(caption, picture, parent);
    button->setBackColor(ToolbarBackColor);
    button->setMouseOnColor(OleColor::system(OleColor::MenuBackground));
    button->setMouseDownColor(OleColor::system(OleColor::MenuBackground));
    button->setButtonStyle(PictureLeft);
    return button;
}

void XButton::setIfDraw(bool value)
{
    m_ifDraw = value;
    SetButton();
    emit propertyChanged(QStringLiteral("IfDraw"));
}

void XButton::setBackColor(quint32 value)
{
    m_backColor = value;
    m_faceColor = value;
    SetButton();
    emit propertyChanged(QStringLiteral("BackColor"));
}

void XButton::setTag(const QString &value)
{
    m_tag = value;
    emit propertyChanged(QStringLiteral("Tag"));
}

void XButton::setRedrawnColor(quint32 &field, quint32 value, const char *name)
{
    field = value;
    SetButton();
    emit propertyChanged(QLatin1String(name));
}

void XButton::setForeColor(quint32 value)
{
    setRedrawnColor(m_foreColor, value, "ForeColor");
}

void XButton::setMouseOnColor(quint32 value)
{
    setRedrawnColor(m_mouseOnColor, value, "MouseOnColor");
}

void XButton::setMouseDownColor(quint32 value)
{
    setRedrawnColor(m_mouseDownColor, value, "MouseDownColor");
}

void XButton::setStyle3DColor1(quint32 value)
{
    setRedrawnColor(m_style3DColor1, value, "Style3DColor1");
}

void XButton::setStyle3DColor2(quint32 value)
{
    setRedrawnColor(m_style3DColor2, value, "Style3DColor2");
}

void XButton::setStyleColor(quint32 value)
{
    setRedrawnColor(m_styleColor, value, "StyleColor");
}

void XButton::setStyleColor2(quint32 value)
{
    setRedrawnColor(m_styleColor2, value, "StyleColor2");
}

void XButton::setPicture(const QPixmap &value)
{
    m_picture = value;
    SetButton();
    emit propertyChanged(QStringLiteral("Picture"));
}

void XButton::setButtonStyle(int value)
{
    m_style = value;
    SetButton();
    emit propertyChanged(QStringLiteral("style"));
}

void XButton::setCaption(const QString &value)
{
    m_caption = value;
    emit propertyChanged(QStringLiteral("Caption"));
}

void XButton::SetButton()
{
    // Each step stands on its own: nothing here can stop the steps after it.
    if (width() <= 0 || height() <= 0) {
        m_face = QImage();
        update();
        return;
    }
    if (m_face.size() != size())
        m_face = QImage(size(), QImage::Format_RGB32);

    const QSize pictureSize =
            m_picture.isNull() ? QSize() : m_picture.deviceIndependentSize().toSize();
    const int PW = pictureSize.width() * TwipsPerPixel;
    const int PH = pictureSize.height() * TwipsPerPixel;
    const int W = widthTwips();
    const int H = heightTwips();

    if (m_faceColor == 0)
        m_faceColor = m_backColor;
    fillFace(m_faceColor);

    if (m_ifDraw) {
        if (m_styleColor2 == OleColor::NoColor) {
            drawBoxOutline(W - 10, H - 10, m_styleColor);
        } else {
            drawLine(0, 0, 0, H, m_styleColor);
            drawLine(0, 0, W, 0, m_styleColor);
            drawLine(W - 10, 0, W - 10, H, m_styleColor2);
            drawLine(0, H - 10, W, H - 10, m_styleColor2);
        }
    }

    const QFontMetrics metrics(font(), &m_face);
    XButtonLayout::Input in;
    in.width = W;
    in.height = H;
    in.pictureWidth = PW;
    in.pictureHeight = PH;
    in.textWidth = double(metrics.horizontalAdvance(m_caption)) * TwipsPerPixel;
    in.textHeight = double(metrics.height()) * TwipsPerPixel;
    in.hasCaption = !m_caption.isEmpty();
    in.hasPicture = !m_picture.isNull();
    in.style = m_style;
    const XButtonLayout layout = XButtonLayout::compute(in);
    if (layout.picture)
        DrawPicture(layout.picture->x(), layout.picture->y());
    if (layout.caption)
        DrawCaption(layout.caption->x(), layout.caption->y());
    update();
}

void XButton::DrawMouseOn()
{
    SetButton();
    drawEdges(Edges::Raised);
}

void XButton::DrawMouseOut()
{
    m_faceColor = m_backColor;
    SetButton();
}

quint32 XButton::GrayOf(quint32 colour)
{
    // ITU-R BT.601 luma weights (0.299, 0.587, 0.114) scaled by 32768.
    const quint32 r = colour & 255;
    const quint32 g = (colour & 65535) / 256;
    const quint32 b = (colour & 0xFFFFFF) / 65536;
    const quint32 grey = (9798 * r + 19235 * g + 3735 * b) / 32768;
    return OleColor::rgb(grey, grey, grey);
}

void XButton::drawEdges(Edges look)
{
    if (m_face.isNull())
        return;
    const bool raised = look == Edges::Raised;
    const quint32 lightSide = raised ? m_style3DColor1 : m_style3DColor2;
    const quint32 darkSide = raised ? m_style3DColor2 : m_style3DColor1;
    const int W = widthTwips();
    const int H = heightTwips();
    drawLine(0, 0, 0, H, lightSide);
    drawLine(0, 0, W, 0, lightSide);
    drawLine(W - 10, 0, W - 10, H, darkSide);
    drawLine(0, H - 10, W, H - 10, darkSide);
    update();
}

void XButton::DrawPicture(int x, int y)
{
    const QSize size = m_picture.deviceIndependentSize().toSize();
    if (isEnabled()) {
        QPainter painter(&m_face);
        painter.drawPixmap(QRect(toPixels(x), toPixels(y), size.width(), size.height()), m_picture);
        return;
    }
    // The picture as its holder shows it: drawn over the back colour.
    QImage holder(size, QImage::Format_RGB32);
    holder.fill(resolve(m_backColor));
    {
        QPainter painter(&holder);
        painter.drawPixmap(QRect(QPoint(0, 0), size), m_picture);
    }
    const quint32 reference = OleColor::fromRgb(m_face.pixel(0, 0));
    const int PW = size.width() * TwipsPerPixel;
    const int PH = size.height() * TwipsPerPixel;
    for (int px = 0; px <= PW - TwipsPerPixel; px += TwipsPerPixel) {
        for (int py = 0; py <= PH - TwipsPerPixel; py += TwipsPerPixel) {
            const quint32 v =
                    OleColor::fromRgb(holder.pixel(px / TwipsPerPixel, py / TwipsPerPixel));
            if (v == reference)
                continue;
            const QPoint at(toPixels(x + px), toPixels(y + py));
            if (m_face.rect().contains(at))
                m_face.setPixel(at, resolve(GrayOf(v)).rgb());
        }
    }
}

void XButton::DrawCaption(int x, int y)
{
    if (isEnabled()) {
        printText(x, y, resolve(m_foreColor));
        return;
    }
    // Embossed: a white copy one pixel down-right under a grey one.
    printText(x + TwipsPerPixel, y + TwipsPerPixel, QColor(255, 255, 255));
    printText(x, y, QColor(128, 128, 128));
}

void XButton::fillFace(quint32 colour)
{
    m_face.fill(resolve(colour));
}

// A line from the first point up to, not including, the second; the face only draws
// horizontal and vertical ones.
void XButton::drawLine(int x1, int y1, int x2, int y2, quint32 colour)
{
    const QRgb rgb = resolve(colour).rgb();
    const int px1 = toPixels(x1), py1 = toPixels(y1);
    const int px2 = toPixels(x2), py2 = toPixels(y2);
    const QRect bounds = m_face.rect();
    if (px1 == px2) {
        const int step = py2 >= py1 ? 1 : -1;
        for (int y = py1; y != py2; y += step) {
            if (bounds.contains(px1, y))
                m_face.setPixel(px1, y, rgb);
        }
    } else if (py1 == py2) {
        const int step = px2 >= px1 ? 1 : -1;
        for (int x = px1; x != px2; x += step) {
            if (bounds.contains(x, py1))
                m_face.setPixel(x, py1, rgb);
        }
    }
}

// The outline of the box (0, 0)-(x2, y2), both corners included.
void XButton::drawBoxOutline(int x2, int y2, quint32 colour)
{
    const QRgb rgb = resolve(colour).rgb();
    const int right = toPixels(x2), bottom = toPixels(y2);
    const QRect bounds = m_face.rect();
    const auto set = [&](int x, int y) {
        if (bounds.contains(x, y))
            m_face.setPixel(x, y, rgb);
    };
    for (int x = 0; x <= right; ++x) {
        set(x, 0);
        set(x, bottom);
    }
    for (int y = 0; y <= bottom; ++y) {
        set(0, y);
        set(right, y);
    }
}

void XButton::printText(int x, int y, const QColor &colour)
{
    QPainter painter(&m_face);
    painter.setFont(font());
    painter.setPen(colour);
    painter.drawText(QPoint(toPixels(x), toPixels(y) + painter.fontMetrics().ascent()), m_caption);
}

QColor XButton::resolve(quint32 colour) const
{
    return OleColor::toColor(colour, palette());
}

QFont XButton::ambientFont() const
{
    return parentWidget() ? parentWidget()->font() : QApplication::font();
}

int XButton::toPixels(double twips)
{
    return XButtonLayout::roundHalfEven(twips / TwipsPerPixel);
}

void XButton::readProperties(const PropertyBag &bag)
{
    const int systemText = storedColor(OleColor::system(OleColor::ButtonText));
    m_restoring = true;
    m_caption = bag.readProperty(QStringLiteral("Caption"), QStringLiteral("XButton")).toString();
    setToolTip(bag.readProperty(QStringLiteral("ToolTip"), QString()).toString());
    m_tag = bag.readProperty(QStringLiteral("Tag"), QString()).toString();
    m_backColor = colourOf(bag.readProperty(QStringLiteral("BackColor"),
                                            storedColor(OleColor::system(OleColor::ButtonFace))));
    m_foreColor = colourOf(bag.readProperty(QStringLiteral("ForeColor"), systemText));
    m_mouseDownColor = colourOf(bag.readProperty(QStringLiteral("MouseDownColor"), systemText));
    m_mouseOnColor = colourOf(bag.readProperty(QStringLiteral("MouseOnColor"), systemText));
    m_styleColor = colourOf(bag.readProperty(QStringLiteral("StyleColor"), systemText));
    m_styleColor2 = colourOf(bag.readProperty(QStringLiteral("StyleColor2"), -1));
    m_style3DColor1 = colourOf(bag.readProperty(QStringLiteral("Style3dColor1"), systemText));
    m_style3DColor2 = colourOf(bag.readProperty(QStringLiteral("Style3dColor2"), systemText));
    m_style = bag.readProperty(QStringLiteral("style"), 0).toInt();
    setEnabled(bag.readProperty(QStringLiteral("Enabled"), true).toBool());
    const QFont storedFont = bag.readProperty(QStringLiteral("Font"), ambientFont()).value<QFont>();
    if (storedFont != font())
        setFont(storedFont);
    m_restoring = false;
    setPicture(bag.readProperty(QStringLiteral("Picture"), QVariant()).value<QPixmap>());
    m_ifDraw = bag.readProperty(QStringLiteral("IfDraw"), false).toBool();
    SetButton();
}

void XButton::writeProperties(PropertyBag &bag) const
{
    const int systemText = storedColor(OleColor::system(OleColor::ButtonText));
    bag.writeProperty(QStringLiteral("Caption"), m_caption, QStringLiteral("XButton"));
    bag.writeProperty(QStringLiteral("ToolTip"), toolTip(), QString());
    bag.writeProperty(QStringLiteral("Tag"), m_tag, QString());
    bag.writeProperty(QStringLiteral("BackColor"), storedColor(m_backColor),
                      storedColor(OleColor::system(OleColor::ButtonFace)));
    bag.writeProperty(QStringLiteral("ForeColor"), storedColor(m_foreColor), systemText);
    bag.writeProperty(QStringLiteral("MouseDownColor"), storedColor(m_mouseDownColor), systemText);
    bag.writeProperty(QStringLiteral("MouseOnColor"), storedColor(m_mouseOnColor), systemText);
    bag.writeProperty(QStringLiteral("StyleColor"), storedColor(m_styleColor), systemText);
    bag.writeProperty(QStringLiteral("StyleColor2"), storedColor(m_styleColor2), -1);
    bag.writeProperty(QStringLiteral("Style3dColor1"), storedColor(m_style3DColor1), systemText);
    bag.writeProperty(QStringLiteral("Style3dColor2"), storedColor(m_style3DColor2), systemText);
    bag.writeProperty(QStringLiteral("Picture"),
                      m_picture.isNull() ? QVariant() : QVariant::fromValue(m_picture), QVariant());
    bag.writeProperty(QStringLiteral("style"), m_style, 0);
    bag.writeProperty(QStringLiteral("Enabled"), isEnabled(), true);
    bag.writeProperty(QStringLiteral("Font"), font(), ambientFont());
    bag.writeProperty(QStringLiteral("IfDraw"), m_ifDraw, false);
}

void XButton::setCursorSource(std::function<QPoint()> source)
{
    m_cursor = std::move(source);
}

void XButton::pollCursor()
{
    const QPoint cursor = m_cursor();
    const int left = m_entryCursor.x() - m_entryOffset.x();
    const int top = m_entryCursor.y() - m_entryOffset.y();
    m_screenX = left;
    m_screenY = top;
    // Inclusive on every side, and taken from the entry snapshot: the control may have moved.
    const int right = XButtonLayout::roundHalfEven(double(widthTwips()) / TwipsPerPixel + left);
    const int bottom = XButtonLayout::roundHalfEven(double(heightTwips()) / TwipsPerPixel + top);
    if (cursor.x() < left || cursor.x() > right || cursor.y() < top || cursor.y() > bottom) {
        QPointer<XButton> guard(this);
        emit MouseOut();
        if (!guard)
            return;
        m_hover = false;
        DrawMouseOut();
        m_timer.stop();
    } else if (m_pressed == 0) {
        DrawMouseOn();
    }
}

QSize XButton::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    const int tw = m_caption.isEmpty() ? 0 : metrics.horizontalAdvance(m_caption);
    const int th = metrics.height();
    const QSize ps = m_picture.isNull() ? QSize(0, 0) : m_picture.deviceIndependentSize().toSize();
    if (m_style == PictureAbove)
        return {std::max(ps.width(), tw) + 12, ps.height() + th + 9};
    return {ps.width() + tw + 18, std::max(ps.height(), th) + 8};
}

void XButton::paintEvent(QPaintEvent *)
{
    if (m_face.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_face);
}

void XButton::resizeEvent(QResizeEvent *)
{
    SetButton();
}

void XButton::showEvent(QShowEvent *)
{
    m_faceColor = m_backColor;
    DrawMouseOut();
}

void XButton::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (m_restoring)
        return;
    switch (event->type()) {
    case QEvent::EnabledChange:
        emit propertyChanged(QStringLiteral("Enabled"));
        SetButton();
        break;
    case QEvent::FontChange:
        emit propertyChanged(QStringLiteral("Font"));
        SetButton();
        break;
    default:
        break;
    }
}

bool XButton::event(QEvent *event)
{
    // Tool-tip changes do not reach changeEvent.
    if (event->type() == QEvent::ToolTipChange && !m_restoring)
        emit propertyChanged(QStringLiteral("ToolTip"));
    return QWidget::event(event);
}

void XButton::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    if (m_hover || m_pressed == 1)
        return;
    QPointer<XButton> guard(this);
    emit MouseOn();
    if (!guard)
        return;
    const QPointF at = event->position();
    m_entryOffset =
            QPoint(XButtonLayout::roundHalfEven(at.x()), XButtonLayout::roundHalfEven(at.y()));
    m_entryCursor = m_cursor();
    m_hover = true;
    m_faceColor = m_mouseOnColor;
    DrawMouseOn();
    m_timer.start();
}

void XButton::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    const int button = buttonOf(event->button());
    const QPointF at = event->position() * TwipsPerPixel;
    m_pressed = 1;
    QPointer<XButton> guard(this);
    emit MouseDown(button, shiftOf(event->modifiers()), float(at.x()), float(at.y()));
    if (!guard)
        return;
    if (button == 2)
        m_hover = false;
    m_lastButton = button;
    if (button == 1) {
        m_faceColor = m_mouseDownColor;
        SetButton();
        drawEdges(Edges::Sunken);
    }
}

void XButton::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    const int button = buttonOf(event->button());
    const QPointF at = event->position() * TwipsPerPixel;
    m_pressed = 0;
    QPointer<XButton> guard(this);
    emit MouseUp(button, shiftOf(event->modifiers()), float(at.x()), float(at.y()));
    if (!guard)
        return;
    DrawMouseOut();
    if (m_lastButton == 1 && m_hover)
        emit Click();
}
