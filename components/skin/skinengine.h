#pragma once

#include <QObject>

// Gives the window it is a child of the product's look: a light, flat palette, a font family list
// that renders Chinese text, and flat push buttons. Only the window's own appearance changes;
// behaviour and layout are left alone.
class SkinEngine : public QObject
{
    Q_OBJECT

public:
    explicit SkinEngine(QObject *parent = nullptr);

    Q_INVOKABLE void InitSubClassing();

    static QPalette lightPalette();
};
