#pragma once

#include <QIcon>

// The program's pictures, drawn at start-up so no image files need to ship.
namespace Icons {
QIcon application();
// Device rows: image 2 connected, image 3 not connected.
QIcon deviceImage(int image);
// Toolbar pictures, 16 x 16, by button (1 start .. 5 configuration).
QPixmap toolbar(int button);
} // namespace Icons
