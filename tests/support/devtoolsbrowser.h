#pragma once

// Headless Chromium driven over the DevTools protocol from a test, on the test's own event loop
// (the gateway's server may run on it too):
//
//   DevToolsBrowser browser;
//   QVERIFY2(browser.start(), qPrintable(browser.errorString()));
//   browser.navigate("http://127.0.0.1:8080/console");
//   QVERIFY(browser.waitFor("document.querySelectorAll('tr').length > 2"));
//
// The page's dialogs are accepted as an operator would, and every URL the page asks for is kept
// (requests()) so a test can tell that it reached nothing but its own server.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>
#include <unistd.h>

class DevToolsBrowser
{
public:
    DevToolsBrowser() = default;
    ~DevToolsBrowser() { stop(); }
    DevToolsBrowser(const DevToolsBrowser &) = delete;
    DevToolsBrowser &operator=(const DevToolsBrowser &) = delete;

    static QString program() { return QStandardPaths::findExecutable(QStringLiteral("chromium")); }

    // Starts the browser with a page of width x height and attaches to that page.
    bool start(int width = 1280, int height = 900)
    {
        QStringList args{QStringLiteral("--headless=new"),
                         QStringLiteral("--remote-debugging-port=0"),
                         QStringLiteral("--user-data-dir=") + m_profile.path(),
                         QStringLiteral("--no-first-run"),
                         QStringLiteral("--disable-gpu"),
                         QStringLiteral("--disable-background-networking"),
                         QStringLiteral("--disable-component-update"),
                         QStringLiteral("--disable-sync"),
                         QStringLiteral("--window-size=%1,%2").arg(width).arg(height)};
        // Chromium's sandbox refuses to run as root, which the test containers are.
        if (::geteuid() == 0)
            args << QStringLiteral("--no-sandbox");
        args << QStringLiteral("about:blank");
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(program(), args);
        if (!m_process.waitForStarted(10000))
            return fail(QStringLiteral("chromium did not start: ") + m_process.errorString());
        const QString portFile = m_profile.path() + QStringLiteral("/DevToolsActivePort");
        const QDeadlineTimer deadline(30000);
        QStringList lines;
        while (lines.size() < 2 && !deadline.hasExpired()) {
            QTest::qWait(100);
            QFile file(portFile);
            if (file.open(QIODevice::ReadOnly))
                lines = QString::fromLatin1(file.readAll())
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }
        if (lines.size() < 2)
            return fail(QStringLiteral("no DevToolsActivePort"));
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, &m_socket,
                         [this](const QString &text) { received(text); });
        m_socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(lines.at(0), lines.at(1))));
        if (!QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; },
                             10000))
            return fail(QStringLiteral("DevTools socket: ") + m_socket.errorString());
        const QJsonObject target =
                command(QStringLiteral("Target.createTarget"),
                        {{QStringLiteral("url"), QStringLiteral("about:blank")}}, false);
        const QJsonObject attached =
                command(QStringLiteral("Target.attachToTarget"),
                        {{QStringLiteral("targetId"), target.value(QLatin1String("targetId"))},
                         {QStringLiteral("flatten"), true}},
                        false);
        m_session = attached.value(QLatin1String("sessionId")).toString();
        if (m_session.isEmpty())
            return fail(QStringLiteral("no page session"));
        command(QStringLiteral("Page.enable"));
        command(QStringLiteral("Network.enable"));
        resize(width, height);
        return true;
    }

    // The page's viewport as a screen of this size shows it; below 600 px as a phone's.
    void resize(int width, int height)
    {
        command(QStringLiteral("Emulation.setDeviceMetricsOverride"),
                {{QStringLiteral("width"), width},
                 {QStringLiteral("height"), height},
                 {QStringLiteral("deviceScaleFactor"), 1},
                 {QStringLiteral("mobile"), width < 600}});
    }

    void stop()
    {
        m_socket.abort();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    // Sends a command and turns the event loop until its answer; the result, or an empty
    // object after 15 s or an error (errorString() says which).
    QJsonObject command(const QString &method, const QJsonObject &params = {}, bool page = true)
    {
        const int id = ++m_lastId;
        QJsonObject message{{QStringLiteral("id"), id},
                            {QStringLiteral("method"), method},
                            {QStringLiteral("params"), params}};
        if (page)
            message.insert(QStringLiteral("sessionId"), m_session);
        m_socket.sendTextMessage(
                QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
        if (!QTest::qWaitFor([this, id] { return m_answers.contains(id); }, 15000))
            m_error = method + QStringLiteral(": no answer");
        const QJsonObject answer = m_answers.take(id);
        if (answer.contains(QLatin1String("error")))
            m_error = method + QLatin1Char(' ')
                    + QString::fromUtf8(
                              QJsonDocument(answer.value(QLatin1String("error")).toObject())
                                      .toJson());
        return answer.value(QLatin1String("result")).toObject();
    }

    void navigate(const QString &url)
    {
        command(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}});
    }

    // The value of a JavaScript expression in the page (promises awaited).
    QVariant evaluate(const QString &expression)
    {
        const QJsonObject r = command(QStringLiteral("Runtime.evaluate"),
                                      {{QStringLiteral("expression"), expression},
                                       {QStringLiteral("returnByValue"), true},
                                       {QStringLiteral("awaitPromise"), true}});
        return r.value(QLatin1String("result"))
                .toObject()
                .value(QLatin1String("value"))
                .toVariant();
    }

    // Polls the expression in the page until it is true, at most timeoutMs.
    bool waitFor(const QString &expression, int timeoutMs = 20000)
    {
        return QTest::qWaitFor([&] { return evaluate(expression).toBool(); }, timeoutMs);
    }

    QByteArray screenshot()
    {
        const QJsonObject r = command(QStringLiteral("Page.captureScreenshot"),
                                      {{QStringLiteral("captureBeyondViewport"), true}});
        return QByteArray::fromBase64(r.value(QLatin1String("data")).toString().toLatin1());
    }

    const QStringList &requests() const { return m_requests; }
    const QString &errorString() const { return m_error; }

private:
    void received(const QString &text)
    {
        const QJsonObject m = QJsonDocument::fromJson(text.toUtf8()).object();
        if (m.contains(QLatin1String("id"))) {
            m_answers.insert(m.value(QLatin1String("id")).toInt(), m);
            return;
        }
        const QString method = m.value(QLatin1String("method")).toString();
        const QJsonObject params = m.value(QLatin1String("params")).toObject();
        if (method == QLatin1String("Network.requestWillBeSent")) {
            m_requests << params.value(QLatin1String("request"))
                                  .toObject()
                                  .value(QLatin1String("url"))
                                  .toString();
        } else if (method == QLatin1String("Network.webSocketCreated")) {
            m_requests << params.value(QLatin1String("url")).toString();
        } else if (method == QLatin1String("Page.javascriptDialogOpening")) {
            // Not waited for: the dialog holds the page until it is answered.
            const QJsonObject accept{
                    {QStringLiteral("id"), ++m_lastId},
                    {QStringLiteral("method"), QStringLiteral("Page.handleJavaScriptDialog")},
                    {QStringLiteral("params"), QJsonObject{{QStringLiteral("accept"), true}}},
                    {QStringLiteral("sessionId"), m_session}};
            m_socket.sendTextMessage(
                    QString::fromUtf8(QJsonDocument(accept).toJson(QJsonDocument::Compact)));
        }
    }

    bool fail(const QString &why)
    {
        m_error = why;
        return false;
    }

    QTemporaryDir m_profile;
    QProcess m_process;
    QWebSocket m_socket;
    QString m_session;
    int m_lastId = 0;
    QHash<int, QJsonObject> m_answers;
    QStringList m_requests;
    QString m_error;
};
