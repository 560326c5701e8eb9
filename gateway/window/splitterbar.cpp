#include "splitterbar.h"

#include "mainlayout.h"

#include <QMouseEvent>

SplitterBar::SplitterBar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Picture2"));
    setCursor(Qt::SizeVerCursor);
    setAutoFillBackground(true);
}

void SplitterBar::mousePressEvent(QMouseEvent *)
{
    m_dragging = true;
}

void SplitterBar::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging)
        Q_EMIT dragged(qRound(event->position().y()) * MainLayout::TwipsPerPixel);
}

void SplitterBar::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = false;
}
