#pragma once

#include <QString>
#include <optional>

class RegistryFile;

// One typed value of the registry file. A value is written as the text it holds (REG_SZ), or in
// the notation of exported .reg files: "dword:0000002a" for a 32-bit number (REG_DWORD),
// "hex:..." or "hex(n):..." for raw data of another type.
struct RegistryValue
{
    enum Type : quint32 { None = 0, String = 1, Binary = 3, DWord = 4 };

    quint32 type = None;
    // For String: the characters as the query hands them over, a terminating NUL included.
    QString data;
    quint32 number = 0;

    // The data size a query reports: characters of a string, 4 for a number, bytes otherwise.
    qsizetype size() const;

    // The roots a key path may start with; the numbers are those of the registry API.
    enum Root : quint32 {
        ClassesRoot = 0x80000000u,
        CurrentUser = 0x80000001u,
        LocalMachine = 0x80000002u,
        Users = 0x80000003u,
    };
    static QString rootName(quint32 root);

    // Reads the stored text of a value as a typed value.
    static RegistryValue fromFileText(const QString &text);

    // The characters a query delivers into a buffer of this many characters.
    static constexpr qsizetype BufferSize = 1024;
};

// Reads one value: keyName under root, value subKeyRef. On success keyVal holds the text of a
// string or the decimal text of a number (for any other type it keeps what it held) and the result
// is true; on failure keyVal is emptied and the result is false. Data that does not fit the query
// buffer is a failure, never a cut text.
bool GetKeyValue(const RegistryFile &registry, quint32 keyRoot, const QString &keyName,
                 const QString &subKeyRef, QString &keyVal);

// The buffer rule on its own: n characters delivered, the last one dropped when it is a NUL.
std::optional<QString> registryBufferText(const RegistryValue &value);
