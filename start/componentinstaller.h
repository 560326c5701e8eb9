#pragma once

#include "common/programresources.h"

#include <QString>
#include <QStringList>
#include <functional>

// Puts the two components the gateway needs into the system directory and has each registered:
// resources 101 and 102 become Velmora101.ocx and Velmora102.ocx, written when missing, and
// "regsvr32 <file> -s" is run for both every time. An existing component that does not register
// is damaged: the launcher's own copy replaces it and is registered in its place.
class ComponentInstaller
{
public:
    // Starts a program with arguments without waiting; false when it cannot be started.
    using Starter = std::function<bool(const QString &program, const QStringList &arguments)>;
    // Runs a program with arguments to its end; true when it ran and reported success.
    using Runner = std::function<bool(const QString &program, const QStringList &arguments)>;

    ComponentInstaller(ProgramResources resources, QString systemDir, QString regsvr32,
                       Runner runner);

    static constexpr int FirstId = 101;
    static constexpr int Count = 2;

    // Handles both components in order; stops at the first failure with errorString() set.
    bool RegOCX();
    // Records the desktop's system-information program, found on searchPaths (PATH when empty),
    // in the registry file where the about window looks for it. Nothing to record is no failure.
    bool recordSystemInfoTool(const QStringList &searchPaths = {});

    const QStringList &writtenFiles() const { return m_written; }
    const QString &errorString() const { return m_error; }

private:
    bool installOne(int id);
    // Writes resource id to file; replace puts it over an existing file, otherwise an existing
    // file is left alone.
    bool writeComponent(int id, const QString &file, bool replace);
    bool fail(const QString &message);

    ProgramResources m_resources;
    QString m_systemDir;
    QString m_regsvr32;
    Runner m_runner;
    QStringList m_written;
    QString m_error;
};
