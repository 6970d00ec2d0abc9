// Files written whole: a write that fails part way (a full disk, through the write seam) keeps
// the old file byte for byte, leaves no temporary file, and says which file and why.
#include "filebytes.h"
#include "savefile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {


// A PDF of a few pages, as QPdfWriter writes it.
QByteArray somePdf(int pages)
{
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        QPainter p(&pdf);
        for (int i = 0; i < pages; ++i) {
            if (i)
                pdf.newPage();
            for (int line = 0; line < 60; ++line)
                p.drawText(200, 200 + line * 160, QStringLiteral("Page %1, line %2 of the condition report").arg(i).arg(line));
        }
    }
    return bytes;
}

// What a link says, as it was made.
QString linkText(const QString& link)
{
    char text[4096];
    const ssize_t n = ::readlink(QFile::encodeName(link).constData(), text, sizeof text);
    return n < 0 ? QString() : QFile::decodeName(QByteArray(text, n));
}

// Every name in folder and below, links shown with their text ("a -> b"), so a test sees that no
// link turned into a file and that no temporary file stayed.
QStringList treeOf(const QString& folder, const QString& under = QString())
{
    QStringList names;
    const QDir dir(folder + under);
    for (const QFileInfo& fi : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                                 QDir::Name)) {
        const QString name = under.isEmpty() ? fi.fileName() : under.mid(1) + "/" + fi.fileName();
        if (fi.isSymLink())
            names << name + " -> " + linkText(fi.filePath());
        else if (fi.isDir())
            names << name + "/" << treeOf(folder, under + "/" + fi.fileName());
        else
            names << name;
    }
    return names;
}

}  // namespace

class tst_savefile : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QStringList folder() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }

private slots:
    void init()
    {
        for (const QString& name : folder())
            QFile::remove(m_dir.filePath(name));
    }

    void aWholeWriteReplacesTheFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("krv.ini"));
        WriteFileBytes(path, "old");
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QString failure;
        QVERIFY(SaveFileBytes(path, QByteArray(200000, 'n'), &failure));
        QCOMPARE(failure, QString());
        QCOMPARE(ReadFileBytes(path), QByteArray(200000, 'n'));
        QCOMPARE(QFile::permissions(path) & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        QCOMPARE(folder(), QStringList{"krv.ini"});
    }

    // Cut at any point (at once, inside the first block, at the last byte), the old file stays.
    void aWriteThatFailsKeepsTheOldFile_data()
    {
        QTest::addColumn<qint64>("room");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no room at all") << qint64(0) << ENOSPC << "the disk is full";
        QTest::newRow("room for part of it") << qint64(70000) << ENOSPC << "the disk is full";
        QTest::newRow("room for all but its last byte") << qint64(199999) << ENOSPC << "the disk is full";
        QTest::newRow("over quota") << qint64(5) << EDQUOT << "the disk is full";
        QTest::newRow("the file cannot be made") << qint64(-1) << EROFS << "the disk is read-only";
        QTest::newRow("a failing disk") << qint64(4096) << EIO << "the disk could not be written (input/output error)";
    }
    void aWriteThatFailsKeepsTheOldFile()
    {
        QFETCH(qint64, room);
        QFETCH(int, error);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath(QStringLiteral("krv.ini"));
        WriteFileBytes(path, "[KRV]\nDatabaseFile=/old.db\n");
        QString failure;
        {
            WriteFault fault(QStringLiteral("krv.ini"), room, error);
            QVERIFY(!SaveFileBytes(path, QByteArray(200000, 'n'), &failure));
        }
        QCOMPARE(failure, "The file " + path + " could not be written: " + reason + ".");
        QCOMPARE(ReadFileBytes(path), QByteArray("[KRV]\nDatabaseFile=/old.db\n"));
        QCOMPARE(folder(), QStringList{"krv.ini"});
    }

    // A record that does not fit is taken back whole; a log that did not exist is not left empty.
    void anAppendThatFailsKeepsTheOldRecords()
    {
        const QString log = m_dir.filePath(QStringLiteral("err.log"));
        QVERIFY(AppendToFile(log, "first\r\n"));
        QString failure;
        {
            WriteFault fault(QStringLiteral("err.log"), 3);
            QVERIFY(!AppendToFile(log, "second record\r\n", &failure));
        }
        QCOMPARE(failure, "The file " + log + " could not be written: the disk is full.");
        {
            WriteFault fault(QStringLiteral("new.log"), 0);
            QVERIFY(!AppendToFile(m_dir.filePath(QStringLiteral("new.log")), "x", &failure));
        }
        QCOMPARE(ReadFileBytes(log), QByteArray("first\r\n"));
        QCOMPARE(folder(), QStringList{"err.log"});
        QVERIFY(AppendToFile(log, "second\r\n"));
        QCOMPARE(ReadFileBytes(log), QByteArray("first\r\nsecond\r\n"));
    }

    // A PDF is whole when it ends with %%EOF and its cross-reference table is where the trailer
    // says and complete; a file cut anywhere is not.
    void aCutPdfIsToldFromAWholeOne_data()
    {
        QTest::addColumn<double>("kept");
        QTest::newRow("whole") << 1.0;
        QTest::newRow("95 %") << 0.95;
        QTest::newRow("all but %%EOF") << -1.0;
        QTest::newRow("cut in its table") << -2.0;
        QTest::newRow("half") << 0.5;
    }
    void aCutPdfIsToldFromAWholeOne()
    {
        QFETCH(double, kept);
        QByteArray pdf = somePdf(3);
        const qsizetype xref = pdf.lastIndexOf("\nxref") + 1;
        if (kept == -1.0)
            pdf.chop(pdf.size() - pdf.lastIndexOf("%%EOF"));
        else if (kept == -2.0)
            pdf = pdf.left(xref + 30) + pdf.mid(pdf.lastIndexOf("trailer"));  // the table loses entries
        else
            pdf.truncate(qsizetype(pdf.size() * kept));
        const QString path = m_dir.filePath(QStringLiteral("report.pdf"));
        WriteFileBytes(path, pdf);
        QCOMPARE(PdfProblem(path).isEmpty(), kept == 1.0);
    }

    // A printer's file under a temporary name: whole, it takes the name; cut by the disk, it goes and
    // the old file stays.
    void aPrintedFileTakesItsNameOnlyWhole()
    {
        const QString target = m_dir.filePath(QStringLiteral("sheet.pdf"));
        WriteFileBytes(target, "old sheet");
        const QByteArray pdf = somePdf(2);

        QString temp = MakeTemporaryBeside(target);
        WriteFileBytes(temp, pdf);
        QString failure;
        {
            WriteFault fault(QStringLiteral("sheet.pdf"), pdf.size() * 95 / 100);
            QVERIFY(!CommitWrittenPdf(temp, target, &failure));
        }
        QCOMPARE(failure, "The file " + target + " could not be written: the disk is full.");
        QCOMPARE(ReadFileBytes(target), QByteArray("old sheet"));
        QCOMPARE(folder(), QStringList{"sheet.pdf"});

        temp = MakeTemporaryBeside(target);
        WriteFileBytes(temp, pdf);
        QVERIFY(CommitWrittenPdf(temp, target, &failure));
        QCOMPARE(ReadFileBytes(target), pdf);
        QCOMPARE(folder(), QStringList{"sheet.pdf"});
    }

    // The device itself: a QPdfWriter on it; the commit checks the PDF whole.
    void aPdfWrittenThroughTheDeviceIsCheckedWhole()
    {
        const QString target = m_dir.filePath(QStringLiteral("report.pdf"));
        WriteFileBytes(target, "old report");
        const QByteArray pdf = somePdf(2);
        SaveFile file(target);
        file.setExpectPdf(true);
        QVERIFY(file.open());
        QCOMPARE(file.write(pdf.left(pdf.size() - 10)), pdf.size() - 10);  // as a writer that stopped early
        QVERIFY(!file.commit());
        QVERIFY2(file.failureText().contains("the PDF came out incomplete"), qPrintable(file.failureText()));
        QCOMPARE(ReadFileBytes(target), QByteArray("old report"));
        QCOMPARE(folder(), QStringList{"report.pdf"});
    }

    // A site links one shared krv.ini into each program folder, maybe through more than one
    // link, and maybe into a folder that is itself reached through a link: the write lands in
    // the shared file, and every link stays a link with its text unchanged.
    void aWriteThroughLinksLandsAtTheEndOfTheChain_data()
    {
        QTest::addColumn<QStringList>("links");  // "name=text", made in order
        QTest::addColumn<QString>("written");    // the path written, under the folder
        QTest::addColumn<QString>("shared");     // the file that must get the bytes
        QTest::newRow("one link") << QStringList{"prog/krv.ini=../shared/krv.ini"} << "prog/krv.ini"
                                  << "shared/krv.ini";
        QTest::newRow("a link to a link") << QStringList{"site.ini=shared/krv.ini", "prog/krv.ini=../site.ini"}
                                          << "prog/krv.ini" << "shared/krv.ini";
        QTest::newRow("an absolute link to a relative one")
            << QStringList{"site.ini=shared/krv.ini", "prog/krv.ini=@/site.ini"} << "prog/krv.ini" << "shared/krv.ini";
        // "../" in the link goes up from the folder that really holds it (real/), not from
        // the folder the program was started in (opt/).
        QTest::newRow("a relative link in a folder reached through a link")
            << QStringList{"real/prog/krv.ini=../shared/krv.ini", "opt/prog=@/real/prog"} << "opt/prog/krv.ini"
            << "real/shared/krv.ini";
        QTest::newRow("a chain through linked folders")
            << QStringList{"real/prog/krv.ini=../site.ini", "real/site.ini=../shared/krv.ini", "opt/prog=@/real/prog"}
            << "opt/prog/krv.ini" << "shared/krv.ini";
        QTest::newRow("a link to a file not made yet") << QStringList{"prog/krv.ini=../shared/new.ini"}
                                                       << "prog/krv.ini" << "shared/new.ini";
    }
    void aWriteThroughLinksLandsAtTheEndOfTheChain()
    {
        QFETCH(QStringList, links);
        QFETCH(QString, written);
        QFETCH(QString, shared);
        QTemporaryDir dir;
        const QString top = dir.path();
        for (const char* folder : {"shared", "prog", "real/prog", "real/shared", "opt"})
            QVERIFY(QDir(top).mkpath(folder));
        const QString sharedPath = top + "/" + shared;
        const bool existed = !shared.endsWith("new.ini");
        if (existed)
            WriteFileBytes(sharedPath, "[KRV]\nDatabaseFile=old.db\n");
        for (const QString& link : links) {
            const QString name = link.section('=', 0, 0);
            QString text = link.section('=', 1);
            text.replace("@", top);
            QVERIFY(::symlink(QFile::encodeName(text).constData(), QFile::encodeName(top + "/" + name).constData()) == 0);
        }
        const QStringList before = treeOf(top);
        QString failure;
        QVERIFY2(SaveFileBytes(top + "/" + written, "[KRV]\nDatabaseFile=new.db\n", &failure), qPrintable(failure));
        QCOMPARE(ReadFileBytes(sharedPath), QByteArray("[KRV]\nDatabaseFile=new.db\n"));
        QCOMPARE(ReadFileBytes(top + "/" + written), QByteArray("[KRV]\nDatabaseFile=new.db\n"));
        QStringList after = treeOf(top);
        if (!existed)
            after.removeOne(shared);
        QCOMPARE(after, before);
    }

    // Links that lead round are refused plainly; nothing is made.
    void aLoopOfLinksIsTold()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath("krv.ini");
        const QString b = dir.filePath("site.ini");
        QVERIFY(::symlink("site.ini", QFile::encodeName(a).constData()) == 0);
        QVERIFY(::symlink("krv.ini", QFile::encodeName(b).constData()) == 0);
        QString failure;
        QVERIFY(!SaveFileBytes(a, "x", &failure));
        QCOMPARE(failure, "The file " + a + " could not be written: its links lead round in a loop (or through too "
                                            "many links).");
        QCOMPARE(treeOf(dir.path()), (QStringList{"krv.ini -> site.ini", "site.ini -> krv.ini"}));
        QVERIFY(MakeTemporaryBeside(a, &failure).isEmpty());
        QVERIFY(failure.contains("loop"));
    }

    // A file its owner made read-only is not replaced, nor added to, whichever way it is
    // written; the reason names it. Judged by its permission bits, so also when the test runs
    // as root (whom the system would let write it).
    void aReadOnlyFileIsNotReplaced_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("krv.ini") << "krv.ini" << "bytes" << false;
        QTest::newRow("krv.ini through a link") << "krv.ini" << "bytes" << true;
        QTest::newRow("a sync log") << "KRV_SyncLog.txt" << "bytes" << false;
        QTest::newRow("a PDF written through the device") << "report.pdf" << "device" << false;
        QTest::newRow("a PDF a printer writes") << "sheet.pdf" << "printer" << false;
        QTest::newRow("an error log") << "err.log" << "append" << false;
    }
    void aReadOnlyFileIsNotReplaced()
    {
        QFETCH(QString, name);
        QFETCH(QString, how);
        QFETCH(bool, throughLink);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("shared"));
        const QString target = throughLink ? dir.filePath("shared/" + name) : dir.filePath(name);
        const QString path = dir.filePath(name);
        const QByteArray old = "kept as its owner left it";
        WriteFileBytes(target, old);
        if (throughLink)
            QVERIFY(::symlink(QFile::encodeName("shared/" + name).constData(), QFile::encodeName(path).constData()) == 0);
        const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
        QVERIFY(QFile::setPermissions(target, readOnly));
        const QStringList before = treeOf(dir.path());

        const QByteArray pdf = somePdf(1);
        QString failure;
        bool written = true;
        if (how == "bytes") {
            written = SaveFileBytes(path, "new", &failure, true);
        } else if (how == "device") {
            SaveFile file(path);
            file.setExpectPdf(true);
            written = file.open() && file.write(pdf) == pdf.size() && file.commit();
            failure = file.failureText();
        } else if (how == "printer") {
            written = !MakeTemporaryBeside(path, &failure).isEmpty();
            QVERIFY(!written);
            // Made read-only while the printer wrote: still refused at the end.
            QVERIFY(QFile::setPermissions(target, readOnly | QFile::WriteOwner));
            const QString temp = MakeTemporaryBeside(path, &failure);
            QVERIFY(!temp.isEmpty());
            WriteFileBytes(temp, pdf);
            QVERIFY(QFile::setPermissions(target, readOnly));
            written = CommitWrittenPdf(temp, path, &failure);
        } else {
            written = AppendToFile(path, "new record", &failure);
        }
        QVERIFY(!written);
        const QString shownName = throughLink ? QDir::toNativeSeparators(target) : name;
        QCOMPARE(failure, "The file " + path + " could not be written: " + shownName + " is read-only.");
        QCOMPARE(ReadFileBytes(target), old);
        QCOMPARE(QFile::permissions(target) & 0x7077, readOnly);
        QCOMPARE(treeOf(dir.path()), before);
    }
};

QTEST_MAIN(tst_savefile)
#include "tst_savefile.moc"
