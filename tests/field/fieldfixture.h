#pragma once
// A small tunnel installation for the field tests: a master database with two tunnels, one
// inspection year each, panels, elements, ratings, a defect and photos in the year folders,
// and a krv.ini whose data path is the installation's Data folder.
#include "db.h"
#include "dbdefects.h"
#include "dbinspection.h"
#include "fixtures.h"
#include "globals.h"
#include "modkrv.h"
#include "settings.h"
#include "testinstall.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTest>

namespace fieldtest {

const QDateTime kPhotoTime = QDateTime(QDate(2024, 4, 2), QTime(10, 0, 0));

inline void writeFile(const QString& path, const QByteArray& data, const QDateTime& modified = kPhotoTime)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
    QVERIFY(f.flush());
    QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
}

// Every file under root: relative path, then size, checksum and modification second.
inline QMap<QString, QString> tree(const QString& root)
{
    QMap<QString, QString> out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QFileInfo fi(path);
        out.insert(QDir(root).relativeFilePath(path),
                   QStringLiteral("%1 %2 %3")
                       .arg(fi.size())
                       .arg(QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5).toHex()))
                       .arg(fi.lastModified().toSecsSinceEpoch()));
    }
    return out;
}

struct Master {
    TestInstall install;
    QString data = install.file(QStringLiteral("Data"));
    qint32 north = 0, south = 0;
    qint32 northYear = 0, southYear = 0;
    QVector<qint32> northPanels, southPanels;

    Master()
    {
        install.write(QStringLiteral("krv.ini"),
                      QStringLiteral("[KRV]\nDatabaseFile=%1\nSystemPath=%2/\n").arg(install.dbPath(), data).toUtf8());
        FixtureSystem(QStringLiteral("Harbour Line"));
        north = FixtureTunnel(QStringLiteral("North"));
        south = FixtureTunnel(QStringLiteral("South"));
        FixtureElement(1, QStringLiteral("Lining"));
        FixtureElement(2, QStringLiteral("Drainage"));
        northYear = FixturePeriod(north, 2024);
        southYear = FixturePeriod(south, 2024);
        for (int i = 1; i <= 2; ++i) {
            northPanels << panel(north, i);
            southPanels << panel(south, i);
        }
        for (qint32 p : northPanels + southPanels)
            for (qint32 e : {1, 2})
                gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (?, ?)"), {p, e});
        for (qint32 p : northPanels)
            for (qint32 e : {1, 2})
                DbSaveRating(northYear, p, e, QStringLiteral("7"));
        DbAddDefectQuantity(northPanels[0], northYear, QStringLiteral("Spalling"), 2, QStringLiteral("m2"), 50, 100);
        for (qint32 t : {north, south})
            for (const char* kind : {"photo", "sketch", "video"})
                QDir().mkpath(data + (t == north ? "/North/2024/" : "/South/2024/") + kind);
        writeFile(data + "/North/2024/photo/crack.jpg", "crack");
        FixturePicture(northPanels[0], 1, northYear, QStringLiteral("crack.jpg"), false);
        writeFile(data + "/South/2024/photo/portal.jpg", "portal");
        FixturePicture(southPanels[0], 1, southYear, QStringLiteral("portal.jpg"), false);
    }

    static qint32 panel(qint32 tunnel, int number)
    {
        return qint32(gConn.insertAutoNumber(QStringLiteral("Panels"),
                                             {{QStringLiteral("TunnelID"), tunnel},
                                              {QStringLiteral("PanelNum"), number},
                                              {QStringLiteral("PanelName"), QStringLiteral("P%1").arg(number)}}));
    }

    // The program works on the master again.
    void activate()
    {
        SetProgramFolder(install.folder());
        gConn.open(install.dbPath());
        gDbPath = install.dbPath();
    }
};

// A data-collector installation on the field computer: its own program folder, whose
// krv.ini names the replica as the database and the replica's folder as the data path.
struct FieldComputer {
    QTemporaryDir program;
    QString replica;

    explicit FieldComputer(const QString& replicaPath) : replica(replicaPath)
    {
        QFile ini(program.filePath(QStringLiteral("krv.ini")));
        if (ini.open(QIODevice::WriteOnly))
            ini.write(QStringLiteral("[KRV]\nDatabaseFile=%1\nSystemPath=%2\nDataCollector=Yes\n")
                          .arg(replica, GetFolderPart(replica))
                          .toUtf8());
    }

    void activate()
    {
        SetProgramFolder(program.path());
        gConn.open(IniGetDatabaseFile());
        gDbPath = IniGetDatabaseFile();
    }
};

}  // namespace fieldtest
