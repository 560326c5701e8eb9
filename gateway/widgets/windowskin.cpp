#include "windowskin.h"

#include "common/componentloader.h"

#include <QMetaObject>
#include <QWidget>

namespace WindowSkin {

QObject *attach(QWidget *window, const QString &objectName)
{
    ComponentLoader loader = ComponentLoader::forSystemRegistry();
    QObject *skin = loader.create(QLatin1String(ProgId));
    if (!skin)
        return nullptr;
    skin->setObjectName(objectName);
    skin->setParent(window);
    QMetaObject::invokeMethod(skin, "InitSubClassing", Qt::DirectConnection);
    return skin;
}

} // namespace WindowSkin
