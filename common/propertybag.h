#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// The record a host window keeps for a control's design-time settings: typed values by key.
// Keys are matched without regard to case (kept in lower case). A value equal to the default it is
// written with is left out, and a missing key reads as the default the reader gives, so a record
// only ever holds what differs from the defaults.
class PropertyBag
{
public:
    QVariant readProperty(const QString &key, const QVariant &defaultValue) const;
    void writeProperty(const QString &key, const QVariant &value, const QVariant &defaultValue);

    bool contains(const QString &key) const;
    void remove(const QString &key);
    // Stored keys (lower case) in the order they were first written.
    QStringList keys() const;
    bool isEmpty() const { return m_entries.isEmpty(); }

private:
    qsizetype indexOf(const QString &key) const;

    QList<std::pair<QString, QVariant>> m_entries;
};
