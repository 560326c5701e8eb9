#pragma once

#include <QString>

class QObject;

// Creates component instances by ProgID from the registry file's records.
class ComponentLoader
{
public:
    explicit ComponentLoader(QString registryPath);
    static ComponentLoader forSystemRegistry();

    // A new instance, or nullptr with errorString() set. The caller owns the object.
    QObject *create(const QString &progId);
    const QString &errorString() const { return m_error; }

    // The ProgID a library file serves, or a null string with the reason in *error.
    static QString progIdOf(const QString &file, QString *error);

private:
    QString m_registryPath;
    QString m_error;
};
