#include "failurenotice.h"

#include "contact.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

namespace FailureNotice {

void chooseDisplay()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

bool hasDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && !platform.startsWith(QLatin1String("minimal"));
}

void report(const QString &program, const QString &text, bool showBox)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(program), qPrintable(text));
    std::fflush(stderr);
    if (showBox)
        QMessageBox::critical(nullptr, QString::fromUtf8(Contact::ProductTitle), text,
                              QMessageBox::Ok);
}

} // namespace FailureNotice
