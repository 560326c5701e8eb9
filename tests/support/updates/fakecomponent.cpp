// A component library for the launcher tests: it serves one ProgID and creates plain objects
// named after it.
#include "common/componentabi.h"

#include <QObject>

class FakeComponent : public QObject
{
    Q_OBJECT

public:
    FakeComponent() { setObjectName(QStringLiteral(FAKE_PROGID)); }
};

// Gives the two libraries clearly different sizes.
extern "C" Q_DECL_EXPORT const char fakeComponentPadding[FAKE_PADDING] = {1};

VELMORA_COMPONENT(FAKE_PROGID, FakeComponent)

#include "fakecomponent.moc"
