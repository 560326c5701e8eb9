#pragma once

#include <QColor>
#include <QRgb>

class QPalette;

// Colours as the controls store them: red in the low byte, green in the second, blue in the third,
// or a reference to a system colour (0x80000000 + index) resolved against a palette when drawn.
namespace OleColor {

inline constexpr quint32 SystemFlag = 0x80000000u;
// The marker "no colour" some properties use (-1 as a 32-bit integer).
inline constexpr quint32 NoColor = 0xFFFFFFFFu;

inline constexpr quint32 MenuBackground = 4;
inline constexpr quint32 WindowText = 8;
inline constexpr quint32 ButtonFace = 15;
inline constexpr quint32 ButtonText = 18;

constexpr quint32 system(quint32 index)
{
    return SystemFlag | index;
}
constexpr quint32 rgb(quint32 r, quint32 g, quint32 b)
{
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
constexpr bool isSystem(quint32 value)
{
    return (value & SystemFlag) != 0 && value != NoColor;
}
constexpr quint32 fromRgb(QRgb c)
{
    return rgb(quint32(qRed(c)), quint32(qGreen(c)), quint32(qBlue(c)));
}

// The colour to paint with; system colours come from the palette's active group.
QColor toColor(quint32 value, const QPalette &palette);

} // namespace OleColor
