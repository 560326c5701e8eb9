#include "modemcontrol.h"

// Anchors the vtable and the meta-object in the shared library that both the gateway and the
// component library link, so signals and casts agree across the library boundary.
ModemControl::~ModemControl() = default;
