#pragma once

#include <QLabel>

// A label that acts as a link: it turns red under a moving pointer, shows a bordered light-yellow
// face while a button is held on it, returns to the button-face look on release, and reports a
// click when the button is released over it. Moving off it keeps the colour it has.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit LinkLabel(const QString &text, QWidget *parent = nullptr);

    // The current look as OleColor values.
    quint32 backColor() const { return m_backColor; }
    quint32 foreColor() const { return m_foreColor; }
    bool hasBorder() const { return m_border; }

signals:
    void clicked();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void setLook(bool border, quint32 back, quint32 fore);
    void applyLook();

    bool m_border = false;
    quint32 m_backColor;
    quint32 m_foreColor;
    bool m_applying = false;
};
