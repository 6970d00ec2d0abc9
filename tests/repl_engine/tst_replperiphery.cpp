// The synchronizer's operations around the direct exchange, over the SQLite engine: settings kept per machine,
// schedules, the indirect and Internet exchanges through drop boxes, moving, partial replicas, compaction,
// repair and data-definition statements.
#include <QProcess>
#include <QtTest>
#include <sqlite3.h>

#include "plaindb.h"
#include "syncprops.h"
#include "registry.h"
#include "replstore.h"
#include "utilities.h"
#include "varnock.h"

using namespace Varnock;

namespace {

// The rows of every replicated table that are in one file and not in the other, by their user columns and
// row identity (the local generation differs by nature).
int differingRows(const QString& a, const QString& b)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(a).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "ATTACH DATABASE ? AS other", -1, &s, nullptr);
    const QByteArray bp = QFile::encodeName(b);
    sqlite3_bind_text(s, 1, bp.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_step(s);
    sqlite3_finalize(s);
    QStringList tables;
    sqlite3_prepare_v2(db, "SELECT name FROM repl_tables ORDER BY name", -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW)
        tables << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    int differing = tables.isEmpty() ? -1 : 0;
    for (const QString& t : tables) {
        QStringList cols;
        sqlite3_prepare_v2(db, QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(t).toUtf8().constData(), -1,
                           &s, nullptr);
        while (sqlite3_step(s) == SQLITE_ROW) {
            const QString c = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
            if (c != QLatin1String("s_Generation") && c != QLatin1String("s_Lineage"))
                cols << QLatin1Char('"') + c + QLatin1Char('"');
        }
        sqlite3_finalize(s);
        const QString list = cols.join(QLatin1Char(','));
        const QString sql = QStringLiteral("SELECT (SELECT count(*) FROM (SELECT %1 FROM main.\"%2\" EXCEPT SELECT %1 FROM "
                                           "other.\"%2\")) + (SELECT count(*) FROM (SELECT %1 FROM other.\"%2\" EXCEPT "
                                           "SELECT %1 FROM main.\"%2\"))")
                                .arg(list, t);
        sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &s, nullptr);
        if (sqlite3_step(s) == SQLITE_ROW)
            differing += sqlite3_column_int(s, 0);
        else
            differing += 1000;
        sqlite3_finalize(s);
    }
    sqlite3_close_v2(db);
    return differing;
}

// Progress events of one kind, counted.
struct Events {
    int begun = 0, ended = 0, failed = 0, progress = 0;
    bool cancel = false;
};

}  // namespace

class TstReplPeriphery : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_n = 0;

    QString tunnelDb(const QString& name)
    {
        const QString p = newTunnelDb(m_dir.filePath(name));
        one(p, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (1, 1, 1, 'P1')");
        return p;
    }
    QString folder(const QString& name)
    {
        QDir(m_dir.path()).mkpath(name);
        return m_dir.filePath(name);
    }
    // Each "machine" has its own settings store, so its own synchronizer and drop box.
    void machine(const QString& name) { setRegistryStorePath(m_dir.filePath(name + QStringLiteral(".registry.db"))); }
    QString unique(const QString& stem) { return QStringLiteral("%1%2").arg(stem).arg(++m_n); }

    // A master managed by machine A and its replica managed by machine B, which have met once directly.
    void managedPair(QString& master, QString& replica, QString& boxA, QString& boxB)
    {
        master = tunnelDb(unique("master") + ".mdb");
        replica = m_dir.filePath(unique("field") + ".mdb");
        boxA = folder(unique("boxA"));
        boxB = folder(unique("boxB"));
        machine(QStringLiteral("A") + QFileInfo(master).baseName());
        {
            Synchronizer a;
            a.setIndirectDropbox(boxA);
            a.setDatabaseName(master);
            a.SynchronizerID();
            QVERIFY(a.ManagedReplicas()->Append(master));
            a.MakeReplica(replica, QStringLiteral("Field"));
        }
        machine(QStringLiteral("B") + QFileInfo(master).baseName());
        {
            Synchronizer b;
            b.setIndirectDropbox(boxB);
            b.setDatabaseName(replica);
            b.SynchronizerID();
            QVERIFY(b.ManagedReplicas()->Append(replica));
            QVERIFY(b.SynchDirect(master));
        }
    }

private slots:
    void cleanupTestCase() { setRegistryStorePath(QString()); }

    // The synchronizer's settings outlive the object and the process.
    void synchronizerSettingsPersist()
    {
        machine(QStringLiteral("settings"));
        const QString master = tunnelDb("settings.mdb");
        QString id;
        {
            Synchronizer s;
            s.setLogFile(m_dir.filePath("sync.log"));
            s.setIndirectDropbox(m_dir.filePath("box"));
            id = s.SynchronizerID();
            s.setDatabaseName(master);
            QVERIFY(s.ManagedReplicas()->Append(master));
        }
        {
            Synchronizer s;
            QCOMPARE(s.LogFile(), m_dir.filePath("sync.log"));
            QCOMPARE(s.IndirectDropbox(), m_dir.filePath("box"));
            QCOMPARE(s.SynchronizerID(), id);
            QCOMPARE(s.ManagedReplicas()->Count(), 1);
            QCOMPARE(s.ManagedReplicas()->Item(1)->ReplicaName(), master);
        }
        // Another process, with the engine over the same store, sees them.
        QProcess probe;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VARNOCK_REGISTRY"), m_dir.filePath("settings.registry.db"));
        probe.setProcessEnvironment(env);
        probe.start(QCoreApplication::applicationDirPath() + QStringLiteral("/repl_engine_syncprobe"), QStringList());
        QVERIFY(probe.waitForFinished(30000));
        const QStringList lines = QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'));
        QVERIFY2(lines.size() >= 3, qPrintable(lines.join(QLatin1Char('|'))));
        QCOMPARE(lines[0], m_dir.filePath("sync.log"));
        QCOMPARE(lines[1], id);
        QCOMPARE(lines[2], master);
        // The file records the synchronizer that manages it.
        QCOMPARE(one(master, "SELECT synchronizer_guid FROM repl_replicas r, repl_info i WHERE r.replica_guid = i.replica_guid"),
                 id);
        // Given up: out of the list for every later object, and the file no longer names the synchronizer.
        {
            Synchronizer s;
            s.ManagedReplicas()->Remove(1);
        }
        Synchronizer later;
        QCOMPARE(later.ManagedReplicas()->Count(), 0);
        QCOMPARE(one(master, "SELECT synchronizer_guid FROM repl_replicas r, repl_info i WHERE r.replica_guid = i.replica_guid"),
                 QStringLiteral("{00000000-0000-0000-0000-000000000000}"));
    }

    void defaultScheduleIsStoredPacked()
    {
        machine(QStringLiteral("schedule"));
        {
            Synchronizer s;
            QVERIFY(s.SetSimpleSchedule(QString(), synchDayMonday | synchDayFriday, 0.125, 2));
        }
        QVariant packed = QByteArray();
        QCOMPARE(SynchronizerStore::Get(21, packed), 0);
        const QByteArray bytes = packed.toByteArray();
        QCOMPARE(bytes.size(), 84);
        // Monday is row 1: quarter hours 12 and 12 + 42 = 54, in bytes 12+1 (bit 4) and 12+6 (bit 6).
        QByteArray expected(84, '\0');
        expected[12 + 1] = char(1 << 4);
        expected[12 + 6] = char(1 << 6);
        expected[60 + 1] = char(1 << 4);
        expected[60 + 6] = char(1 << 6);
        QCOMPARE(bytes.toHex(), expected.toHex());
        Synchronizer again;
        const ScheduleArray back = again.GetFullSchedule();
        QVERIFY(back.value(1, 12) && back.value(1, 54) && back.value(5, 12) && !back.value(0, 12));
        // The range checks come in their order, before anything is written.
        QCOMPARE(raisedCode([&] { again.SetSimpleSchedule(QString(), 128, 1.0, 0); }), 5014);
        QCOMPARE(raisedCode([&] { again.SetSimpleSchedule(QString(), 127, 1.0, 0); }), 5015);
        QCOMPARE(raisedCode([&] { again.SetSimpleSchedule(QString(), 127, 95.0 / 96, 2); }), 5016);
        QVERIFY(again.SetSimpleSchedule(QString(), 127, 95.0 / 96, 1));
        QVERIFY(again.GetFullSchedule().value(6, 95));
    }

    void partnerScheduleIsKeptInTheFile()
    {
        QString master, replica, boxA, boxB;
        managedPair(master, replica, boxA, boxB);
        machine(QStringLiteral("A") + QFileInfo(master).baseName());
        Synchronizer a;
        a.setDatabaseName(master);
        // No schedule yet: all false.
        const ScheduleArray none = a.GetFullSchedule(replica);
        for (int d = 0; d < 7; ++d)
            for (int q = 0; q < 96; ++q)
                QVERIFY(!none.value(d, q));
        ScheduleArray s;
        s.setValue(3, 17, true);
        s.setValue(6, 95, true);
        QVERIFY(a.SetFullSchedule(replica, s));
        const ScheduleArray back = a.GetFullSchedule(replica);
        QVERIFY(back.value(3, 17) && back.value(6, 95) && !back.value(0, 0));
        // The record as written: size, 1, 84, the packed bytes, "YOUPICK".
        const QByteArray record = QByteArray::fromHex(one(master, "SELECT hex(record) FROM repl_schedules").toLatin1());
        QCOMPARE(record.size(), 112);
        QCOMPARE(record.left(12).toHex(), QByteArray("700000000100000054000000"));
        QCOMPARE(quint8(record[12 + 3 * 12 + 2]), quint8(1 << 1));
        QCOMPARE(record.mid(96), QByteArray("YOUPICK").leftJustified(16, '\0'));
        // Another object, or a later run, reads the same schedule.
        Synchronizer later;
        later.setDatabaseName(master);
        QVERIFY(later.GetFullSchedule(replica).value(3, 17));
        QCOMPARE(raisedCode([&] { later.GetFullSchedule(master); }), 5007);
    }

    // master -> message -> replica -> reply -> master.
    void indirectRoundTrip()
    {
        QString master, replica, boxA, boxB;
        managedPair(master, replica, boxA, boxB);
        one(master, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (2, 1, 2, 'from master')");
        one(replica, "UPDATE Panels SET PanelName = 'renamed in the field' WHERE PanelID = 1");
        one(replica, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (3, 1, 3, 'from field')");
        QVERIFY(differingRows(master, replica) > 0);

        machine(QStringLiteral("A") + QFileInfo(master).baseName());
        QString exchange;
        {
            Synchronizer a;
            a.setDatabaseName(master);
            exchange = a.SynchIndirect2(replica);
            QCOMPARE(exchange.size(), 38);
            auto item = a.HistoryItemOfExchangeId(exchange);
            QCOMPARE(item->SynchStatus(), synchStatusRequested);
            QCOMPARE(item->ConnectionType(), synchConnTypeIndirect);
            QVERIFY(item->InitiatedHere());
        }
        QCOMPARE(QDir(boxB).entryList({"*.vmsg"}, QDir::Files).size(), 1);
        QVERIFY(QDir(boxB).entryList({".*.part"}, QDir::Files | QDir::Hidden).isEmpty());
        QCOMPARE(one(replica, "SELECT count(*) FROM Panels WHERE PanelID = 2"), QStringLiteral("0"));

        // The replica's synchronizer applies the message when it starts, and answers.
        machine(QStringLiteral("B") + QFileInfo(master).baseName());
        {
            Synchronizer b;
            b.setRunning(true);
            b.setDatabaseName(replica);
            auto item = b.HistoryItemOfExchangeId(exchange);
            QCOMPARE(item->SynchStatus(), synchStatusCompleted);
            QVERIFY(!item->InitiatedHere());
            QCOMPARE(item->InsertsReceived(), 1);
            b.setRunning(false);
        }
        QVERIFY(QDir(boxB).entryList({"*.vmsg"}, QDir::Files).isEmpty());
        QCOMPARE(one(replica, "SELECT PanelName FROM Panels WHERE PanelID = 2"), QStringLiteral("from master"));
        QCOMPARE(QDir(boxA).entryList({"*.vmsg"}, QDir::Files).size(), 1);

        machine(QStringLiteral("A") + QFileInfo(master).baseName());
        {
            Synchronizer a;
            a.setRunning(true);
            a.setDatabaseName(master);
            auto item = a.HistoryItemOfExchangeId(exchange);
            QCOMPARE(item->SynchStatus(), synchStatusCompleted);
            QVERIFY(item->InitiatedHere());
            QCOMPARE(item->InsertsReceived(), 1);
            QCOMPARE(item->UpdatesReceived(), 1);
            a.setRunning(false);
        }
        QVERIFY(QDir(boxA).entryList({"*.vmsg"}, QDir::Files).isEmpty());
        QCOMPARE(one(master, "SELECT PanelName FROM Panels WHERE PanelID = 1"), QStringLiteral("renamed in the field"));
        QCOMPARE(differingRows(master, replica), 0);

        // The same with Debian's sqldiff, on copies without the per-file generation columns.
        const QString sqldiff = QStandardPaths::findExecutable(QStringLiteral("sqldiff"));
        if (sqldiff.isEmpty()) {
            qInfo("sqldiff (sqlite3-tools) is not installed; the comparison above stands alone");
            return;
        }
        const QStringList tables = [&] {
            QStringList out;
            sqlite3* db = nullptr;
            sqlite3_open_v2(QFile::encodeName(master).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
            sqlite3_stmt* s = nullptr;
            sqlite3_prepare_v2(db, "SELECT name FROM repl_tables", -1, &s, nullptr);
            while (sqlite3_step(s) == SQLITE_ROW)
                out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
            sqlite3_finalize(s);
            sqlite3_close_v2(db);
            return out;
        }();
        QStringList copies;
        for (const QString& f : {master, replica}) {
            const QString copy = f + QStringLiteral(".cmp");
            QVERIFY(QFile::copy(f, copy));
            one(copy, "UPDATE repl_info SET applying = 1");
            for (const QString& t : tables)
                one(copy, QStringLiteral("UPDATE \"%1\" SET s_Generation = NULL, s_Lineage = NULL").arg(t));
            copies << copy;
        }
        for (const QString& t : tables) {
            QProcess p;
            p.start(sqldiff, {QStringLiteral("--table"), t, copies[0], copies[1]});
            QVERIFY(p.waitForFinished(30000));
            QCOMPARE(p.exitCode(), 0);
            QVERIFY2(p.readAllStandardOutput().trimmed().isEmpty(), qPrintable(t));
        }
    }

    // One direction only: the partner takes the changes, or only answers with its own; the sender's history
    // row is completed by the answer either way.
    void indirectOneWay_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("replicaGets");
        QTest::addColumn<bool>("masterGets");
        QTest::newRow("export") << int(synchTypeReplExport) << true << false;
        QTest::newRow("import") << int(synchTypeReplImport) << false << true;
    }
    void indirectOneWay()
    {
        QFETCH(int, type);
        QFETCH(bool, replicaGets);
        QFETCH(bool, masterGets);
        QString master, replica, boxA, boxB;
        managedPair(master, replica, boxA, boxB);
        one(master, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (2, 1, 2, 'm')");
        one(replica, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (3, 1, 3, 'r')");
        const QString a = QStringLiteral("A") + QFileInfo(master).baseName();
        const QString b = QStringLiteral("B") + QFileInfo(master).baseName();
        machine(a);
        QString exchange;
        {
            Synchronizer s;
            s.setDatabaseName(master);
            exchange = s.SynchIndirect2(replica, type);
        }
        machine(b);
        {
            Synchronizer s;
            s.setRunning(true);
        }
        machine(a);
        {
            Synchronizer s;
            s.setRunning(true);
            s.setDatabaseName(master);
            QCOMPARE(s.HistoryItemOfExchangeId(exchange)->SynchStatus(), synchStatusCompleted);
        }
        QVERIFY(QDir(boxA).entryList({"*.vmsg"}, QDir::Files).isEmpty());
        QVERIFY(QDir(boxB).entryList({"*.vmsg"}, QDir::Files).isEmpty());
        QCOMPARE(one(replica, "SELECT count(*) FROM Panels WHERE PanelID = 2"), replicaGets ? "1" : "0");
        QCOMPARE(one(master, "SELECT count(*) FROM Panels WHERE PanelID = 3"), masterGets ? "1" : "0");
    }

    void indirectRefusals()
    {
        QString master, replica, boxA, boxB;
        managedPair(master, replica, boxA, boxB);
        machine(QStringLiteral("A") + QFileInfo(master).baseName());
        Synchronizer a;
        a.setDatabaseName(master);
        QCOMPARE(raisedCode([&] { a.SynchIndirect(m_dir.filePath("nobody.mdb")); }), 5003);
        // Without a drop box of its own the synchronizer is not set up for indirect exchanges.
        a.setIndirectDropbox(QString());
        QCOMPARE(raisedCode([&] { a.SynchIndirect(replica); }), 5013);
        QVERIFY(QDir(boxB).entryList({"*.vmsg"}, QDir::Files).isEmpty());
        // A drop box that cannot be reached: an error, no half-written message, the data as it was and a
        // failed history row.
        a.setIndirectDropbox(boxA);
        const QString panels = one(master, "SELECT group_concat(PanelName) FROM Panels");
        QVERIFY(QDir().rename(boxB, boxB + "-gone"));
        QVERIFY(raisedCode([&] { a.SynchIndirect(replica); }) != 0);
        QVERIFY(QDir(boxB + "-gone").entryList(QDir::Files | QDir::Hidden).isEmpty());
        QCOMPARE(one(master, "SELECT group_concat(PanelName) FROM Panels"), panels);
        QCOMPARE(one(master, "PRAGMA integrity_check"), QStringLiteral("ok"));
        QCOMPARE(one(master, "SELECT count(*) FROM repl_history WHERE status = 3 AND connection_type = 1"),
                 QStringLiteral("1"));
    }

    void internetTakesOnlyLocalFolders()
    {
        QString master, replica, boxA, boxB;
        managedPair(master, replica, boxA, boxB);
        machine(QStringLiteral("A") + QFileInfo(master).baseName());
        Synchronizer a;
        a.setDatabaseName(master);
        QVERIFY(!a.SynchInternet(QStringLiteral("http://example.invalid/sync")));
        QVERIFY(!a.SynchInternet(m_dir.filePath("no such folder")));
        QVERIFY(a.SynchInternet(QUrl::fromLocalFile(boxB).toString()));
        QVERIFY(a.SynchInternet(boxB, synchTypeReplExport));
        QCOMPARE(QDir(boxB).entryList({"*.vmsg"}, QDir::Files).size(), 2);
        QCOMPARE(one(master, "SELECT count(*) FROM repl_history WHERE connection_type = 2 AND status = 0"),
                 QStringLiteral("2"));
        // The partner's synchronizer named by its GUID: its drop box as the file knows it.
        const QString partnerSync = one(master, QStringLiteral("SELECT synchronizer_guid FROM repl_replicas WHERE unc_name = '%1'")
                                                    .arg(QFileInfo(replica).absoluteFilePath()));
        QCOMPARE(partnerSync.size(), 38);
        QVERIFY(a.SynchInternet(partnerSync, synchTypeReplExport));
        QVERIFY(!a.SynchInternet(GuidToString(NewGuid()), synchTypeReplExport));
        QCOMPARE(QDir(boxB).entryList({"*.vmsg"}, QDir::Files).size(), 3);
        // Applied by the partner like any message.
        one(master, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (7, 1, 7, 'by file')");
        QVERIFY(a.SynchInternet(boxB, synchTypeReplExport));
        machine(QStringLiteral("B") + QFileInfo(master).baseName());
        Synchronizer b;
        b.setRunning(true);
        QVERIFY(QDir(boxB).entryList({"*.vmsg"}, QDir::Files).isEmpty());
        QCOMPARE(one(replica, "SELECT PanelName FROM Panels WHERE PanelID = 7"), QStringLiteral("by file"));
    }

    void moveReplica()
    {
        QString master, replica, boxA, boxB;
        managedPair(master, replica, boxA, boxB);
        Synchronizer b;   // machine B manages the replica
        const QString moved = m_dir.filePath(unique("moved") + ".mdb");
        QVERIFY(b.MoveReplica(replica, moved));
        QVERIFY(!QFileInfo::exists(replica));
        QCOMPARE(one(moved, "SELECT unc_name FROM repl_replicas r, repl_info i WHERE r.replica_guid = i.replica_guid"),
                 QFileInfo(moved).absoluteFilePath());
        QCOMPARE(b.ManagedReplicas()->Item(1)->ReplicaName(), moved);
        // Refused moves answer False and leave the file where it was.
        QVERIFY(!b.MoveReplica(moved, master));
        QVERIFY(!b.MoveReplica(replica, m_dir.filePath("x.mdb")));
        QFile journal(moved + "-journal");
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.close();
        QVERIFY(!b.MoveReplica(moved, m_dir.filePath("y.mdb")));
        QVERIFY(QFileInfo::exists(moved));
        QFile::remove(moved + "-journal");
    }

    void populatePartial()
    {
        machine(QStringLiteral("partial"));
        const QString master = tunnelDb(unique("pmaster") + ".mdb");
        const QString partial = m_dir.filePath(unique("partial") + ".mdb");
        const QString plain = m_dir.filePath(unique("plainreplica") + ".mdb");
        Synchronizer s;
        s.setDatabaseName(master);
        s.MakeReplica(partial, "Partial", std::int32_t(-1), true);
        s.MakeReplica(plain, "Full");
        // Without partial filters every row of the full replica belongs to the partial one.
        one(master, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (5, 1, 5, 'later')");
        one(partial, "INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (6, 1, 6, 'in partial')");
        s.PopulatePartial(master, partial);
        QCOMPARE(one(partial, "SELECT PanelName FROM Panels WHERE PanelID = 5"), QStringLiteral("later"));
        QCOMPARE(one(master, "SELECT PanelName FROM Panels WHERE PanelID = 6"), QStringLiteral("in partial"));
        QCOMPARE(raisedCode([&] { s.PopulatePartial(master, m_dir.filePath("none.mdb")); }), 5001);
        // A replica that is not partial is refused.
        QCOMPARE(raisedCode([&] { s.PopulatePartial(master, plain); }), 5003);
    }

    void compactDatabase()
    {
        machine(QStringLiteral("compact"));
        const QString source = tunnelDb(unique("compact") + ".mdb");
        for (int i = 10; i < 400; ++i)
            one(source, QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (%1, 1, %1, '%2')")
                            .arg(i)
                            .arg(QString(200, QLatin1Char('x'))));
        one(source, "DELETE FROM Panels WHERE PanelID > 10");
        const QByteArray before = fileBytes(source);
        Synchronizer s;
        Events ev;
        connect(&s, &Synchronizer::BeginCompactRepair, [&] { ++ev.begun; });
        connect(&s, &Synchronizer::EndCompactRepair, [&] { ++ev.ended; });
        connect(&s, &Synchronizer::CompactRepairFailed, [&] { ++ev.failed; });
        connect(&s, &Synchronizer::CompactRepairProgress, [&](std::int32_t& done, std::int32_t& total, bool& cancel) {
            ++ev.progress;
            QVERIFY(done >= 0 && done <= total && total > 0);
            cancel = ev.cancel;
        });
        const QString dest = m_dir.filePath(unique("compacted") + ".mdb");
        s.CompactDatabase(source, dest);
        QCOMPARE(ev.begun, 1);
        QCOMPARE(ev.ended, 1);
        QCOMPARE(ev.failed, 0);
        QVERIFY(ev.progress >= 2);
        QVERIFY(QFileInfo(dest).size() < QFileInfo(source).size());
        QCOMPARE(one(dest, "PRAGMA integrity_check"), QStringLiteral("ok"));
        QCOMPARE(one(dest, "SELECT count(*) FROM Panels"), one(source, "SELECT count(*) FROM Panels"));
        QCOMPARE(fileBytes(source), before);   // only read

        // An existing destination, and a cancelled compaction, leave no file behind and the source whole.
        ev = Events();
        QVERIFY(raisedCode([&] { s.CompactDatabase(source, dest); }) != 0);
        QCOMPARE(ev.failed, 1);
        ev = Events();
        ev.cancel = true;
        const QString cancelled = m_dir.filePath(unique("cancelled") + ".mdb");
        QVERIFY(raisedCode([&] { s.CompactDatabase(source, cancelled); }) != 0);
        QCOMPARE(ev.failed, 1);
        QCOMPARE(ev.ended, 0);
        QVERIFY(!QFileInfo::exists(cancelled));
        QVERIFY(QDir(m_dir.path()).entryList({"*.part"}, QDir::Files | QDir::Hidden).isEmpty());
        QCOMPARE(fileBytes(source), before);
        QVERIFY(raisedCode([&] { s.CompactDatabase(m_dir.filePath("missing.mdb"), m_dir.filePath("m2.mdb")); }) != 0);
    }

    void repairIsNotSupported()
    {
        machine(QStringLiteral("repair"));
        const QString source = tunnelDb(unique("repair") + ".mdb");
        Synchronizer s;
        Events ev;
        connect(&s, &Synchronizer::BeginCompactRepair, [&] { ++ev.begun; });
        connect(&s, &Synchronizer::CompactRepairFailed, [&] { ++ev.failed; });
        QCOMPARE(raisedCode([&] { s.RepairDatabase(source); }), 5023);
        QCOMPARE(ev.begun, 1);
        QCOMPARE(ev.failed, 1);
    }

    void executeDdl()
    {
        QString master, replica, boxA, boxB;
        managedPair(master, replica, boxA, boxB);
        Synchronizer s;
        Events ev;
        connect(&s, &Synchronizer::BeginDdlOperation, [&] { ++ev.begun; });
        connect(&s, &Synchronizer::EndDdlOperation, [&] { ++ev.ended; });
        connect(&s, &Synchronizer::DdlOperationFailed, [&] { ++ev.failed; });
        connect(&s, &Synchronizer::DdlOperationProgress, [&](std::int32_t&, std::int32_t&, bool&) { ++ev.progress; });
        // At the Design Master a replicated table's design can change, and the change reaches the replica.
        try {
            s.ExecuteDdlSql(master, "ALTER TABLE Panels ADD COLUMN Remark TEXT");
        } catch (const SynchronizerError& e) {
            QFAIL(qPrintable(e.description()));
        }
        QCOMPARE(ev.begun, 1);
        QCOMPARE(ev.ended, 1);
        QCOMPARE(ev.progress, 2);
        one(master, "UPDATE Panels SET Remark = 'checked' WHERE PanelID = 1");
        s.setDatabaseName(master);
        QVERIFY(s.SynchDirect(replica));
        QCOMPARE(one(replica, "SELECT Remark FROM Panels WHERE PanelID = 1"), QStringLiteral("checked"));
        // In the replica: refused with 5005 and nothing changed; local tables are free.
        ev = Events();
        QCOMPARE(raisedCode([&] { s.ExecuteDdlSql(replica, "DROP TABLE Panels"); }), 5005);
        QCOMPARE(ev.failed, 1);
        QCOMPARE(one(replica, "SELECT count(*) FROM Panels"), QStringLiteral("1"));
        QCOMPARE(raisedCode([&] { s.ExecuteDdlSql(replica, "CREATE INDEX PanelsByName ON Panels (PanelName)"); }), 5005);
        s.ExecuteDdlSql(replica, "CREATE TABLE LocalNotes (Id INTEGER PRIMARY KEY, Note TEXT)");
        QCOMPARE(one(replica, "SELECT count(*) FROM LocalNotes"), QStringLiteral("0"));
        // The replication tables are the engine's own, even at the Design Master.
        QVERIFY(raisedCode([&] { s.ExecuteDdlSql(master, "DELETE FROM repl_tombstones"); }) != 0);
        QVERIFY(raisedCode([&] { s.ExecuteDdlSql(master, "DROP TABLE repl_info"); }) != 0);
        QVERIFY(raisedCode([&] { s.ExecuteDdlSql(master, "DROP TRIGGER repl_ai_Panels"); }) != 0);
        QCOMPARE(one(master, "SELECT count(*) FROM sqlite_master WHERE name = 'repl_ai_Panels'"), QStringLiteral("1"));
        QCOMPARE(raisedCode([&] { s.ExecuteDdlSql(m_dir.filePath("none.mdb"), "CREATE TABLE t (a)"); }), 5001);
        QVERIFY(raisedCode([&] { s.ExecuteDdlSql(master, "CREATE TABLE a (x); CREATE TABLE b (y)"); }) != 0);
        QCOMPARE(one(master, "SELECT count(*) FROM sqlite_master WHERE name IN ('a', 'b')"), QStringLiteral("0"));
        // Dropping a replicated table at the Design Master takes it out of the replicated ones.
        one(master, "CREATE TABLE Scratch (Id INTEGER PRIMARY KEY)");
        one(master, "INSERT INTO repl_tables (name) VALUES ('Scratch')");
        s.ExecuteDdlSql(master, "DROP TABLE Scratch");
        QCOMPARE(one(master, "SELECT count(*) FROM repl_tables WHERE name = 'Scratch'"), QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TstReplPeriphery)
#include "tst_replperiphery.moc"
