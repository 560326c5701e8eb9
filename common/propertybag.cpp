#include "propertybag.h"

QVariant PropertyBag::readProperty(const QString &key, const QVariant &defaultValue) const
{
    const qsizetype i = indexOf(key);
    return i < 0 ? defaultValue : m_entries.at(i).second;
}

void PropertyBag::writeProperty(const QString &key, const QVariant &value,
                                const QVariant &defaultValue)
{
    const qsizetype i = indexOf(key);
    // An earlier non-default entry must not outlive a write of the default.
    if (value == defaultValue) {
        if (i >= 0)
            m_entries.removeAt(i);
        return;
    }
    if (i >= 0)
        m_entries[i].second = value;
    else
        m_entries.append({key.toLower(), value});
}

bool PropertyBag::contains(const QString &key) const
{
    return indexOf(key) >= 0;
}

void PropertyBag::remove(const QString &key)
{
    const qsizetype i = indexOf(key);
    if (i >= 0)
        m_entries.removeAt(i);
}

QStringList PropertyBag::keys() const
{
    QStringList out;
    out.reserve(m_entries.size());
    for (const auto &entry : m_entries)
        out.append(entry.first);
    return out;
}

qsizetype PropertyBag::indexOf(const QString &key) const
{
    const QString lower = key.toLower();
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).first == lower)
            return i;
    }
    return -1;
}
