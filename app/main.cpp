#include "db.h"
#include "globals.h"
#include "modkrv.h"
#include "settings.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KRV"));
    QApplication::setApplicationVersion(QStringLiteral("2.1.5"));
    gDbPath = IniGetDatabaseFile();
    gDbFolder = GetFolderPart(gDbPath);
    try {
        gConn.open(gDbPath);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Unable to launch KRV."), QStringLiteral("KRV"), e);
        return 1;
    }
    QLabel window(QStringLiteral("Tunnel database: %1").arg(gDbPath));
    window.setWindowTitle(QStringLiteral("KRV"));
    window.show();
    return app.exec();
}
