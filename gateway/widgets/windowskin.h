#pragma once

#include <QString>

class QObject;
class QWidget;

// The skin component gives the information windows the product's look. It is cosmetic: when it
// is not registered or fails to load, the window simply keeps the desktop's look.
namespace WindowSkin {

inline constexpr const char *ProgId = "WinXPC_Engine.WindowsXPC";

// Creates the skin from the system registry file, names it, makes it a child of the window and
// calls its InitSubClassing. Returns the skin object, or nullptr when there is none.
QObject *attach(QWidget *window, const QString &objectName);

} // namespace WindowSkin
