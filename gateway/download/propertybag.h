#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// The values a control saves with the window that hosts it and reads back when that window is
// loaded. A value equal to its default is not stored, so reading it back gives the default.
class PropertyBag
{
public:
    QVariant ReadProperty(const QString &name, const QVariant &defaultValue = {}) const;
    void WriteProperty(const QString &name, const QVariant &value,
                       const QVariant &defaultValue = {});

    bool contains(const QString &name) const { return m_values.contains(name); }
    QStringList keys() const { return m_values.keys(); }
    bool isEmpty() const { return m_values.isEmpty(); }

private:
    QMap<QString, QVariant> m_values;
};
