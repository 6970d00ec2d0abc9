// Files written whole: a write that fails part way (a full disk, through the write seam) keeps
// the old file byte for byte, leaves no temporary file, and says which file and why.
#include "filebytes.h"
#include "savefile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>

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
};

QTEST_MAIN(tst_savefile)
#include "tst_savefile.moc"
