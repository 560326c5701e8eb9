#pragma once

#include "common/componentloader.h"
#include "modemapi/modemcontrol.h"

#include <QProcess>
#include <QTemporaryDir>

// The real modem control, registered with the real regsvr32 into a temporary system directory
// and created by ProgID, as the gateway creates it. Needs VELMORA_SMSCONTROL (the component
// library) and VELMORA_REGSVR32 (the tool) in the environment.
class RegisteredControls
{
public:
    RegisteredControls()
    {
        qputenv("VELMORA_SYSTEM_DIR", m_systemDir.path().toUtf8());
        QProcess tool;
        tool.start(qEnvironmentVariable("VELMORA_REGSVR32"),
                   {qEnvironmentVariable("VELMORA_SMSCONTROL"), QStringLiteral("-s")});
        m_registered = tool.waitForFinished(10000) && tool.exitStatus() == QProcess::NormalExit
                && tool.exitCode() == 0;
        if (!m_registered)
            m_error = QString::fromLocal8Bit(tool.readAllStandardError()) + tool.errorString();
    }

    bool isRegistered() const { return m_registered; }
    const QString &errorString() const { return m_error; }

    ModemControl *create()
    {
        ComponentLoader loader = ComponentLoader::forSystemRegistry();
        QObject *object = loader.create(QString::fromLatin1(ModemControlProgId));
        auto *control = qobject_cast<ModemControl *>(object);
        if (!control) {
            m_error = loader.errorString();
            delete object;
        }
        return control;
    }

private:
    QTemporaryDir m_systemDir;
    bool m_registered = false;
    QString m_error;
};
