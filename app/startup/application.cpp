#include "application.h"

#include "startup.h"

#include <QApplication>

void PrepareApplication()
{
    QApplication::setOrganizationName(QStringLiteral("Quillmar Inc."));
    QApplication::setApplicationName(QStringLiteral("KRV"));
    QApplication::setApplicationVersion(kProgramVersion);
    // The program ends when its last window unloads, hidden ones included, not when the
    // last visible one closes (the user manager hides itself while the logon runs).
    QApplication::setQuitOnLastWindowClosed(false);
}
