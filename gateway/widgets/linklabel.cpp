#include "linklabel.h"

#include "olecolor.h"

#include <QMouseEvent>

namespace {
constexpr quint32 Red = OleColor::rgb(255, 0, 0);
constexpr quint32 LightYellow = OleColor::rgb(255, 255, 192);
} // namespace

LinkLabel::LinkLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent), m_backColor(OleColor::system(OleColor::ButtonFace)),
      m_foreColor(OleColor::system(OleColor::ButtonText))
{
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    setAutoFillBackground(true);
    applyLook();
}

void LinkLabel::mouseMoveEvent(QMouseEvent *event)
{
    setLook(m_border, m_backColor, Red);
    QLabel::mouseMoveEvent(event);
}

void LinkLabel::mousePressEvent(QMouseEvent *event)
{
    setLook(true, LightYellow, Red);
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    setLook(false, OleColor::system(OleColor::ButtonFace), OleColor::system(OleColor::ButtonText));
    event->accept();
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

void LinkLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    // System colours follow the window's palette, also when a skin replaces it later.
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::PaletteChange)
        applyLook();
}

void LinkLabel::setLook(bool border, quint32 back, quint32 fore)
{
    m_border = border;
    m_backColor = back;
    m_foreColor = fore;
    applyLook();
}

void LinkLabel::applyLook()
{
    if (m_applying)
        return;
    m_applying = true;
    const QPalette inherited = parentWidget() ? parentWidget()->palette() : QPalette();
    QPalette pal = palette();
    pal.setColor(QPalette::Window, OleColor::toColor(m_backColor, inherited));
    pal.setColor(QPalette::WindowText, OleColor::toColor(m_foreColor, inherited));
    setPalette(pal);
    setFrameStyle(m_border ? QFrame::Box | QFrame::Plain : QFrame::NoFrame);
    m_applying = false;
}
