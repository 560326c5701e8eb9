#pragma once

#include "policyconfig.h"

#include <QStringList>
#include <functional>

class IniFile;

// Reads the sending policy from Config.ini. Every key has a default that leaves the policy
// off; a value that does not convert is reported through log in one line that says what is
// used instead. devicePorts are the configured ports, device d on devicePorts[d].
PolicyConfig LoadPolicy(const IniFile &ini, const QStringList &devicePorts,
                        const std::function<void(const QString &)> &log);
