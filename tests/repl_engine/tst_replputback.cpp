// A file put back from its own backup (a plain copy taken while it was closed, or the sqlite3 shell's .backup)
// in its own place, after it had exchanged further: it gets back what it lost, and what is written into it
// afterwards reaches its partner; where its lost history had written the same rows, as a conflict.
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include "plaindb.h"
#include "replpair.h"
#include "replstore.h"

using namespace Varnock::Store;

namespace {

const QStringList kTables = {QStringLiteral("Panels"), QStringLiteral("Tunnels")};

void fivePanels(const QString& path)
{
    fillTunnel(path, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (1, 1, 1, 'P1'), (2, 1, 2, 'P2'), "
                     "(3, 1, 3, 'P3'), (4, 1, 4, 'P4'), (5, 1, 5, 'P5');");
}

QString write(const QString& path, const QString& sql)
{
    Plain db(path);
    return db.exec(sql) == SQLITE_OK ? QString() : db.error();
}

// Exchanges until one sends nothing; the number of exchanges that sent something (-1: never quiet, or a failure).
int exchangeUntilQuiet(const QString& a, const QString& b)
{
    for (int i = 0; i < 6; ++i) {
        Exchange e;
        QString error;
        if (synchronize(a, b, Direction::Both, {}, {}, &e, &error) != 0) {
            qWarning("%s", qPrintable(error));
            return -1;
        }
        if (sent(e) == 0)
            return i;
    }
    return -1;
}

}  // namespace

class TstReplPutBack : public QObject {
    Q_OBJECT

    OfficeAndField m_pairs;

private slots:
    void initTestCase() { QVERIFY(m_pairs.dir.isValid()); }

    void fileFromItsBackupSendsWhatIsWrittenIntoIt_data()
    {
        QTest::addColumn<bool>("office");        // the office file (the Design Master) is put back, else the field replica
        QTest::addColumn<bool>("shellBackup");   // taken with the sqlite3 shell's .backup, else copied while closed
        QTest::addColumn<bool>("lostRename");    // the lost history had renamed panel 4 as well
        QTest::newRow("replica, plain copy") << false << false << false;
        QTest::newRow("replica, .backup") << false << true << false;
        QTest::newRow("replica, plain copy, panel 4 renamed in the lost history too") << false << false << true;
        QTest::newRow("master, plain copy") << true << false << false;
        QTest::newRow("master, .backup") << true << true << false;
        QTest::newRow("master, .backup, panel 4 renamed in the lost history too") << true << true << true;
    }
    void fileFromItsBackupSendsWhatIsWrittenIntoIt()
    {
        QFETCH(bool, office);
        QFETCH(bool, shellBackup);
        QFETCH(bool, lostRename);
        QString master, field;
        m_pairs.make(fivePanels, &master, &field);
        const QString restored = office ? master : field;
        const QString partner = office ? field : master;
        const QString backup = restored + QStringLiteral(".bak");

        QCOMPARE(write(restored, QStringLiteral("UPDATE Panels SET PanelName = 'one changed' WHERE PanelID = 1")), QString());
        QCOMPARE(exchangeUntilQuiet(field, master), 1);
        if (shellBackup) {
            const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
            if (shell.isEmpty())
                QSKIP("the sqlite3 shell is not installed");
            QProcess p;
            p.start(shell, {restored, QStringLiteral(".backup '%1'").arg(backup)});
            QVERIFY(p.waitForFinished(30000));
            QCOMPARE(p.exitCode(), 0);
        } else {
            QVERIFY(QFile::copy(restored, backup));
        }

        // The history the backup does not hold: both files write and exchange twice.
        QCOMPARE(write(restored, QStringLiteral("UPDATE Panels SET PanelName = 'two lost' WHERE PanelID = 2")), QString());
        QCOMPARE(write(partner, QStringLiteral("UPDATE Panels SET PanelName = 'three by the partner' WHERE PanelID = 3")), QString());
        QVERIFY(synchronize(field, master, Direction::Both) == 0);
        // Written in a generation after the one the backup was still writing.
        if (lostRename)
            QCOMPARE(write(restored, QStringLiteral("UPDATE Panels SET PanelName = 'four lost' WHERE PanelID = 4")), QString());
        QCOMPARE(write(partner, QStringLiteral("UPDATE Panels SET PanelNum = 33 WHERE PanelID = 3")), QString());
        QVERIFY(synchronize(field, master, Direction::Both) == 0);

        // Put back, then written.
        QVERIFY(QFile::remove(restored));
        QVERIFY(QFile::copy(backup, restored));
        QCOMPARE(write(restored, QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) "
                                                "VALUES (500, 1, 500, 'P500');"
                                                "UPDATE Panels SET PanelName = 'four renamed' WHERE PanelID = 4")),
                 QString());

        QVERIFY(exchangeUntilQuiet(field, master) >= 1);
        QCOMPARE(one(partner, QStringLiteral("SELECT PanelName FROM Panels WHERE PanelID = 500")), QStringLiteral("P500"));
        // Where the lost history had renamed panel 4 as well, the two names are a conflict like any other: one is
        // kept, the other set aside in both files.
        if (lostRename)
            QCOMPARE(one(partner, QStringLiteral("SELECT (SELECT count(*) FROM Panels WHERE PanelID = 4 AND PanelName = "
                                                 "'four renamed') + (SELECT count(*) > 0 FROM repl_conflicts WHERE tbl = "
                                                 "'Panels' AND json_extract(row_data, '$.PanelName') = 'four renamed')")),
                     QStringLiteral("1"));
        else
            QCOMPARE(one(partner, QStringLiteral("SELECT PanelName FROM Panels WHERE PanelID = 4")), QStringLiteral("four renamed"));
        // What the file put back had lost comes back to it.
        QCOMPARE(one(restored, QStringLiteral("SELECT PanelName || PanelNum FROM Panels WHERE PanelID = 3")),
                 QStringLiteral("three by the partner33"));
        QCOMPARE(one(restored, QStringLiteral("SELECT PanelName FROM Panels WHERE PanelID = 1")), QStringLiteral("one changed"));
        QCOMPARE(tableContent(master, kTables), tableContent(field, kTables));

        // Later writes on either side go as usual, and the pair falls quiet again.
        QCOMPARE(write(restored, QStringLiteral("UPDATE Panels SET PanelNum = 55 WHERE PanelID = 5")), QString());
        QCOMPARE(exchangeUntilQuiet(field, master), 1);
        QCOMPARE(one(partner, QStringLiteral("SELECT PanelNum FROM Panels WHERE PanelID = 5")), QStringLiteral("55"));
        QCOMPARE(tableContent(master, kTables), tableContent(field, kTables));
    }

    // A replica put back exchanges with a sibling first, so its generation passes what its partner remembers of it;
    // its own history still tells it is behind, and what it took in while put back reaches the partner directly.
    void putBackFileKnownByItsHistory()
    {
        QString master, field;
        m_pairs.make(fivePanels, &master, &field);
        const QString sibling = m_pairs.dir.filePath(QStringLiteral("sibling%1.db").arg(m_pairs.serial));
        QCOMPARE(makeReplica(master, sibling, QStringLiteral("Sibling"), 80, 0), 0);
        const QString backup = field + QStringLiteral(".bak");
        QVERIFY(QFile::copy(field, backup));
        QCOMPARE(write(field, QStringLiteral("UPDATE Panels SET PanelName = 'two lost' WHERE PanelID = 2")), QString());
        QVERIFY(synchronize(field, master, Direction::Both) == 0);

        QVERIFY(QFile::remove(field));
        QVERIFY(QFile::copy(backup, field));
        QCOMPARE(write(field, QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) "
                                             "VALUES (500, 1, 500, 'P500')")),
                 QString());
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(write(sibling, QStringLiteral("UPDATE Panels SET PanelNum = %1 WHERE PanelID = 3").arg(40 + i)), QString());
            QVERIFY(synchronize(field, sibling, Direction::Both) == 0);
        }
        QVERIFY(exchangeUntilQuiet(field, master) >= 1);
        QCOMPARE(one(master, QStringLiteral("SELECT PanelName FROM Panels WHERE PanelID = 500")), QStringLiteral("P500"));
        QCOMPARE(one(field, QStringLiteral("SELECT PanelName FROM Panels WHERE PanelID = 2")), QStringLiteral("two lost"));
        QCOMPARE(tableContent(master, kTables), tableContent(field, kTables));
    }

    // A file and its partner that only exchange, with nothing put back, are never taken for one put back: each
    // exchange sends only what changed, and their generations move by the exchanges alone.
    void exchangesAloneSendOnlyChanges()
    {
        QString master, field;
        m_pairs.make(fivePanels, &master, &field);
        for (int round = 0; round < 4; ++round) {
            QCOMPARE(write(round % 2 ? master : field,
                           QStringLiteral("UPDATE Panels SET PanelNum = %1 WHERE PanelID = 2").arg(100 + round)),
                     QString());
            Exchange e;
            QCOMPARE(synchronize(round < 2 ? field : master, round < 2 ? master : field, Direction::Both, {}, {}, &e), 0);
            QCOMPARE(sent(e), 1);
        }
        for (const QString& f : {master, field})
            QVERIFY(one(f, QStringLiteral("SELECT generation FROM repl_info")).toLongLong() < 100);
    }

    // A replica put back renames a panel and is known as put back at its first exchange, with the master; a sibling
    // holds a later rename of the same panel from the replica's lost history, which the master never saw. Wherever
    // the two names meet, they are a conflict: the new name is kept or set aside, never dropped as older.
    void putBackWriteMeetsLostHistoryInAThirdFile()
    {
        QString master, field;
        m_pairs.make(fivePanels, &master, &field);
        const QString sibling = m_pairs.dir.filePath(QStringLiteral("sibling%1.db").arg(m_pairs.serial));
        QCOMPARE(makeReplica(master, sibling, QStringLiteral("Sibling"), 80, 0), 0);
        const QString backup = field + QStringLiteral(".bak");
        QVERIFY(QFile::copy(field, backup));

        // The lost history: exchanges with the master, then a rename that only the sibling gets.
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(write(field, QStringLiteral("UPDATE Panels SET PanelNum = %1 WHERE PanelID = 2").arg(20 + i)), QString());
            QVERIFY(synchronize(field, master, Direction::Both) == 0);
        }
        QCOMPARE(write(field, QStringLiteral("UPDATE Panels SET PanelName = 'four lost' WHERE PanelID = 4")), QString());
        QVERIFY(synchronize(field, sibling, Direction::Both) == 0);

        QVERIFY(QFile::remove(field));
        QVERIFY(QFile::copy(backup, field));
        QCOMPARE(write(field, QStringLiteral("UPDATE Panels SET PanelName = 'four renamed' WHERE PanelID = 4")), QString());
        QVERIFY(synchronize(field, master, Direction::Both) == 0);
        QCOMPARE(one(master, QStringLiteral("SELECT PanelName FROM Panels WHERE PanelID = 4")), QStringLiteral("four renamed"));

        for (int round = 0; round < 3; ++round)
            for (const auto& [a, b] : {std::pair{master, sibling}, std::pair{field, sibling}, std::pair{field, master}})
                QVERIFY(synchronize(a, b, Direction::Both) == 0);
        QCOMPARE(tableContent(master, kTables), tableContent(field, kTables));
        QCOMPARE(tableContent(master, kTables), tableContent(sibling, kTables));
        const QString kept = one(master, QStringLiteral("SELECT PanelName FROM Panels WHERE PanelID = 4"));
        QVERIFY2(kept == QLatin1String("four renamed") || kept == QLatin1String("four lost"), qPrintable(kept));
        const QString other = kept == QLatin1String("four renamed") ? QStringLiteral("four lost") : QStringLiteral("four renamed");
        int setAside = 0;
        for (const QString& f : {master, field, sibling})
            setAside += one(f, QStringLiteral("SELECT count(*) FROM repl_conflicts WHERE tbl = 'Panels' AND "
                                              "json_extract(row_data, '$.PanelName') = '%1'")
                                   .arg(other))
                            .toInt();
        QVERIFY2(setAside > 0, qPrintable(other + QStringLiteral(" was dropped")));
    }
};

QTEST_GUILESS_MAIN(TstReplPutBack)
#include "tst_replputback.moc"
