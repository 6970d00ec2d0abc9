#include "testinstall.h"

#include "db.h"
#include "forms.h"
#include "globals.h"
#include "schema.h"
#include "settings.h"

#include <QFile>
#include <QSettings>
#include <QTest>

TestInstall::TestInstall(bool withDatabase)
{
    QVERIFY2(m_dir.isValid(), "no temporary folder");
    SetProgramFolder(m_dir.path());
    // Window placement of the test goes into the temporary folder, never the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("settings")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("settings")));
    ResetGlobals();
    ResetProgramEnding();
    gConn.close();
    if (withDatabase) {
        QString error;
        if (!CreateTunnelDatabase(dbPath(), &error))
            qFatal("test database: %s", qPrintable(error));
        gConn.open(dbPath());
        gDbPath = dbPath();
        gDbFolder = m_dir.path() + QLatin1Char('/');
    }
}

TestInstall::~TestInstall()
{
    gConn.close();
    gReportConn.close();
    for (QWidget* w : LoadedForms()) {
        UnregisterForm(w);
        delete w;
    }
    SetProgramFolder(QString());
}

QByteArray TestInstall::read(const QString& name) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void TestInstall::write(const QString& name, const QByteArray& data) const
{
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
}
