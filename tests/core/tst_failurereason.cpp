// Media files are regular files only, and a failure's message says why in plain words: the
// reasons the engine's and the system's errors give, and the damaged database file.
#include "db.h"
#include "failurereason.h"
#include "helpers.h"
#include "krverror.h"
#include "modkrv.h"
#include "pipewatch.h"
#include "regularfiles.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <functional>

namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), data.size());
}

// The message LogError shows for what run() raises.
QString shownFor(const std::function<void()>& run)
{
    ScriptedPrompt prompt;
    try {
        run();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error saving data."), QStringLiteral("tst"), e);
    }
    return prompt.messages().value(0);
}

}  // namespace

class TestFailureReason : public QObject {
    Q_OBJECT
    std::unique_ptr<TestInstall> m_install;

private slots:
    void init() { m_install = std::make_unique<TestInstall>(); }
    void cleanup() { m_install.reset(); }

    // A link to a pipe, a device or a folder is no picture: it is not listed, and a reader refuses it
    // at once without opening it (the pipe's watch would see an open; a blocking one would hang).
    void onlyRegularFilesAreListedAndRead()
    {
        const QString dir = m_install->file(QStringLiteral("photo"));
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/folder.jpg")));
        writeFile(dir + QStringLiteral("/real.jpg"), "picture");
        PipeWatch pipe(dir + QStringLiteral("/pipe"));
        QVERIFY(pipe.made());
        QVERIFY(QFile::link(dir + QStringLiteral("/pipe"), dir + QStringLiteral("/linkpipe.jpg")));
        QVERIFY(QFile::link(dir + QStringLiteral("/real.jpg"), dir + QStringLiteral("/linkreal.jpg")));
        QVERIFY(QFile::link(dir + QStringLiteral("/folder.jpg"), dir + QStringLiteral("/linkdir.jpg")));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/linkdev.jpg")));
        QVERIFY(QFile::link(dir + QStringLiteral("/gone.jpg"), dir + QStringLiteral("/linkgone.jpg")));

        QCOMPARE(RegularFileNames(dir, {QStringLiteral("*.jpg")}),
                 (QStringList{QStringLiteral("linkreal.jpg"), QStringLiteral("real.jpg")}));
        for (const char* name : {"linkpipe.jpg", "pipe", "linkdir.jpg", "folder.jpg", "linkdev.jpg", "linkgone.jpg"}) {
            const QString path = dir + QLatin1Char('/') + QLatin1String(name);
            QVERIFY2(!IsRegularFile(path), name);
            QFile file;
            QVERIFY2(!OpenRegularFile(file, path), name);
        }
        QFile file;
        QVERIFY(OpenRegularFile(file, dir + QStringLiteral("/linkreal.jpg")));
        QCOMPARE(file.readAll(), QByteArray("picture"));
        QVERIFY(!pipe.opened());
        // Also when the name is given straight to the open of a folder's entry.
        const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
        QVERIFY(fd >= 0);
        errno = 0;
        QCOMPARE(OpenRegularFileAt(fd, "pipe"), -1);
        QCOMPARE(errno, EINVAL);
        ::close(fd);
        QVERIFY(!pipe.opened());
    }

    // The reason the engine gives, on a second line under the message's own sentence.
    void theMessageAddsTheEnginesReason_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("reason");  // %1: the database file
        QTest::newRow("read-only file") << "read-only" << "The file %1 is read-only.";
        QTest::newRow("full disk") << "full" << "The disk that holds %1 is full.";
        QTest::newRow("table missing") << "no table" << "The database has no table Ratings.";
        QTest::newRow("file missing") << "missing" << "The file %1 does not exist.";
        QTest::newRow("not a database") << "text" << "The file %1 is damaged (cut short or not a database).";
        QTest::newRow("a constraint: no reason") << "constraint" << "";
    }
    void theMessageAddsTheEnginesReason()
    {
        QFETCH(QString, situation);
        QFETCH(QString, reason);
        const QString db = m_install->dbPath();
        QString file = db;
        Connection other(QStringLiteral("tst-other"));
        const QString shown = shownFor([&] {
            if (situation == QLatin1String("read-only")) {
                gConn.close();
                gConn.open(db, true);  // as SQLite opens a file its user may not write
                gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('m')"));
            } else if (situation == QLatin1String("full")) {
                const int pages = gConn.scalar(QStringLiteral("PRAGMA page_count")).toInt();
                gConn.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages));
                gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES (?)"), {QString(20000, QLatin1Char('x'))});
            } else if (situation == QLatin1String("no table")) {
                other.open(db);
                other.exec(QStringLiteral("DROP TABLE Ratings"));
                gConn.query(QStringLiteral("SELECT * FROM Ratings"));
            } else if (situation == QLatin1String("missing")) {
                file = m_install->file(QStringLiteral("ReportData.db"));
                other.open(file);
            } else if (situation == QLatin1String("text")) {
                file = m_install->file(QStringLiteral("notes.db"));
                writeFile(file, QByteArray(4096, 'n'));
                other.open(file);
            } else {
                gConn.exec(QStringLiteral("CREATE TEMP TRIGGER refuse BEFORE INSERT ON UnitTypes "
                                          "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
                gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('m')"));
            }
        });
        other.close();
        const QString expected = QStringLiteral("Error saving data.")
                                 + (reason.isEmpty() ? QString() : QLatin1Char('\n') + QString(reason).replace("%1", file));
        QCOMPARE(shown, expected);
    }

    // The system's error numbers in plain words, also when Qt hands on only their text.
    void systemErrorsInPlainWords_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("reason");  // %1: the folder
        QTest::newRow("disk full") << int(ENOSPC) << "The disk that holds %1 is full.";
        QTest::newRow("read-only disk") << int(EROFS) << "The disk holding %1 is read-only.";
        QTest::newRow("folder not writable") << int(EACCES) << "The folder %1 is read-only.";
        QTest::newRow("gone") << int(ENOENT) << "The folder %1 does not exist.";
    }
    void systemErrorsInPlainWords()
    {
        QFETCH(int, error);
        QFETCH(QString, reason);
        const QString folder = m_install->folder() + (error == ENOENT ? QStringLiteral("/gone/") : QString());
        reason.replace(QStringLiteral("%1"), folder);
        QCOMPARE(SystemErrorReason(error, folder), reason);
        const QString qtText = QStringLiteral("Failure to write block: ") + QString::fromLocal8Bit(std::strerror(error));
        QCOMPARE(SystemErrorInText(qtText), error);
        QCOMPARE(WithReason(QStringLiteral("Unable to copy file a.jpg."), SystemErrorReason(error, folder)),
                 QStringLiteral("Unable to copy file a.jpg.\n") + reason);
    }

    // A file cut short on its way (a stick pulled out), an empty one or one that is no database
    // is damaged; a whole one is not, nor one that is missing.
    void damagedDatabaseFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("damaged");
        QTest::newRow("whole") << "whole" << false;
        QTest::newRow("cut short") << "cut" << true;
        QTest::newRow("empty") << "empty" << true;
        QTest::newRow("text") << "text" << true;
        QTest::newRow("missing") << "missing" << false;
    }
    void damagedDatabaseFiles()
    {
        QFETCH(QString, kind);
        QFETCH(bool, damaged);
        // Enough rows for the file to span many pages.
        TxGuard tx;
        for (int i = 0; i < 200; ++i)
            gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES (?)"),
                       {QString(200, QLatin1Char(char('a' + i % 26))) + QString::number(i)});
        tx.commit();
        gConn.close();
        const QString path = m_install->file(QStringLiteral("copy.db"));
        QVERIFY(QFile::copy(m_install->dbPath(), path));
        QFile f(path);
        if (kind == QLatin1String("cut")) {
            QVERIFY(f.resize(f.size() / 2));
        } else if (kind == QLatin1String("empty")) {
            QVERIFY(f.resize(0));
        } else if (kind == QLatin1String("text")) {
            QVERIFY(f.remove());
            writeFile(path, "Minutes of the meeting\n");
        } else if (kind == QLatin1String("missing")) {
            QVERIFY(f.remove());
        }
        QCOMPARE(IsDamagedDatabase(path), damaged);
    }

    void countsTakeTheirNumber()
    {
        QCOMPARE(CountText(1, QStringLiteral("conflict")), QStringLiteral("1 conflict"));
        QCOMPARE(CountText(2, QStringLiteral("conflict")), QStringLiteral("2 conflicts"));
        QCOMPARE(CountText(0, QStringLiteral("conflict")), QStringLiteral("0 conflicts"));
        QCOMPARE(CountText(3, QStringLiteral("entry"), QStringLiteral("entries")), QStringLiteral("3 entries"));
    }
};

QTEST_GUILESS_MAIN(TestFailureReason)
#include "tst_failurereason.moc"
