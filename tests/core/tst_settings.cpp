#include "savefile.h"
#include "settings.h"
#include "testinstall.h"
#include "uihelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace {

// Lets folder permissions bind for the life of the guard, also when the test runs as root
// (the permission overrides are taken out of the thread's effective set and put back after).
class PermissionsBind {
public:
    PermissionsBind()
    {
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, m_saved, sizeof reduced);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            reduced[cap / 32].effective &= ~(1u << (cap % 32));
        m_changed = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~PermissionsBind()
    {
        if (m_changed)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    PermissionsBind(const PermissionsBind&) = delete;
    PermissionsBind& operator=(const PermissionsBind&) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_changed = false;
};

ino_t inodeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void init() { m_install = std::make_unique<TestInstall>(false); }
    void cleanup() { m_install.reset(); }

    void defaultsWithoutIni()
    {
        const QString folder = m_install->folder();
        QCOMPARE(IniGetDatabaseFile(), folder + "/krv.db");
        QCOMPARE(IniGetReportRatingsFile(), folder + "/ReportData.db");
        QCOMPARE(IniGetSystemPath(), folder + "/Data/");
        QCOMPARE(IniIsDataCollector(), false);
        QCOMPARE(IniProblem(), QString());
    }

    void handEditedValuesReadBackExactly_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("spaces") << QByteArray("DatabaseFile = /srv/tunnel data/my krv.db  ") << "/srv/tunnel data/my krv.db";
        QTest::newRow("commas") << QByteArray("DatabaseFile=/srv/a,b,c/krv.db") << "/srv/a,b,c/krv.db";
        QTest::newRow("backslashes") << QByteArray("DatabaseFile=C:\\Program Files\\Quorrel\\krv.db")
                                     << "C:\\Program Files\\Quorrel\\krv.db";
        QTest::newRow("percent and hash") << QByteArray("DatabaseFile=/x/100%;#1.db") << "/x/100%;#1.db";
        QTest::newRow("key in other case") << QByteArray("databasefile=/a.db") << "/a.db";
        QTest::newRow("quoted") << QByteArray("DatabaseFile=\"/with quotes.db\"") << "/with quotes.db";
        QTest::newRow("empty") << QByteArray("DatabaseFile=") << "";
        QTest::newRow("longer than 255 characters, whole") << "DatabaseFile=/" + QByteArray(300, 'x') + "/krv.db"
                                                           << "/" + QString(300, 'x') + "/krv.db";
    }
    void handEditedValuesReadBackExactly()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        m_install->write("krv.ini", "; installation\r\n[Other]\r\nDatabaseFile=wrong\r\n[krv]\r\n" + line + "\r\n");
        QCOMPARE(IniGetDatabaseFile(), expected);
    }

    void writeChangesOnlyItsOwnLine()
    {
        const QByteArray before = "; comment kept\r\n[KRV]\r\nSystemPath = D:\\Media, old\\\r\nDatabaseFile=/old.db\r\n"
                                  "DataCollector=Yes\r\n\r\n[Other]\r\nKey=Value\r\n";
        m_install->write("krv.ini", before);
        QVERIFY(IniSetDatabaseFile("/new place/krv, 2.db"));
        QByteArray expected = before;
        expected.replace("DatabaseFile=/old.db", "DatabaseFile=/new place/krv, 2.db");
        QCOMPARE(m_install->read("krv.ini"), expected);
        QCOMPARE(IniGetDatabaseFile(), QString("/new place/krv, 2.db"));
        QCOMPARE(IniGetSystemPath(), QString("D:\\Media, old\\"));
        QCOMPARE(IniIsDataCollector(), true);
    }

    // Lines the program does not write stay byte for byte: another encoding, mixed line
    // ends, a last line without one. A Latin-1 value reads as its characters.
    void writeKeepsEveryOtherLineByteForByte_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("Latin-1 path") << QByteArray("[KRV]\nSystemPath=/data/donn\xE9" "es/\nDatabaseFile=/old.db\n"
                                                    "; caf\xE9 \xFF\n")
                                      << QByteArray("[KRV]\nSystemPath=/data/donn\xE9" "es/\nDatabaseFile=/new.db\n"
                                                    "; caf\xE9 \xFF\n");
        QTest::newRow("mixed line ends, no last line end")
            << QByteArray("[KRV]\r\nSystemPath=/data/donn\xE9" "es/\nDatabaseFile=/old.db\r\n[Z]\r\nA=\xE9")
            << QByteArray("[KRV]\r\nSystemPath=/data/donn\xE9" "es/\nDatabaseFile=/new.db\r\n[Z]\r\nA=\xE9");
        QTest::newRow("added after a last line without its end")
            << QByteArray("[KRV]\r\nSystemPath=/data/donn\xE9" "es/")
            << QByteArray("[KRV]\r\nSystemPath=/data/donn\xE9" "es/\r\nDatabaseFile=/new.db\r\n");
        QTest::newRow("UTF-8 with a byte order mark")
            << QByteArray("\xEF\xBB\xBF[KRV]\nSystemPath=/data/donn\xC3\xA9" "es/\nDatabaseFile=/old.db\n")
            << QByteArray("\xEF\xBB\xBF[KRV]\nSystemPath=/data/donn\xC3\xA9" "es/\nDatabaseFile=/new.db\n");
    }
    void writeKeepsEveryOtherLineByteForByte()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, expected);
        m_install->write("krv.ini", before);
        QVERIFY(IniSetDatabaseFile("/new.db"));
        QCOMPARE(m_install->read("krv.ini"), expected);
        QCOMPARE(IniGetDatabaseFile(), QString("/new.db"));
        QCOMPARE(IniGetSystemPath(), QString::fromUtf8("/data/donn\xC3\xA9" "es/"));
    }

    void writeMakesFileAndSectionWhenMissing()
    {
        QVERIFY(IniSetDatabaseFile("/a/krv.db"));
        QCOMPARE(m_install->read("krv.ini"), QByteArray("[KRV]\nDatabaseFile=/a/krv.db\n"));
        m_install->write("krv.ini", "[Other]\nA=1\n");
        QVERIFY(IniSetDatabaseFile("/b.db"));
        QCOMPARE(m_install->read("krv.ini"), QByteArray("[Other]\nA=1\n\n[KRV]\nDatabaseFile=/b.db\n"));
        // A key missing from an existing section goes at the section's end.
        m_install->write("krv.ini", "[KRV]\nSystemPath=/m\n\n[Z]\nB=2\n");
        QVERIFY(IniSetDatabaseFile("/c.db"));
        QCOMPARE(m_install->read("krv.ini"), QByteArray("[KRV]\nSystemPath=/m\nDatabaseFile=/c.db\n\n[Z]\nB=2\n"));
    }

    void otherKeysFollowTheirRules_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("systemPath");
        QTest::addColumn<bool>("collector");
        QTest::newRow("no trailing separator") << QByteArray("[KRV]\nSystemPath=/media/krv\n") << "/media/krv/" << false;
        QTest::newRow("backslash kept") << QByteArray("[KRV]\nSystemPath=D:\\krv\\\n") << "D:\\krv\\" << false;
        QTest::newRow("yes in lower case is no") << QByteArray("[KRV]\nSystemPath=/m/\nDataCollector=yes\n") << "/m/" << false;
        QTest::newRow("Yes") << QByteArray("[KRV]\nSystemPath=/m/\nDataCollector=Yes\n") << "/m/" << true;
    }
    void otherKeysFollowTheirRules()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, systemPath);
        QFETCH(bool, collector);
        m_install->write("krv.ini", ini);
        QCOMPARE(IniGetSystemPath(), systemPath);
        QCOMPARE(IniIsDataCollector(), collector);
    }

    void unreadableIniIsReportedAndNeverOverwritten()
    {
        // A folder where the file should be cannot be read as a file, whoever runs the test.
        QVERIFY(QDir(m_install->folder()).mkdir("krv.ini"));
        QVERIFY(!IniProblem().isEmpty());
        QCOMPARE(IniGetDatabaseFile(), m_install->folder() + "/krv.db");
        QString error;
        QVERIFY(!IniSetDatabaseFile("/x.db", &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(m_install->file("krv.ini")).isDir());
    }

    // An installed program's folder is read-only while krv.ini in it may be written: the
    // file is then written in place. A folder that takes files keeps the temporary file
    // and rename, and nothing is made in a read-only folder.
    void iniInReadOnlyFolder_isWrittenInPlace()
    {
        const QString folder = m_install->folder();
        const QString ini = m_install->file("krv.ini");
        m_install->write("krv.ini", "[KRV]\r\nDatabaseFile=/old.db\r\nSystemPath=/m/\r\n");
        const ino_t first = inodeOf(ini);
        QVERIFY(IniSetDatabaseFile("/renamed.db"));
        QVERIFY(inodeOf(ini) != first);  // a new file took the name

        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup
                                                  | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        QString error;
        bool written = false;
        bool madeNew = true;
        {
            PermissionsBind bind;
            QFile probe(folder + "/probe");
            if (probe.open(QIODevice::WriteOnly)) {
                probe.close();
                probe.remove();
                QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                QSKIP("the folder's permissions do not bind here");
            }
            const ino_t before = inodeOf(ini);
            written = IniSetDatabaseFile("/located/krv.db", &error);
            QCOMPARE(inodeOf(ini), before);
            // Without krv.ini, nothing can be made in the folder: a clear failure.
            madeNew = WriteIniString(folder + "/other.ini", "KRV", "DatabaseFile", "/x.db");
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(written, qPrintable(error));
        QCOMPARE(m_install->read("krv.ini"), QByteArray("[KRV]\r\nDatabaseFile=/located/krv.db\r\nSystemPath=/m/\r\n"));
        QCOMPARE(IniGetDatabaseFile(), QString("/located/krv.db"));
        QVERIFY(!madeNew);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"krv.ini"});
    }

    // A site links one shared krv.ini into the program folder, through a second link: a setting
    // lands in the shared file and reads back; both links stay links.
    void aSharedIniThroughLinksGetsTheSetting()
    {
        QTemporaryDir site;
        const QString shared = site.filePath("krv.ini");
        QFile f(shared);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[KRV]\nDatabaseFile=/old.db\n");
        f.close();
        QVERIFY(::symlink("krv.ini", QFile::encodeName(site.filePath("site.ini")).constData()) == 0);
        QVERIFY(::symlink(QFile::encodeName(site.filePath("site.ini")).constData(),
                          QFile::encodeName(m_install->file("krv.ini")).constData()) == 0);
        QString error;
        QVERIFY2(IniSetDatabaseFile("/located/krv.db", &error), qPrintable(error));
        QCOMPARE(IniGetDatabaseFile(), QString("/located/krv.db"));
        QFile back(shared);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), QByteArray("[KRV]\nDatabaseFile=/located/krv.db\n"));
        QVERIFY(QFileInfo(m_install->file("krv.ini")).isSymLink());
        QVERIFY(QFileInfo(site.filePath("site.ini")).isSymLink());
    }

    // A krv.ini its owner made read-only is not replaced, though its folder would let it be:
    // the reason says so and nothing changes. Judged by its permission bits, so also as root.
    void aReadOnlyIniIsNotReplaced()
    {
        const QByteArray before = "[KRV]\r\nDatabaseFile=/old.db\r\n";
        m_install->write("krv.ini", before);
        const QString ini = m_install->file("krv.ini");
        QVERIFY(QFile::setPermissions(ini, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const ino_t first = inodeOf(ini);
        QString error;
        QVERIFY(!IniSetDatabaseFile("/located/krv.db", &error));
        QCOMPARE(error, "The file " + ini + " could not be written: krv.ini is read-only.");
        QCOMPARE(m_install->read("krv.ini"), before);
        QCOMPARE(inodeOf(ini), first);
        QCOMPARE(QDir(m_install->folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"krv.ini"});
        QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner);
    }

    // A full disk (through the write seam) keeps krv.ini's old bytes, whether it is written
    // through a temporary file or in place in a read-only folder, and says which file and why.
    void iniOnAFullDiskKeepsItsOldBytes_data()
    {
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("through a temporary file") << false;
        QTest::newRow("in place in a read-only folder") << true;
    }
    void iniOnAFullDiskKeepsItsOldBytes()
    {
        QFETCH(bool, readOnlyFolder);
        const QString folder = m_install->folder();
        const QByteArray before = "[KRV]\r\nDatabaseFile=/old.db\r\nSystemPath=/m/\r\n";
        m_install->write("krv.ini", before);
        QString error;
        bool written = true;
        if (readOnlyFolder)
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        {
            PermissionsBind bind;
            if (readOnlyFolder && QFileInfo(folder).isWritable()) {
                QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                QSKIP("the folder's permissions do not bind here");
            }
            // Room for part of the new text only.
            WriteFault fault("krv.ini", 20);
            written = IniSetDatabaseFile("/a/much/longer/path/to/the/located/krv.db", &error);
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!written);
        QCOMPARE(error, "The file " + m_install->file("krv.ini") + " could not be written: the disk is full.");
        QCOMPARE(m_install->read("krv.ini"), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"krv.ini"});
    }

    // A relative path is taken from the program folder, not from the current folder; one written
    // on another system stays as written.
    void relativePathsAreTakenFromTheProgramFolder_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("underProgram");  // "" when the value stays as written
        QTest::newRow("a file name") << QByteArray("ReportData.db") << "ReportData.db";
        QTest::newRow("a subfolder") << QByteArray("field/KRV_Replica.db") << "field/KRV_Replica.db";
        QTest::newRow("dot and dot-dot") << QByteArray("./field/../field/x.db") << "field/x.db";
        QTest::newRow("absolute") << QByteArray("/srv/krv/x.db") << "";
        QTest::newRow("drive letter") << QByteArray("D:\\krv\\x.db") << "";
        QTest::newRow("network share") << QByteArray("\\\\server\\krv\\x.db") << "";
    }
    void relativePathsAreTakenFromTheProgramFolder()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, underProgram);
        QTemporaryDir elsewhere;
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        m_install->write("krv.ini", "[KRV]\nDatabaseFile=" + value + "\nReportRatingsFile=" + value + "\nSystemPath=" +
                                        value + "/\n");
        const QString expected = underProgram.isEmpty() ? QString::fromUtf8(value)
                                                        : m_install->folder() + "/" + underProgram;
        const QString database = IniGetDatabaseFile();
        const QString report = IniGetReportRatingsFile();
        const QString media = IniGetSystemPath();
        QDir::setCurrent(cwd);
        QCOMPARE(database, expected);
        QCOMPARE(report, expected);
        QCOMPARE(media, expected + "/");
    }

    // The program writes back only its own line: the user's relative lines stay as typed. A file
    // located in the program folder is stored relatively when krv.ini named the database so, and
    // the file krv.ini names already is no change at all.
    void writingBackKeepsTheRelativeText()
    {
        const QByteArray before = "[KRV]\r\nDatabaseFile=old.db\r\nReportRatingsFile=ReportData.db\r\n"
                                  "SystemPath=Data/\r\n";
        m_install->write("krv.ini", before);
        const ino_t first = inodeOf(m_install->file("krv.ini"));
        QVERIFY(IniSetDatabaseFile(m_install->file("old.db")));
        QCOMPARE(inodeOf(m_install->file("krv.ini")), first);  // not written again

        QVERIFY(IniSetDatabaseFile(m_install->file("field/located.db")));
        QByteArray expected = before;
        expected.replace("DatabaseFile=old.db", "DatabaseFile=field/located.db");
        QCOMPARE(m_install->read("krv.ini"), expected);
        QCOMPARE(IniGetDatabaseFile(), m_install->file("field/located.db"));

        QVERIFY(IniSetDatabaseFile("/elsewhere/krv.db"));
        expected.replace("DatabaseFile=field/located.db", "DatabaseFile=/elsewhere/krv.db");
        QCOMPARE(m_install->read("krv.ini"), expected);
        QCOMPARE(IniGetReportRatingsFile(), m_install->file("ReportData.db"));
        QCOMPARE(IniGetSystemPath(), m_install->file("Data/"));
    }

    void placementRoundTrip()
    {
        QWidget w;
        w.setObjectName("frmDataInput");
        w.resize(640, 480);
        // First opening: top-left corner, designed size.
        w.move(200, 100);
        RestoreFormPosition(&w);
        QCOMPARE(w.pos(), QPoint(0, 0));
        QCOMPARE(w.size(), QSize(640, 480));

        w.move(33, 44);
        w.resize(500, 300);
        SaveFormPosition(&w);
        QSettings reg("Quillmar Inc.", "KRV");
        QCOMPARE(reg.value("frmdatainput/Left").toString(), QString("495"));
        QCOMPARE(reg.value("frmdatainput/Width").toString(), QString("7500"));
        QCOMPARE(reg.value("frmdatainput/Max").toString(), QString("False"));

        QWidget again;
        again.setObjectName("frmDataInput");
        again.resize(10, 10);
        RestoreFormPosition(&again);
        QCOMPARE(again.pos(), QPoint(33, 44));
        QCOMPARE(again.size(), QSize(500, 300));

        // Closed maximized: the last normal placement stays and the window opens maximized.
        again.setWindowState(Qt::WindowMaximized);
        SaveFormPosition(&again);
        QCOMPARE(reg.value("frmdatainput/Max").toString(), QString("True"));
        QCOMPARE(reg.value("frmdatainput/Width").toString(), QString("7500"));
        QWidget third;
        third.setObjectName("frmDataInput");
        RestoreFormPosition(&third);
        QVERIFY(third.windowState() & Qt::WindowMaximized);

        // Closed minimized: placement kept, Max becomes False.
        third.setWindowState(Qt::WindowMinimized);
        SaveFormPosition(&third);
        QCOMPARE(reg.value("frmdatainput/Max").toString(), QString("False"));
        QCOMPARE(reg.value("frmdatainput/Left").toString(), QString("495"));
    }

    void placementValuesReadAsLeadingNumbers()
    {
        QSettings reg("Quillmar Inc.", "KRV");
        reg.setValue("frmexpense/Left", "1500 twips");
        reg.setValue("frmexpense/Top", "");
        reg.setValue("frmexpense/Width", "0");
        reg.setValue("frmexpense/Height", "3000.4");
        reg.sync();
        QWidget w;
        w.setObjectName("frmExpense");
        w.resize(321, 123);
        RestoreFormPosition(&w);
        QCOMPARE(w.pos(), QPoint(100, 0));
        QCOMPARE(w.size(), QSize(321, 200));
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
