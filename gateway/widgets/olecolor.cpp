#include "olecolor.h"

#include <QPalette>

namespace OleColor {

namespace {

// The nearest palette role for each system colour index in use on desktops.
QColor systemColor(quint32 index, const QPalette &p)
{
    const auto active = [&p](QPalette::ColorRole role) {
        return p.color(QPalette::Active, role);
    };
    switch (index) {
    case 1:  // desktop
    case 16: // button shadow
        return active(QPalette::Dark);
    case 2:  // active caption
    case 13: // highlight
        return active(QPalette::Highlight);
    case 0:  // scroll bar
    case 3:  // inactive caption
    case 12: // application workspace
        return active(QPalette::Mid);
    case 5: // window
        return active(QPalette::Base);
    case 6:  // window frame
    case 21: // 3D dark shadow
        return active(QPalette::Shadow);
    case 7:  // menu text
    case 19: // inactive caption text
        return active(QPalette::WindowText);
    case 8: // window text
        return active(QPalette::Text);
    case 9:  // caption text
    case 14: // highlight text
        return active(QPalette::HighlightedText);
    case 10: // active border
    case 11: // inactive border
    case 15: // button face
        return active(QPalette::Button);
    case 17: // grey text
        return p.color(QPalette::Disabled, QPalette::Text);
    case 18: // button text
        return active(QPalette::ButtonText);
    case 20: // button highlight
        return active(QPalette::Light);
    case 22: // 3D light
        return active(QPalette::Midlight);
    case 23: // tooltip text
        return active(QPalette::ToolTipText);
    case 24: // tooltip background
        return active(QPalette::ToolTipBase);
    case 26: // hot-tracked item
        return active(QPalette::Link);
    case 4: // menu background
    default:
        return active(QPalette::Window);
    }
}

} // namespace

QColor toColor(quint32 value, const QPalette &palette)
{
    if (isSystem(value))
        return systemColor(value & ~SystemFlag, palette);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

} // namespace OleColor
