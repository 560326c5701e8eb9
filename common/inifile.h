#pragma once

#include <QString>

// An INI file read and written one value at a time, the way Windows' private-profile calls do:
// an absent key gives the default, an empty value gives the empty text, blanks and one pair of
// enclosing quotes are removed, values are cut at 999 characters, and section and key names are
// matched without regard to case. A write changes or adds one line and keeps every other line,
// comment and order; it creates the file or the section when needed.
class IniFile
{
public:
    explicit IniFile(QString path);

    const QString &path() const { return m_path; }

    QString read(const QString &section, const QString &key, const QString &defaultValue) const;
    // False when the change could not be saved (read-only file or folder, full disk); error then
    // says why.
    bool write(const QString &section, const QString &key, const QString &value,
               QString *error = nullptr) const;
    // Removes one key; true when the file no longer holds it.
    bool remove(const QString &section, const QString &key) const;

    // False for a file that is there but holds no text an INI file can be read from (UTF-16,
    // binary data); reads of such a file find nothing. An absent or empty file is text.
    bool holdsText() const;

    static constexpr int MaxValueLength = 999;

private:
    QString m_path;
};
