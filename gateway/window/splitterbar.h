#pragma once

#include <QWidget>

// The thin bar between the log box and the device list; dragging it reports how far the pointer
// is from the bar's top, in twips.
class SplitterBar : public QWidget
{
    Q_OBJECT

public:
    explicit SplitterBar(QWidget *parent = nullptr);

    bool dragging() const { return m_dragging; }

Q_SIGNALS:
    void dragged(int yTwips);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_dragging = false;
};
