#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// A throw-away installation folder for the launcher and updater tests, with a stand-in gateway
// at MainApp/Velmora that records its start and what it created through the registration.
class InstallTree
{
public:
    InstallTree()
    {
        m_root = m_dir.filePath(QStringLiteral("install folder"));
        QDir().mkpath(m_root + QStringLiteral("/MainApp"));
        m_systemDir = m_dir.filePath(QStringLiteral("system dir with blanks"));
        m_report = m_dir.filePath(QStringLiteral("gateway.report"));
        m_regsvr32Log = m_dir.filePath(QStringLiteral("regsvr32.log"));
    }

    const QString &root() const { return m_root; }
    QString path(const QString &relative) const { return m_root + QLatin1Char('/') + relative; }
    const QString &systemDir() const { return m_systemDir; }

    static QString testBinary(const char *name)
    {
        return qEnvironmentVariable("UPDATES_TEST_DIR") + QLatin1Char('/') + QLatin1String(name);
    }

    // A script that runs program with the arguments it was given.
    static bool writeScript(const QString &path, const QByteArray &body)
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write("#!/bin/sh\n" + body + "\n");
        f.close();
        return f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }

    bool installGateway() const
    {
        return writeScript(path(QStringLiteral("MainApp/Velmora")),
                           "echo \"started $0\" >> \"$VELMORA_TEST_GATEWAY_REPORT\"\nexec '"
                                   + testBinary("updates_fakegateway").toUtf8() + "'");
    }

    bool copyProgram(const QString &from, const QString &relative) const
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile::remove(path(relative));
        return QFile::copy(from, path(relative));
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_SYSTEM_DIR"), m_systemDir);
        env.insert(QStringLiteral("VELMORA_TEST_GATEWAY_REPORT"), m_report);
        env.insert(QStringLiteral("VELMORA_TEST_REGSVR32_LOG"), m_regsvr32Log);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    // Runs a program of the tree to its end; its exit code, or -1 when it crashed or hung.
    int run(const QString &relative, int timeoutMs = 30000) const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(path(relative), {});
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // As from a terminal with no display at all.
    static QProcessEnvironment withoutDisplay(QProcessEnvironment env)
    {
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QLatin1String(name));
        return env;
    }

    // Runs a program of the tree in env; its exit code (-1 when it crashed or hung) and stderr.
    int run(const QString &relative, const QProcessEnvironment &env, QByteArray *errors) const
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(path(relative), {});
        const bool ended = process.waitForFinished(30000);
        if (!ended) {
            process.kill();
            process.waitForFinished();
        }
        *errors = process.readAllStandardError();
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    static QStringList lines(const QString &file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList gatewayReport() const { return lines(m_report); }
    QStringList regsvr32Calls() const { return lines(m_regsvr32Log); }

    static QByteArray bytes(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private:
    QTemporaryDir m_dir;
    QString m_root;
    QString m_systemDir;
    QString m_report;
    QString m_regsvr32Log;
};
