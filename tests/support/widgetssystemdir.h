#pragma once

#include "common/registryfile.h"

#include <QTemporaryDir>
#include <QtGlobal>

// A throwaway system directory for one test: VELMORA_SYSTEM_DIR points at it while it lives, so
// the registry file the windows read is the test's own.
class WidgetsSystemDir
{
public:
    WidgetsSystemDir() { qputenv("VELMORA_SYSTEM_DIR", m_dir.path().toLocal8Bit()); }
    ~WidgetsSystemDir() { qunsetenv("VELMORA_SYSTEM_DIR"); }
    WidgetsSystemDir(const WidgetsSystemDir &) = delete;
    WidgetsSystemDir &operator=(const WidgetsSystemDir &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    RegistryFile registry() const { return RegistryFile(m_dir.path() + "/registry.ini"); }

    // Records a component library the way regsvr32 does.
    bool registerComponent(const QString &progId, const QString &file) const
    {
        return registry().setValue(RegistryFile::classKey(progId),
                                   RegistryFile::componentFileValue(), file);
    }

private:
    QTemporaryDir m_dir;
};
