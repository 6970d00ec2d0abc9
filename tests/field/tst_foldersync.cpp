#include <QtTest>
#include <QTableWidget>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FolderSync.h"
#include "scriptedprompt.h"
#include "testinstall.h"

namespace {

const QDateTime kOld = QDateTime(QDate(2020, 1, 1), QTime(8, 0, 0));
const QDateTime kNew = QDateTime(QDate(2021, 6, 1), QTime(9, 30, 0));

void makeFile(const QString& path, const QByteArray& data, const QDateTime& modified = kOld)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
    QVERIFY(f.flush());  // a later flush would stamp the time again
    QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
}

QByteArray content(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList rows(const QTableWidget& grid)
{
    QStringList out;
    for (int r = 0; r < grid.rowCount(); ++r)
        out << grid.item(r, 1)->text();
    return out;
}

// The file-action lines of a report (settings and headers left out).
QStringList actions(const QTableWidget& grid)
{
    QStringList out;
    for (const QString& line : rows(grid)) {
        if (line.startsWith("NEW:") || line.startsWith("REPL:") || line.startsWith("DEL:") ||
            line.startsWith("ERR:") || line.startsWith("NEWSF:") || line.startsWith("SUBF:") ||
            line.startsWith("LINK:"))
            out << line;
    }
    return out;
}

// A file made with the very bytes of its name, which need not be valid UTF-8.
void makeRawFile(const QByteArray& path, const QByteArray& data)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, data.constData(), size_t(data.size())), ssize_t(data.size()));
    ::close(fd);
}

QByteArray rawContent(const QByteArray& path)
{
    QFile f;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0 || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return "<missing>";
    return f.readAll();
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

}  // namespace

class TstFolderSync : public QObject {
    Q_OBJECT

    // A fresh source and destination under a temporary folder.
    struct Trees {
        TestInstall install{false};
        ScriptedPrompt prompt;
        QTableWidget grid;
        FolderSync sync;
        QString from = install.file("data");
        QString to = install.file("field");
        Trees()
        {
            QDir().mkpath(from);
            QDir().mkpath(to);
            sync.setReportGrid(&grid);
        }
        void bind()
        {
            sync.setFromFolder(from);
            sync.setToFolder(to);
        }
    };

private slots:
    // New files are copied, older copies replaced, newer or equal ones left without a line;
    // the copy keeps its time, so the way back finds nothing to do.
    void copiesByDate()
    {
        Trees t;
        makeFile(t.from + "/a.jpg", "new file", kOld);
        makeFile(t.from + "/b.jpg", "source newer", kNew);
        makeFile(t.to + "/b.jpg", "old copy", kOld);
        makeFile(t.from + "/c.jpg", "source older", kOld);
        makeFile(t.to + "/c.jpg", "kept", kNew);
        makeFile(t.from + "/D.jpg", "same age", kOld);
        makeFile(t.to + "/D.jpg", "same age too", kOld);
        t.bind();
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(actions(t.grid), (QStringList{"NEW: a.jpg", "REPL: b.jpg"}));
        QCOMPARE(content(t.to + "/a.jpg"), QByteArray("new file"));
        QCOMPARE(content(t.to + "/b.jpg"), QByteArray("source newer"));
        QCOMPARE(content(t.to + "/c.jpg"), QByteArray("kept"));
        QCOMPARE(content(t.to + "/D.jpg"), QByteArray("same age too"));
        QCOMPARE(QFileInfo(t.to + "/a.jpg").lastModified(), kOld);
        QCOMPARE(QFileInfo(t.to + "/b.jpg").lastModified(), kNew);
        QCOMPARE(rows(t.grid).last(), QStringLiteral("SYS: SYNCHRONIZATION COMPLETED"));
        QVERIFY(!QFileInfo::exists(t.to + "/b.jpg.tmp"));
        QCOMPARE(QDir(t.to).entryList(QDir::Files | QDir::Hidden).size(), 4);

        t.sync.setFromFolder(t.to);
        t.sync.setToFolder(t.from);
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(actions(t.grid), (QStringList{"NEW: a.jpg", "REPL: b.jpg", "REPL: c.jpg"}));
        QCOMPARE(content(t.from + "/c.jpg"), QByteArray("kept"));
    }

    void settingsBlock()
    {
        Trees t;
        t.bind();
        t.sync.setIncludeSubFolders(true);
        QVERIFY(t.sync.syncFoldersNow());
        const QStringList r = rows(t.grid);
        QCOMPARE(r.mid(0, 11),
                 (QStringList{"CFG: Synchronisation settings:", "CFG:   Include sub folders = True",
                              "CFG:     Create missing subfolders = False",
                              "CFG:   Copy files if not present in destination = True",
                              "CFG:   Delete files with zero length = False", "CFG:   Overwrite option:",
                              "CFG:     - Overwrite destination only if source file is later",
                              "CFG:   File Atrribute Settings = N", "CFG:   FROM: " + t.from, "CFG:   TO: " + t.to,
                              "CFG: " + QString(43, '-')}));
        QCOMPARE(r.mid(11), (QStringList{"FROM: " + t.from, "TO: " + t.to, "SYS: SYNCHRONIZATION COMPLETED"}));
    }

    void overwriteAllCopiesEverySelectedFile()
    {
        Trees t;
        makeFile(t.from + "/a.jpg", "older source", kOld);
        makeFile(t.to + "/a.jpg", "newer copy", kNew);
        makeFile(t.from + "/b.jpg", "b", kOld);
        t.bind();
        t.sync.setOverwriteAll(true);
        t.sync.setCopyIfMissing(false);
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(actions(t.grid), (QStringList{"REPL: a.jpg", "NEW: b.jpg"}));
        QCOMPARE(content(t.to + "/a.jpg"), QByteArray("older source"));
    }

    void deleteEmpties_data()
    {
        QTest::addColumn<bool>("overwriteAll");
        QTest::addColumn<bool>("destCopy");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("older copy") << false << true << QStringList{"DEL: empty.jpg"};
        // no copy at the destination: the failed first deletion is reported, the source goes all the same
        QTest::newRow("overwrite, no copy")
            << true << false << QStringList{"DEL: empty.jpg", "ERR:   - unable to delete from destination folder"};
    }
    void deleteEmpties()
    {
        QFETCH(bool, overwriteAll);
        QFETCH(bool, destCopy);
        QFETCH(QStringList, expected);
        Trees t;
        makeFile(t.from + "/empty.jpg", "", kNew);
        if (destCopy)
            makeFile(t.to + "/empty.jpg", "old", kOld);
        t.bind();
        t.sync.setDeleteEmpties(true);
        t.sync.setOverwriteAll(overwriteAll);
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(actions(t.grid), expected);
        QVERIFY(!QFileInfo::exists(t.from + "/empty.jpg"));
        QVERIFY(!QFileInfo::exists(t.to + "/empty.jpg"));
    }

    void folderErrors_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("subFolders");
        QTest::addColumn<int>("code");
        QTest::newRow("equal") << "data" << "data" << false << 5;
        QTest::newRow("equal, other spelling") << "data" << "data/./" << false << 5;
        QTest::newRow("to inside from") << "data" << "data/T1" << true << 6;
        QTest::newRow("from inside to") << "data/T1" << "data" << true << 6;
        QTest::newRow("nested, other spelling") << "data" << "x/../data//T1" << true << 6;
        QTest::newRow("nested, no subfolders") << "data" << "data/T1" << false << 0;
        QTest::newRow("same prefix, not nested") << "data" << "data2" << true << 0;
    }
    void folderErrors()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, subFolders);
        QFETCH(int, code);
        Trees t;
        for (const char* d : {"data/T1", "data2", "x"})
            QDir().mkpath(t.install.file(d));
        t.sync.setFromFolder(t.install.file(from));
        t.sync.setToFolder(t.install.file(to));
        t.sync.setIncludeSubFolders(subFolders);
        if (code == 0) {
            QVERIFY(t.sync.syncFoldersNow());
            return;
        }
        try {
            t.sync.syncFoldersNow();
            QFAIL("no error");
        } catch (const FolderSyncError& e) {
            QCOMPARE(e.code(), code);
            QCOMPARE(e.number(), -2147221504L + code);
            QCOMPARE(e.source(), QStringLiteral("FolderSync"));
        }
        QVERIFY(rows(t.grid).last().startsWith("ERR: "));
        QVERIFY(!t.sync.isBusy());
    }

    void missingFolders()
    {
        Trees t;
        try {
            t.sync.setFromFolder(t.install.file("nowhere/"));
            QFAIL("no error");
        } catch (const FolderSyncError& e) {
            QCOMPARE(e.number(), -2147221503L);
            QCOMPARE(e.description(), QStringLiteral("Source folder does not exist"));
        }
        QCOMPARE(t.sync.fromFolder(), t.install.file("nowhere"));

        t.prompt.answer(MsgAnswer::No);
        QVERIFY_THROWS_EXCEPTION(FolderSyncError, t.sync.setToFolder(t.install.file("new/deep")));
        QCOMPARE(t.prompt.calls.last().title, QStringLiteral("Folder does not exist"));
        QCOMPARE(t.prompt.calls.last().text,
                 t.install.file("new/deep") + " does not exist. Do you want to create it now?");
        QVERIFY(!QFileInfo::exists(t.install.file("new")));

        t.prompt.answer(MsgAnswer::Yes);
        t.sync.setToFolder(t.install.file("new/deep"));
        QVERIFY(t.sync.folderExists(t.install.file("new/deep/")));
        QCOMPARE(actions(t.grid), (QStringList{"NEWSF: ", "NEWSF: "}));

        t.prompt.answer(MsgAnswer::Yes);
        try {
            t.sync.setToFolder("nameonly");
            QFAIL("no error");
        } catch (const FolderSyncError& e) {
            QCOMPARE(e.code(), int(FolderSyncError::BadFolderName));
        }
    }

    void subFolders()
    {
        Trees t;
        makeFile(t.from + "/top.jpg", "t");
        makeFile(t.from + "/photo/p1.jpg", "p1");
        makeFile(t.from + "/photo/2004/p2.jpg", "p2");
        makeFile(t.from + "/.hidden/h.jpg", "h");
        makeFile(t.from + "/.h.jpg", "hidden file");
        makeFile(t.from + "/locked/l.jpg", "l");
        QFile::setPermissions(t.from + "/locked", QFile::ReadOwner | QFile::ExeOwner);
        t.bind();
        t.sync.setIncludeSubFolders(true);
        t.sync.setCreateSubFolders(true);
        QVERIFY(t.sync.syncFoldersNow());
        QFile::setPermissions(t.from + "/locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(actions(t.grid), (QStringList{"NEW: top.jpg", "NEWSF: photo", "SUBF: --/photo", "NEW: p1.jpg",
                                               "NEWSF: photo/2004", "SUBF: --/photo/2004", "NEW: p2.jpg"}));
        QCOMPARE(content(t.to + "/photo/2004/p2.jpg"), QByteArray("p2"));
        QVERIFY(!QFileInfo::exists(t.to + "/.h.jpg"));
        QVERIFY(!QFileInfo::exists(t.to + "/.hidden"));
        QVERIFY(!QFileInfo::exists(t.to + "/locked"));
    }

    void missingSubFolderSkippedWithoutCreate()
    {
        Trees t;
        makeFile(t.from + "/photo/p1.jpg", "p1");
        t.bind();
        t.sync.setIncludeSubFolders(true);
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(actions(t.grid), QStringList());
        QVERIFY(!QFileInfo::exists(t.to + "/photo"));
    }

    // Links are never followed: a linked file or folder of the source is not copied, and a
    // linked destination file or folder is not written through. Each is a line of its own, at
    // any depth, and the pass goes on with the folders after it.
    void linksAreNotFollowed()
    {
        Trees t;
        const QString outside = t.install.file("outside");
        makeFile(outside + "/secret.jpg", "outside", kOld);
        QVERIFY(QFile::link(outside + "/secret.jpg", t.from + "/link.jpg"));
        QVERIFY(QFile::link(outside, t.from + "/linkdir"));
        makeFile(t.from + "/victim.jpg", "source", kNew);
        QVERIFY(QFile::link(outside + "/secret.jpg", t.to + "/victim.jpg"));
        makeFile(t.from + "/sub/s.jpg", "s", kNew);
        QVERIFY(QFile::link(outside, t.to + "/sub"));
        // Deeper down, in a folder with no file of its own before the links.
        QVERIFY(QDir().mkpath(t.from + "/deep/a"));
        QVERIFY(QFile::link(outside, t.from + "/deep/a/b"));
        makeFile(t.from + "/deep/a/c/c.jpg", "c", kNew);
        QVERIFY(QDir().mkpath(t.to + "/deep/a"));
        QVERIFY(QFile::link(outside, t.to + "/deep/a/c"));
        makeFile(t.from + "/deep/a/d/d.jpg", "d", kNew);
        t.bind();
        t.sync.setIncludeSubFolders(true);
        t.sync.setCreateSubFolders(true);
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(content(outside + "/secret.jpg"), QByteArray("outside"));
        QCOMPARE(QDir(outside).entryList(QDir::Files), QStringList{"secret.jpg"});
        QVERIFY(!QFileInfo::exists(t.to + "/link.jpg"));
        QVERIFY(!QFileInfo::exists(t.to + "/linkdir"));
        QVERIFY(!QFileInfo::exists(t.to + "/deep/a/b"));
        QCOMPARE(content(t.to + "/deep/a/d/d.jpg"), QByteArray("d"));
        const QStringList a = actions(t.grid);
        QVERIFY2(a.contains("ERR:   - destination is a link and was not replaced"), qPrintable(a.join('\n')));
        QCOMPARE(a.filter("LINK:"), (QStringList{"LINK: a link is not followed: " + t.from + "/link.jpg",
                                                 "LINK: a link is not followed: " + t.from + "/linkdir",
                                                 "LINK: a link is not followed: " + t.from + "/deep/a/b",
                                                 "LINK: destination folder is a link and is not used: " + t.to +
                                                     "/deep/a/c",
                                                 "LINK: destination folder is a link and is not used: " + t.to +
                                                     "/sub"}));
        QVERIFY(rows(t.grid).last().endsWith("SYNCHRONIZATION COMPLETED"));
    }

    void unreadableFolderIsReported()
    {
        if (runningAsRoot())
            QSKIP("permissions do not bind root");
        Trees t;
        makeFile(t.from + "/a.jpg", "a");
        makeFile(t.from + "/closed/c.jpg", "c");
        QFile::setPermissions(t.from + "/closed", QFile::WriteOwner);
        t.bind();
        t.sync.setIncludeSubFolders(true);
        t.sync.setCreateSubFolders(true);
        const bool ok = t.sync.syncFoldersNow();
        QFile::setPermissions(t.from + "/closed", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(ok);  // the pass had reached its files, so the run goes on past the folder
        QVERIFY(actions(t.grid).contains("ERR:   - unable to read folder " + t.from + "/closed"));

        // with no file before it, the failure ends the run and reaches the caller
        Trees u;
        makeFile(u.from + "/closed/c.jpg", "c");
        QFile::setPermissions(u.from + "/closed", QFile::WriteOwner);
        u.bind();
        u.sync.setIncludeSubFolders(true);
        u.sync.setCreateSubFolders(true);
        bool raised = false;
        try {
            u.sync.syncFoldersNow();
        } catch (const KrvError&) {
            raised = true;
        }
        QFile::setPermissions(u.from + "/closed", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(raised);
        QVERIFY(!u.sync.isBusy());
        QVERIFY(rows(u.grid).last().startsWith("ERR:   - unable to read folder"));
    }

    // A copy that cannot be written is reported with the platform's text and the old file stays.
    void failedCopyKeepsOldFile()
    {
        if (runningAsRoot())
            QSKIP("permissions do not bind root");
        Trees t;
        makeFile(t.from + "/a.jpg", "new", kNew);
        makeFile(t.to + "/a.jpg", "old", kOld);
        makeFile(t.from + "/b.jpg", "b", kNew);
        QFile::setPermissions(t.to, QFile::ReadOwner | QFile::ExeOwner);
        t.bind();
        QVERIFY(t.sync.syncFoldersNow());
        QFile::setPermissions(t.to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QStringList a = actions(t.grid);
        QCOMPARE(a.size(), 4);
        QCOMPARE(a[0], QStringLiteral("REPL: a.jpg"));
        QVERIFY(a[1].startsWith("ERR: ") && a[1].size() > 5);
        QCOMPARE(a[2], QStringLiteral("NEW: b.jpg"));
        QCOMPARE(content(t.to + "/a.jpg"), QByteArray("old"));
        QCOMPARE(QDir(t.to).entryList(QDir::Files | QDir::Hidden), QStringList{"a.jpg"});
    }

    // A folder that cannot be listed (here: gone by the time its pass lists it) is reported,
    // also where the run goes on past it.
    void vanishedFolderIsReported()
    {
        Trees t;
        makeFile(t.from + "/a.jpg", "a");
        makeFile(t.from + "/gone/g.jpg", "g");
        t.bind();
        t.sync.setIncludeSubFolders(true);
        t.sync.setCreateSubFolders(true);
        connect(&t.sync, &FolderSync::Action, &t.sync, [&](const QString&, const QString& message) {
            if (message == "--/gone")
                QDir(t.from + "/gone").removeRecursively();
        });
        QVERIFY(t.sync.syncFoldersNow());
        QVERIFY(actions(t.grid).contains("ERR:   - unable to read folder " + t.from + "/gone"));
        QCOMPARE(rows(t.grid).last(), QStringLiteral("SYS: SYNCHRONIZATION COMPLETED"));
    }

    // A pipe in the folder is neither listed nor read (reading it would wait for ever).
    void specialFilesAreNotCopied()
    {
        Trees t;
        QVERIFY(::mkfifo(QFile::encodeName(t.from + "/pipe").constData(), 0644) == 0);
        makeFile(t.from + "/a.jpg", "a");
        t.bind();
        t.sync.setFileAttributes("NHS");
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(actions(t.grid), QStringList{"NEW: a.jpg"});
    }

    // A copy that cannot be put in place is reported with the platform's text; what was there stays.
    void copyOntoFolderFails()
    {
        Trees t;
        makeFile(t.from + "/a.jpg", "a", kNew);
        makeFile(t.to + "/a.jpg/inside.txt", "kept");
        makeFile(t.from + "/b.jpg", "b");
        t.bind();
        QVERIFY(t.sync.syncFoldersNow());
        const QStringList a = actions(t.grid);
        QCOMPARE(a.size(), 3);
        QCOMPARE(a[0], QStringLiteral("NEW: a.jpg"));
        QVERIFY(a[1].startsWith("ERR: ") && a[1].size() > 5);
        QCOMPARE(a[2], QStringLiteral("NEW: b.jpg"));
        QCOMPARE(content(t.to + "/a.jpg/inside.txt"), QByteArray("kept"));
        QCOMPARE(QDir(t.to).entryList(QDir::Files | QDir::Hidden), QStringList{"b.jpg"});
    }

    void terminateStopsBeforeNextFile()
    {
        Trees t;
        for (const char* n : {"a.jpg", "b.jpg", "c.jpg"})
            makeFile(t.from + "/" + n, n);
        t.bind();
        QStringList messages;
        connect(&t.sync, &FolderSync::Action, &t.sync, [&](const QString& kind, const QString& message) {
            QCOMPARE(kind, QStringLiteral("MSG"));
            messages << message;
            if (message == "a.jpg") {
                t.sync.terminate();
                t.sync.setOverwriteAll(true);  // refused while busy
                QVERIFY(!t.sync.syncFoldersNow());
            }
        });
        QVERIFY(!t.sync.syncFoldersNow());
        QVERIFY(t.sync.isCancelled());
        QVERIFY(!t.sync.overwriteAll());
        QVERIFY(QFileInfo::exists(t.to + "/a.jpg"));
        QVERIFY(!QFileInfo::exists(t.to + "/b.jpg"));
        QVERIFY(messages.contains("Attempt to use object while busy"));
        QCOMPARE(rows(t.grid).last(), QStringLiteral("SYS: Operation cancelled by user - synchronisation not completed"));
        QCOMPARE(t.grid.item(t.grid.rowCount() - 1, 1)->foreground().color(), QColor(Qt::red));
        QCOMPARE(messages.size(), t.grid.rowCount());

        // the next run starts afresh
        QVERIFY(t.sync.syncFoldersNow());
        QVERIFY(QFileInfo::exists(t.to + "/c.jpg"));
    }

    // The grid follows the newest row while the user watches the end, and stays where the
    // user scrolled otherwise.
    void gridFollowsEnd()
    {
        Trees t;
        for (int i = 0; i < 40; ++i)
            makeFile(t.from + QStringLiteral("/f%1.jpg").arg(i, 2, 10, QChar('0')), "x");
        t.grid.resize(300, 200);
        t.grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.grid));
        t.bind();
        QVERIFY(t.sync.syncFoldersNow());
        const auto rowVisible = [&](int row) {
            return t.grid.viewport()->rect().intersects(t.grid.visualRect(t.grid.model()->index(row, 1)));
        };
        QVERIFY(rowVisible(t.grid.rowCount() - 1));
        QVERIFY(!rowVisible(0));

        t.grid.scrollToTop();
        t.sync.setOverwriteAll(true);
        QVERIFY(t.sync.syncFoldersNow());
        QVERIFY(rowVisible(0));
        QVERIFY(!rowVisible(t.grid.rowCount() - 1));
    }

    // A hidden file at the destination is there like any other: an older hidden source does
    // not overwrite the newer one edited in the field, and a newer one replaces it.
    void hiddenDestinationComparedByTime()
    {
        Trees t;
        makeFile(t.from + "/.notes", "office, older", kOld);
        makeFile(t.to + "/.notes", "edited in the field", kNew);
        makeFile(t.from + "/.plan", "office, newer", kNew);
        makeFile(t.to + "/.plan", "field, older", kOld);
        t.bind();
        t.sync.setIncludeHiddenFiles(true);
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(actions(t.grid), QStringList{"REPL: .plan"});
        QCOMPARE(content(t.to + "/.notes"), QByteArray("edited in the field"));
        QCOMPARE(content(t.to + "/.plan"), QByteArray("office, newer"));
    }

    // A file rewritten while it is copied: the copy never gets the new time on old content.
    // Once is copied again; a file that keeps changing is reported and the old copy stays.
    void rewrittenDuringCopy_data()
    {
        QTest::addColumn<int>("rewrites");
        QTest::addColumn<bool>("replace");
        QTest::newRow("once, new file") << 1 << false;
        QTest::newRow("once, replacing") << 1 << true;
        QTest::newRow("always, new file") << 100 << false;
        QTest::newRow("always, replacing") << 100 << true;
    }
    void rewrittenDuringCopy()
    {
        QFETCH(int, rewrites);
        QFETCH(bool, replace);
        Trees t;
        makeFile(t.from + "/a.avi", "first take", kNew);
        if (replace)
            makeFile(t.to + "/a.avi", "old copy", kOld);
        t.bind();
        int done = 0;
        t.sync.setCopyObserver([&](const QString& name) {
            QCOMPARE(name, QStringLiteral("a.avi"));
            if (done >= rewrites)
                return;
            ++done;
            makeFile(t.from + "/a.avi", "take number " + QByteArray::number(done + 1), kNew.addSecs(60 * done));
        });
        QVERIFY(t.sync.syncFoldersNow());
        const QStringList a = actions(t.grid);
        QCOMPARE(a.first(), QString(replace ? "REPL: a.avi" : "NEW: a.avi"));
        if (rewrites == 1) {
            QCOMPARE(a.size(), 1);
            QCOMPARE(content(t.to + "/a.avi"), QByteArray("take number 2"));
            QCOMPARE(QFileInfo(t.to + "/a.avi").lastModified(), kNew.addSecs(60));
        } else {
            QCOMPARE(a, (QStringList{a.first(), "ERR:   - the file changed while it was copied and was not copied: a.avi"}));
            QCOMPARE(content(t.to + "/a.avi"), replace ? QByteArray("old copy") : QByteArray("<missing>"));
        }
        QCOMPARE(QDir(t.to).entryList(QDir::Files | QDir::Hidden).size(), int(replace || rewrites == 1));
    }

    // A name that is not valid UTF-8 (Latin-1 from an old camera) is listed, shown and copied
    // under the same bytes, files and folders alike.
    void namesNotUtf8()
    {
        Trees t;
        const QByteArray from = QFile::encodeName(t.from), to = QFile::encodeName(t.to);
        // the temporary folder's clean-up cannot name these
        struct RemoveRaw {
            QByteArray from, to;
            ~RemoveRaw()
            {
                for (const QByteArray& top : {from, to}) {
                    ::unlink((top + "/caf\xE9.jpg").constData());
                    ::unlink((top + "/r\xE9seau/p.jpg").constData());
                    ::rmdir((top + "/r\xE9seau").constData());
                }
            }
        } removeRaw{from, to};
        makeRawFile(from + "/caf\xE9.jpg", "latin-1");
        QVERIFY(::mkdir((from + "/r\xE9seau").constData(), 0755) == 0);
        makeRawFile(from + "/r\xE9seau/p.jpg", "inside");
        makeFile(t.from + "/plain.jpg", "plain");
        t.bind();
        t.sync.setIncludeSubFolders(true);
        t.sync.setCreateSubFolders(true);
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(rawContent(to + "/caf\xE9.jpg"), QByteArray("latin-1"));
        QCOMPARE(rawContent(to + "/r\xE9seau/p.jpg"), QByteArray("inside"));
        const QStringList a = actions(t.grid);
        QCOMPARE(a.size(), 5);
        QVERIFY2(a.contains("NEW: " + QFile::decodeName("caf\xE9.jpg")), qPrintable(a.join('\n')));
        QVERIFY(a.contains("NEW: plain.jpg"));
        QVERIFY(a.contains("SUBF: --/" + QFile::decodeName("r\xE9seau")));
    }

    // A full disk is reported with the system's own text; the old copy stays and nothing
    // half-written is left behind.
    void fullDiskReported()
    {
        Trees t;
        if (::mount("tmpfs", QFile::encodeName(t.to).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("a small file system cannot be mounted here (needs root)");
        struct Unmount {
            QByteArray path;
            ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
        } unmount{QFile::encodeName(t.to)};
        const QByteArray big(256 * 1024, 'x');
        makeFile(t.from + "/new.avi", big, kNew);
        makeFile(t.from + "/old.avi", big, kNew);
        makeFile(t.to + "/old.avi", "old copy", kOld);
        t.bind();
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(actions(t.grid), (QStringList{"NEW: new.avi", "ERR: No space left on device", "REPL: old.avi",
                                               "ERR: No space left on device"}));
        QCOMPARE(content(t.to + "/old.avi"), QByteArray("old copy"));
        QCOMPARE(QDir(t.to).entryList(QDir::Files | QDir::Hidden), QStringList{"old.avi"});
    }

    // A source file gone between the listing and its turn is not an empty file: its
    // destination copy, now the only one, stays.
    void vanishedSourceKeepsCopy()
    {
        Trees t;
        makeFile(t.from + "/a.jpg", "a", kNew);
        makeFile(t.from + "/b.jpg", "b", kNew);
        makeFile(t.to + "/b.jpg", "the only copy left", kOld);
        t.bind();
        t.sync.setDeleteEmpties(true);
        t.sync.setOverwriteAll(true);
        connect(&t.sync, &FolderSync::Action, &t.sync, [&](const QString&, const QString& message) {
            if (message == "a.jpg")
                QFile::remove(t.from + "/b.jpg");
        });
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(actions(t.grid),
                 (QStringList{"NEW: a.jpg", "ERR:   - unable to read source file b.jpg: No such file or directory"}));
        QCOMPARE(content(t.to + "/b.jpg"), QByteArray("the only copy left"));
    }

    // A destination folder that is gone by the time of the run is a failure, not a
    // completed synchronisation.
    void destinationGoneAfterBinding_data()
    {
        QTest::addColumn<bool>("createSubFolders");
        QTest::newRow("plain") << false;
        QTest::newRow("making subfolders") << true;
    }
    void destinationGoneAfterBinding()
    {
        QFETCH(bool, createSubFolders);
        Trees t;
        makeFile(t.from + "/a.jpg", "a");
        t.bind();
        t.sync.setIncludeSubFolders(true);
        t.sync.setCreateSubFolders(createSubFolders);
        QVERIFY(QDir(t.to).removeRecursively());
        try {
            t.sync.syncFoldersNow();
            QFAIL("no error");
        } catch (const FolderSyncError& e) {
            QCOMPARE(e.code(), int(FolderSyncError::DestinationMissing));
        }
        QCOMPARE(rows(t.grid).last(), "ERR: Destination folder does not exist: " + t.to);
        QVERIFY(!rows(t.grid).contains("SYS: SYNCHRONIZATION COMPLETED"));
        QVERIFY(!t.sync.isBusy());
        QVERIFY(!QFileInfo::exists(t.to));
    }

    // During a run the grid takes its rows in batches (at most every 75 ms), not one row and
    // one move of the current cell per file; at the end every row is there and current.
    void gridTakesRowsInBatches()
    {
        Trees t;
        for (int i = 0; i < 300; ++i)
            makeFile(t.from + QStringLiteral("/f%1.jpg").arg(i, 3, 10, QChar('0')), "x");
        t.grid.show();
        t.bind();
        int inserts = 0;
        connect(t.grid.model(), &QAbstractItemModel::rowsInserted, &t.grid, [&] {
            if (t.sync.isBusy())
                ++inserts;
        });
        QVERIFY(t.sync.syncFoldersNow());
        QCOMPARE(actions(t.grid).size(), 300);
        QVERIFY2(inserts < 60, qPrintable(QString::number(inserts)));
        QCOMPARE(t.grid.currentRow(), t.grid.rowCount() - 1);
        QCOMPARE(t.grid.currentColumn(), 1);
    }

    void fileAttributes_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("read");
        QTest::newRow("S then H") << "SH" << "HS";
        QTest::newRow("all") << "ASHN" << "NHSA";
        QTest::newRow("lower case ignored") << "Nh" << "N";
        QTest::newRow("none") << "xyz" << "";
    }
    void fileAttributes()
    {
        QFETCH(QString, written);
        QFETCH(QString, read);
        FolderSync sync;
        QCOMPARE(sync.fileAttributes(), QStringLiteral("N"));
        sync.setFileAttributes(written);
        QCOMPARE(sync.fileAttributes(), read);
    }

    void gridPreparedAndFlagged()
    {
        Trees t;
        t.grid.setRowCount(5);
        t.sync.setReportGrid(&t.grid);
        QCOMPARE(t.grid.rowCount(), 0);
        QCOMPARE(t.grid.columnCount(), 2);
        QCOMPARE(t.grid.horizontalHeaderItem(0)->text(), QStringLiteral("Time"));
        QCOMPARE(t.grid.horizontalHeaderItem(1)->text(), QStringLiteral("Action"));
        QVERIFY(t.grid.isColumnHidden(0));
        QVERIFY(t.grid.columnWidth(1) >= 133);
        t.bind();
        QVERIFY(t.sync.syncFoldersNow());
        QTableWidgetItem* last = t.grid.item(t.grid.rowCount() - 1, 1);
        QCOMPARE(last->background().color(), QColor(Qt::yellow));
        QCOMPARE(last->foreground().color(), QColor(Qt::red));
        QVERIFY(QTime::fromString(t.grid.item(0, 0)->text(), "hh:mm:ss").isValid());

        // without a grid the signal alone carries the report
        FolderSync bare;
        QSignalSpy spy(&bare, &FolderSync::Action);
        bare.setFromFolder(t.from);
        bare.setToFolder(t.to);
        QVERIFY(bare.syncFoldersNow());
        QCOMPARE(spy.size(), 13);
    }
};

QTEST_MAIN(TstFolderSync)
#include "tst_foldersync.moc"
