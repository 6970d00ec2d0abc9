#include "db.h"
#include "demodata.h"
#include "passwords.h"
#include "settings.h"
#include "testinstall.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTest>

class TestDemo : public QObject {
    Q_OBJECT
private slots:
    void demoInstallationIsComplete()
    {
        TestInstall install(false);
        const QString folder = install.file("bin");
        QString error;
        QVERIFY2(MakeDemoInstallation(folder, &error), qPrintable(error));

        SetProgramFolder(folder);
        QCOMPARE(IniGetDatabaseFile(), folder + "/krv.db");
        QCOMPARE(IniGetSystemPath(), folder + "/Data/");
        gConn.open(IniGetDatabaseFile());

        // The system map and every tunnel picture exist and are pictures.
        const RowSet sys = gConn.query("SELECT SystemPicture FROM System");
        QCOMPARE(sys.count(), 1);
        QVERIFY(!QImageReader(folder + "/Data/" + sys.toText(0, "SystemPicture")).read().isNull());
        const RowSet tunnels = gConn.query("SELECT TunnelID, TunnelName, TunnelPicture FROM Tunnels");
        QVERIFY(tunnels.count() >= 4);
        for (int i = 0; i < tunnels.count(); ++i) {
            const QString picture =
                folder + "/Data/" + tunnels.toText(i, "TunnelName") + "/" + tunnels.toText(i, "TunnelPicture");
            const QImage image = QImageReader(picture).read();
            QVERIFY2(!image.isNull(), qPrintable(picture));
            const qint64 id = tunnels.toInt64(i, "TunnelID");
            QVERIFY(gConn.scalar("SELECT count(*) FROM TunnelCoord WHERE TunnelID = ?", {id}).toInt() >= 3);
            // Every panel outline lies on its picture (twips of the picture at 100 %).
            const RowSet bounds = gConn.query(
                "SELECT max(PanelX) AS MaxX, max(PanelY) AS MaxY, count(DISTINCT c.PanelID) AS N FROM PanelCoord c "
                "JOIN Panels p ON p.PanelID = c.PanelID WHERE p.TunnelID = ?",
                {id});
            QVERIFY(bounds.toInt(0, "N") > 0);
            QVERIFY(bounds.toInt(0, "MaxX") <= image.width() * 15);
            QVERIFY(bounds.toInt(0, "MaxY") <= image.height() * 15);
        }
        QVERIFY(gConn.scalar("SELECT count(*) FROM PanelElements").toInt() > 0);
        QVERIFY(gConn.scalar("SELECT count(*) FROM ElementCategory").toInt() >= 3);
        QVERIFY(gConn.scalar("SELECT count(DISTINCT InspectionYear) FROM InspectionPeriod").toInt() >= 2);
        // Posted years have their posted copies; the latest year waits to be posted.
        QCOMPARE(gConn.scalar("SELECT count(*) FROM Ratings WHERE Posted").toInt(),
                 gConn.scalar("SELECT count(*) FROM RatingsPosted").toInt());
        QVERIFY(gConn.scalar("SELECT count(*) FROM Ratings WHERE not Posted").toInt() > 0);
        const RowSet photos = gConn.query(
            "SELECT t.TunnelName, i.InspectionYear, p.ImagePath, p.FieldSketch FROM ImagePaths p "
            "JOIN InspectionPeriod i ON i.InspectionID = p.InspectionID JOIN Tunnels t ON t.TunnelID = i.TunnelID");
        QVERIFY(photos.count() > 0);
        for (int i = 0; i < photos.count(); ++i) {
            const QString file = QString("%1/Data/%2/%3/%4/%5")
                                     .arg(folder, photos.toText(i, "TunnelName"))
                                     .arg(photos.toInt(i, "InspectionYear"))
                                     .arg(photos.toBool(i, "FieldSketch") ? "sketch" : "photo",
                                          photos.toText(i, "ImagePath"));
            QVERIFY2(QFile::exists(file), qPrintable(file));
        }

        // Users: hashes only, and the README's passwords work.
        const RowSet users = gConn.query("SELECT Username, Password, Wizard, DataEntry FROM login ORDER BY Wizard DESC");
        QCOMPARE(users.count(), 2);
        for (int i = 0; i < users.count(); ++i) {
            const DemoUser& u = kDemoUsers[i];
            QCOMPARE(users.toText(i, "Username"), QString(u.name));
            QVERIFY(users.toText(i, "Password") != QString(u.password));
            QVERIFY(VerifyPassword(users.toText(i, "Password"), u.password));
            QVERIFY(!VerifyPassword(users.toText(i, "Password"), "wrong"));
            QCOMPARE(users.toBool(i, "Wizard"), u.wizard);
        }
        gConn.close();

        // A second run leaves the installation alone.
        const QByteArray before = install.read("bin/krv.db");
        QVERIFY(!MakeDemoInstallation(folder, &error));
        QVERIFY(error.contains("already exists"));
        QCOMPARE(install.read("bin/krv.db"), before);
    }

    // krv.ini names the demo's files relative to its folder, so the folder still works after
    // it is moved: every path read from the moved folder is an existing file there.
    void aMovedDemoFolderFindsItsFiles()
    {
        TestInstall install(false);
        const QString folder = install.file("krv-office");
        QString error;
        QVERIFY2(MakeDemoInstallation(folder, &error), qPrintable(error));
        QVERIFY(!install.read("krv-office/krv.ini").contains(install.folder().toUtf8()));
        const QString moved = install.file("krv-office-moved");
        QVERIFY(QDir().rename(folder, moved));

        SetProgramFolder(moved);
        QCOMPARE(IniGetDatabaseFile(), moved + "/krv.db");
        QCOMPARE(IniGetReportRatingsFile(), moved + "/ReportData.db");
        QCOMPARE(IniGetSystemPath(), moved + "/Data/");
        QCOMPARE(TunnelDatabaseState(IniGetDatabaseFile()), DbFileState::TunnelDatabase);
        QVERIFY(QFileInfo(IniGetReportRatingsFile()).isFile());
        gConn.open(IniGetDatabaseFile());
        const QString map = IniGetSystemPath() + gConn.query("SELECT SystemPicture FROM System").toText(0, "SystemPicture");
        gConn.close();
        QVERIFY2(!QImageReader(map).read().isNull(), qPrintable(map));
    }
};

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
