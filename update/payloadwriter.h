#pragma once

#include "common/programresources.h"

#include <QString>
#include <functional>

// Writes the files an updater carries into the installation folder. Entry i (1..N) is the pair of
// resources with id 100 + i: the string "<byte count>-<path relative to the installation folder>"
// and the data. N is the string entry 100; without it the updater carries nothing.
class PayloadWriter
{
public:
    PayloadWriter(ProgramResources resources, QString installFolder);

    static constexpr int CountId = 100;

    int entryCount() const;
    // Writes every entry in ascending order, reporting i / N * 100 after each; stops at the
    // first failure with errorString() set.
    bool writeAll(const std::function<void(int percent)> &progress);

    const QString &errorString() const { return m_error; }

private:
    bool writeEntry(int id);
    bool fail(const QString &message);

    ProgramResources m_resources;
    QString m_installFolder;
    QString m_error;
};
