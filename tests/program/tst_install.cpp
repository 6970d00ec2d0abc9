// `cmake --install` makes a program folder that is carried elsewhere: installed into one
// folder, moved to another (the build tree still there, so a path into it would hide the
// fault), it finds its libraries beside itself, starts as far as the logon from another
// working folder, and a report is built there with the field krv.ini the README's field step
// writes, whose relative paths are taken from the program folder.
#include "db.h"
#include "demodata.h"
#include "globals.h"
#include "modCreateReportRatings.h"
#include "scriptedprompt.h"
#include "settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString run(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return QStringLiteral("(did not finish)");
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromLocal8Bit(p.readAll());
}

// The field krv.ini as the README's field step writes it, for a field folder and a program
// folder where the user has them; without the ReportData.db line when asked.
QByteArray readmeIni(const QString& field, const QString& program, bool namesReportFile)
{
    QFile readme(QStringLiteral(KRV_SOURCE_DIR "/README.md"));
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(readme.readAll());
    const QString start = QStringLiteral("cat > ~/krv-fieldprog/krv.ini <<EOF\n");
    const qsizetype from = text.indexOf(start);
    if (from < 0)
        return {};
    const qsizetype to = text.indexOf(QStringLiteral("EOF\n"), from + start.size());
    QByteArray ini;
    for (QString line : text.mid(from + start.size(), to - from - start.size()).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || (!namesReportFile && line.startsWith(QLatin1String("ReportRatingsFile="))))
            continue;
        line.replace(QLatin1String("$HOME/krv-fieldprog"), program);
        line.replace(QLatin1String("$HOME/krv-field"), field);
        line.replace(QLatin1String("<date>"), QLatin1String("11_12_2026"));
        ini += line.toUtf8() + '\n';
    }
    return ini;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeIni(const QString& folder, const QByteArray& ini)
{
    QFile file(folder + QStringLiteral("/krv.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(ini);
}

bool holdsOpen(qint64 pid, const QString& file)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == file)
            return true;
    return false;
}

}  // namespace

class tst_install : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_folder;  // the installed program folder, moved
    QString m_demo;
    QString m_field;  // the field folder the README's krv.ini names

    // Writes the moved folder's krv.ini: as the README writes it ("readme"), without its
    // ReportData.db line ("no report line"), or with every path relative, the field folder
    // inside the program folder ("relative"). The database it names.
    QString writeFieldIni(const QString& kind)
    {
        if (kind != QLatin1String("relative")) {
            writeIni(m_folder, readmeIni(m_field, m_folder, kind == QLatin1String("readme")));
            return m_field + QStringLiteral("/KRV_Replica_11_12_2026.db");
        }
        const QString db = m_folder + QStringLiteral("/field/KRV_Replica_11_12_2026.db");
        if (!QFileInfo::exists(db)) {
            QDir().mkpath(m_folder + QStringLiteral("/field"));
            QFile::copy(m_field + QStringLiteral("/KRV_Replica_11_12_2026.db"), db);
        }
        writeIni(m_folder, "[KRV]\nDatabaseFile=field/KRV_Replica_11_12_2026.db\nSystemPath=field/\n"
                           "ReportRatingsFile=ReportData.db\nDataCollector=Yes\n");
        return db;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString installed = m_dir.filePath(QStringLiteral("installed"));
        int code = -1;
        const QString out = run(QStringLiteral(KRV_CMAKE_COMMAND),
                                {QStringLiteral("--install"), QStringLiteral(KRV_BUILD_DIR), QStringLiteral("--prefix"),
                                 installed},
                                &code);
        QVERIFY2(code == 0, qPrintable(out));
        // Carried elsewhere, one level deeper, under another name.
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("laptop/programs"))));
        m_folder = m_dir.filePath(QStringLiteral("laptop/programs/krv-field"));
        QVERIFY(QDir().rename(installed, m_folder));
        m_demo = m_dir.filePath(QStringLiteral("demo"));
        QString error;
        QVERIFY2(MakeDemoInstallation(m_demo, &error), qPrintable(error));
        // The field folder: the media tree with the database under the replica's name.
        m_field = m_demo + QStringLiteral("/Data");
        QVERIFY(QFile::copy(m_demo + QStringLiteral("/krv.db"), m_field + QStringLiteral("/KRV_Replica_11_12_2026.db")));
        const QByteArray ini = readmeIni(m_field, m_folder, true);
        QVERIFY2(ini.contains("ReportRatingsFile=ReportData.db\n"), ini.constData());
        QVERIFY2(ini.contains("DatabaseFile=" + m_field.toUtf8() + "/KRV_Replica_11_12_2026.db\n"), ini.constData());
    }

    void theFolderHoldsWhatTheProgramNeeds()
    {
        for (const char* name : {"krv", "help.html", "ReportData.db", "lib/libZVImaging.so.1", "lib/libVarnock.so.1"})
            QVERIFY2(QFileInfo(m_folder + QLatin1Char('/') + QLatin1String(name)).isFile(), name);
        QVERIFY(QFileInfo(m_folder + QStringLiteral("/krv")).isExecutable());
        // The report working database is a real one, empty.
        Connection report(QStringLiteral("installed-report"));
        report.open(m_folder + QStringLiteral("/ReportData.db"), true);
        QCOMPARE(report.query(QStringLiteral("SELECT count(*) FROM ReportRatings")).value(0, 0).toInt(), 0);
    }

    // Each binary finds what it links relative to itself: no search path names a fixed folder,
    // and the two libraries resolve inside the moved folder.
    void theLibrariesAreFoundBesideTheProgram_data()
    {
        QTest::addColumn<QString>("binary");
        QTest::newRow("krv") << QStringLiteral("krv");
        QTest::newRow("ZVImaging") << QStringLiteral("lib/libZVImaging.so.1");
        QTest::newRow("Varnock") << QStringLiteral("lib/libVarnock.so.1");
    }
    void theLibrariesAreFoundBesideTheProgram()
    {
        QFETCH(QString, binary);
        const QString path = m_folder + QLatin1Char('/') + binary;
        const QString dynamic = run(QStringLiteral("readelf"), {QStringLiteral("-d"), path});
        for (const QString& line : dynamic.split(QLatin1Char('\n'))) {
            if (!line.contains(QLatin1String("RPATH")) && !line.contains(QLatin1String("RUNPATH")))
                continue;
            const QString list = line.section(QLatin1Char('['), 1).section(QLatin1Char(']'), 0, 0);
            for (const QString& entry : list.split(QLatin1Char(':')))
                QVERIFY2(entry.startsWith(QLatin1String("$ORIGIN")), qPrintable(line));
        }
        const QString ldd = run(QStringLiteral("ldd"), {path});
        QVERIFY2(!ldd.contains(QLatin1String("not found")), qPrintable(ldd));
        const QString libs = QFileInfo(m_folder + QStringLiteral("/lib")).canonicalFilePath();
        if (binary == QLatin1String("krv"))
            for (const char* lib : {"libZVImaging.so.1 => ", "libVarnock.so.1 => "}) {
                const QString found = ldd.section(QLatin1String(lib), 1).section(QLatin1Char(' '), 0, 0);
                QCOMPARE(QFileInfo(found).canonicalPath(), libs);
            }
    }

    // Started from another working folder with no library path of its own, the moved program
    // checks and opens the tunnel database its krv.ini names (relatively: in the program folder)
    // and waits at the logon: no error logged.
    void theMovedProgramStarts_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::newRow("the README's krv.ini") << "readme";
        QTest::newRow("every path relative") << "relative";
    }
    void theMovedProgramStarts()
    {
        QFETCH(QString, ini);
        const QString database = writeFieldIni(ini);
        QVERIFY(QFileInfo::exists(database));
        QProcess krv;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("LD_LIBRARY_PATH"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        krv.setProcessEnvironment(env);
        krv.setWorkingDirectory(m_dir.path());
        krv.start(m_folder + QStringLiteral("/krv"));
        QVERIFY(krv.waitForStarted());
        const QString db = QFileInfo(database).canonicalFilePath();
        QTRY_VERIFY_WITH_TIMEOUT(krv.state() != QProcess::Running || holdsOpen(krv.processId(), db), 20000);
        QVERIFY2(krv.state() == QProcess::Running, krv.readAllStandardError().constData());
        QTest::qWait(500);
        QCOMPARE(krv.state(), QProcess::Running);
        QVERIFY2(!QFileInfo::exists(m_folder + QStringLiteral("/err.log")),
                 qPrintable(QString::fromUtf8([&] {
                     QFile log(m_folder + QStringLiteral("/err.log"));
                     return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
                 }())));
        krv.kill();
        krv.waitForFinished();
    }

    // The element condition report is built and its working database compacted afterwards,
    // in the moved folder, whether krv.ini names the working database relatively (as the README
    // writes it), leaves it beside the program, or names every path relatively (the field
    // folder inside the program folder). The program runs from another working folder, which
    // holds a ReportData.db of its own that is no database: relative paths never reach it.
    void aReportIsBuiltInTheMovedFolder_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::newRow("krv.ini names ReportData.db relatively, as the README writes it") << "readme";
        QTest::newRow("ReportData.db beside the program") << "no report line";
        QTest::newRow("every path relative") << "relative";
    }
    void aReportIsBuiltInTheMovedFolder()
    {
        QFETCH(QString, ini);
        ScriptedPrompt prompt;
        QVERIFY(QFileInfo::exists(writeFieldIni(ini)));
        const QByteArray iniBytes = readFile(m_folder + QStringLiteral("/krv.ini"));
        const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        writeIni(elsewhere, "not krv's");
        QFile decoy(elsewhere + QStringLiteral("/ReportData.db"));
        QVERIFY(decoy.open(QIODevice::WriteOnly | QIODevice::Truncate));
        decoy.write("Minutes of the meeting, not a database.\n");
        decoy.close();
        const QByteArray decoyIni = readFile(elsewhere + QStringLiteral("/krv.ini"));
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(elsewhere));
        auto back = qScopeGuard([&] { QDir::setCurrent(cwd); });

        SetProgramFolder(m_folder);
        QCOMPARE(QFileInfo(IniGetReportRatingsFile()).canonicalFilePath(),
                 QFileInfo(m_folder + QStringLiteral("/ReportData.db")).canonicalFilePath());
        gConn.open(IniGetDatabaseFile());
        ReportRatingsSelection selection;
        const RowSet tunnels = gConn.query(QStringLiteral("SELECT TunnelID FROM Tunnels"));
        for (int r = 0; r < tunnels.count(); ++r)
            selection.tunnelIDs << tunnels.toInt(r, "TunnelID");
        selection.period1 = QStringLiteral("2024");
        const RowSet elements = gConn.query(QStringLiteral("SELECT ElementID FROM AvailableElements"));
        for (int r = 0; r < elements.count(); ++r)
            selection.elements.append({elements.toInt(r, "ElementID"), true, QString(), QString()});
        QVERIFY(!selection.tunnelIDs.isEmpty());
        QVERIFY(!selection.elements.isEmpty());

        QVERIFY(CreateReportRatings(selection));
        QVERIFY(gReportConn.query(QStringLiteral("SELECT count(*) FROM ReportRatings")).value(0, 0).toInt() > 0);
        ClearReportDatabase(QStringLiteral("tst_install"));
        QCOMPARE(prompt.messages(), QStringList());
        QVERIFY(!QFileInfo::exists(m_folder + QStringLiteral("/err.log")));
        gConn.close();
        // Nothing was made in the working folder, and krv.ini keeps the user's text.
        QStringList there = QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        there.sort();
        QCOMPARE(there, (QStringList{QStringLiteral("ReportData.db"), QStringLiteral("krv.ini")}));
        QCOMPARE(readFile(elsewhere + QStringLiteral("/krv.ini")), decoyIni);
        QCOMPARE(readFile(m_folder + QStringLiteral("/krv.ini")), iniBytes);
    }

    // The locate dialog's choice written back into the field krv.ini: its own line only, the
    // user's relative ReportData.db kept as typed.
    void theWrittenBackIniKeepsTheRelativeText()
    {
        ScriptedPrompt prompt;
        const QByteArray ini = readmeIni(m_field, m_folder, true);
        writeIni(m_folder, ini);
        SetProgramFolder(m_folder);
        const QString moved = m_dir.filePath(QStringLiteral("stick/KRV_Replica_11_12_2026.db"));
        QVERIFY(QDir().mkpath(QFileInfo(moved).absolutePath()));
        QFile::remove(moved);
        QVERIFY(QFile::copy(m_field + QStringLiteral("/KRV_Replica_11_12_2026.db"), moved));
        QString error;
        QVERIFY2(IniSetDatabaseFile(moved, &error), qPrintable(error));
        QByteArray expected = ini;
        expected.replace("DatabaseFile=" + m_field.toUtf8() + "/KRV_Replica_11_12_2026.db",
                         "DatabaseFile=" + moved.toUtf8());
        QCOMPARE(readFile(m_folder + QStringLiteral("/krv.ini")), expected);
        QVERIFY(expected.contains("ReportRatingsFile=ReportData.db\n"));
    }
};

QTEST_MAIN(tst_install)
#include "tst_install.moc"
