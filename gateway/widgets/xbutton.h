#pragma once

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <functional>

class PropertyBag;

// The owner-drawn push button of the main window's toolbar. It draws its whole face itself into a
// retained image (background, optional frame, picture, caption) and only when its state changes;
// paint requests show the last drawing. It looks raised while the pointer is over it and sunken
// while the left button is held, and notices the pointer leaving by polling the cursor.
//
// Geometry is kept in twips (15 per pixel) and converted when painting. Colours are OleColor
// values: plain RGB with red in the low byte, or 0x80000000 + a system colour index.
//
// Enabled, Font and ToolTip are the widget's own (setEnabled, setFont, setToolTip); their changes
// are announced and redrawn like the other properties.
class XButton : public QWidget
{
    Q_OBJECT

public:
    // BackColor of the main window's toolbar buttons (R 219, G 216, B 209).
    static constexpr quint32 ToolbarBackColor = 13752539;
    static constexpr int TwipsPerPixel = 15;
    static constexpr int PollInterval = 50;

    enum ButtonStyle : int { PictureLeft = 0, PictureAbove = 1 };

    explicit XButton(QWidget *parent = nullptr);
    XButton(const QString &caption, const QPixmap &picture, QWidget *parent = nullptr);
    // A toolbar button: picture left of the caption, BackColor ToolbarBackColor, hover and press
    // colour the menu background, no frame.
    static XButton *toolbarButton(const QString &caption, const QPixmap &picture,
                                  QWidget *parent = nullptr);

    bool ifDraw() const { return m_ifDraw; }
    void setIfDraw(bool value);
    quint32 backColor() const { return m_backColor; }
    void setBackColor(quint32 value);
    QString tag() const { return m_tag; }
    void setTag(const QString &value);
    quint32 foreColor() const { return m_foreColor; }
    void setForeColor(quint32 value);
    quint32 mouseOnColor() const { return m_mouseOnColor; }
    void setMouseOnColor(quint32 value);
    quint32 mouseDownColor() const { return m_mouseDownColor; }
    void setMouseDownColor(quint32 value);
    quint32 style3DColor1() const { return m_style3DColor1; }
    void setStyle3DColor1(quint32 value);
    quint32 style3DColor2() const { return m_style3DColor2; }
    void setStyle3DColor2(quint32 value);
    quint32 styleColor() const { return m_styleColor; }
    void setStyleColor(quint32 value);
    quint32 styleColor2() const { return m_styleColor2; }
    void setStyleColor2(quint32 value);
    QPixmap picture() const { return m_picture; }
    void setPicture(const QPixmap &value);
    // The "style" property: where the picture goes relative to the caption.
    int buttonStyle() const { return m_style; }
    void setButtonStyle(int value);
    // The new text shows at the next redraw; setting it does not repaint.
    QString caption() const { return m_caption; }
    void setCaption(const QString &value);

    // Screen position in pixels of the top-left corner as the hover poll estimates it.
    int screenX() const { return m_screenX; }
    int screenY() const { return m_screenY; }

    void SetButton();
    void DrawMouseOn();
    void DrawMouseOut();
    static quint32 GrayOf(quint32 colour);

    // The host's property store: restore and save of the design-time settings.
    void readProperties(const PropertyBag &bag);
    void writeProperties(PropertyBag &bag) const;

    // Where the hover poll reads the screen cursor; QCursor::pos() unless replaced.
    void setCursorSource(std::function<QPoint()> source);
    // One tick of the hover poll.
    void pollCursor();

    bool isHovering() const { return m_hover; }
    bool isPressed() const { return m_pressed != 0; }
    bool isPolling() const { return m_timer.isActive(); }
    quint32 currentFaceColor() const { return m_faceColor; }
    // What is on screen: the last drawing.
    const QImage &face() const { return m_face; }

    QSize sizeHint() const override;

signals:
    void Click();
    void MouseOn();
    void MouseOut();
    // Button: 1 left, 2 right, 4 middle; Shift: 1 Shift, 2 Ctrl, 4 Alt; X, Y in twips.
    void MouseDown(int button, int shift, float x, float y);
    void MouseUp(int button, int shift, float x, float y);
    // After every property change, under the property's name ("BackColor", "Caption", ...).
    void propertyChanged(const QString &name);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    enum class Edges { Raised, Sunken };

    void setRedrawnColor(quint32 &field, quint32 value, const char *name);
    void drawEdges(Edges look);
    void DrawPicture(int x, int y);
    void DrawCaption(int x, int y);
    void fillFace(quint32 colour);
    void drawLine(int x1, int y1, int x2, int y2, quint32 colour);
    void drawBoxOutline(int x2, int y2, quint32 colour);
    void printText(int x, int y, const QColor &colour);
    QColor resolve(quint32 colour) const;
    QFont ambientFont() const;
    int widthTwips() const { return width() * TwipsPerPixel; }
    int heightTwips() const { return height() * TwipsPerPixel; }
    static int toPixels(double twips);

    bool m_ifDraw = false;
    quint32 m_backColor;
    quint32 m_foreColor;
    quint32 m_mouseOnColor;
    quint32 m_mouseDownColor;
    quint32 m_style3DColor1;
    quint32 m_style3DColor2;
    quint32 m_styleColor = 0;
    quint32 m_styleColor2;
    int m_style = PictureLeft;
    QString m_tag;
    QString m_caption;
    QPixmap m_picture;

    QImage m_face;
    quint32 m_faceColor = 0;
    bool m_hover = false;
    int m_pressed = 0;
    int m_lastButton = 0;
    QPoint m_entryOffset;
    QPoint m_entryCursor;
    int m_screenX = 0;
    int m_screenY = 0;
    bool m_restoring = false;

    QTimer m_timer;
    std::function<QPoint()> m_cursor;
};
