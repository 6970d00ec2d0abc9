// The replica creation window and the replica synchronisation window, on real files.
#include "fieldcommon.h"
#include "fieldfixture.h"
#include "frmCreateReplica.h"
#include "dbusers.h"
#include "frmSyncData.h"
#include "helpers.h"
#include "passwords.h"
#include "schema.h"
#include "scriptedprompt.h"
#include "filebytes.h"
#include "smalldisk.h"

#include <varnock.h>

#include <QApplication>
#include <QComboBox>
#include <QFileSystemModel>
#include <QTreeView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <sys/mount.h>

using namespace fieldtest;

namespace {

const QString kExists = QStringLiteral("The file you specified already exists.\nPlease choose another filename for the "
                                       "replica.");
const QString kNotMember = QStringLiteral("The selected database file does not appear to be part of the KRV Replica "
                                          "Set or is not a replicated database.\nData synchronization was not performed.");

// The users table as it stands: name, password hash and both rights of each user.
QStringList users()
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT Username, Password, Wizard, DataEntry FROM login ORDER BY Username"));
    QStringList out;
    for (int r = 0; r < rs.count(); ++r)
        out << QStringLiteral("%1|%2|%3|%4")
                   .arg(rs.value(r, "Username").toString(), rs.value(r, "Password").toString(),
                        rs.value(r, "Wizard").toString(), rs.value(r, "DataEntry").toString());
    return out;
}

// What the window shows each time it lets events through while it works.
struct Watch {
    QStringList statuses;
    bool buttonsEverEnabled = false;
    int maxTotal = 0;
    bool nestedRunStarted = false;
};

}  // namespace

class TstReplicas : public QObject {
    Q_OBJECT

    QTemporaryDir m_registry;
    std::unique_ptr<Master> m_master;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    QString m_out;

    frmCreateReplica* creator(const QString& name, const QString& count)
    {
        auto* w = new frmCreateReplica;
        w->setDirPath(m_out);
        w->txtFileName->setText(name);
        w->txtNumReps->setText(count);
        return w;
    }

private slots:
    void initTestCase() { qputenv("VARNOCK_REGISTRY", m_registry.filePath("registry.db").toUtf8()); }

    void init()
    {
        m_master = std::make_unique<Master>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        m_out = m_master->install.file("stick");
        QDir().mkpath(m_out);
    }
    void cleanup()
    {
        m_prompt.reset();
        m_master.reset();
    }

    void namesAndPaths()
    {
        const QDate d(2004, 5, 14);
        QCOMPARE(DefaultReplicaFileName(d),
                 "KRV_Replica_" + ReplicaDateText(d, QLocale::system().dateFormat(QLocale::ShortFormat)) + ".db");
        QVERIFY(QRegularExpression("^KRV_Replica_\\d+_\\d+_\\d{4}\\.db$").match(DefaultReplicaFileName(d)).hasMatch());
        QCOMPARE(ReplicaDescription(d), "KRV Inspection Replica " + ShortDateText(d));
        QCOMPARE(ReplicaFilePath("/m", "KRV_Replica_5_14_2004.db", 1, 1), QString("/m/KRV_Replica_5_14_2004.db"));
        QCOMPARE(ReplicaFilePath("/m/", "KRV_Replica_5_14_2004.db", 3, 2), QString("/m/KRV_Replica_5_14_2004_2.db"));
        QVERIFY(HasReplicaExtension(" field.db "));
        QVERIFY(!HasReplicaExtension("field.DB"));
        QVERIFY(!HasReplicaExtension("field.mdb"));
        auto* w = new frmCreateReplica;
        QCOMPARE(w->txtFileName->text(), DefaultReplicaFileName(QDate::currentDate()));
        QVERIFY(w->prgStatus->isHidden());
        w->Unload();
    }

    // The proposed name is a file name without spaces in every locale: the numeric short date.
    void theProposedNameHasNoSpaces_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        QTest::newRow("C locale") << QLocale::c().dateFormat(QLocale::ShortFormat) << "12_11_2026";
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates).dateFormat(QLocale::ShortFormat)
                               << "12_11_2026";
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany).dateFormat(QLocale::ShortFormat)
                               << "11_12_2026";
        QTest::newRow("sv_SE") << QLocale(QLocale::Swedish, QLocale::Sweden).dateFormat(QLocale::ShortFormat)
                               << "2026_12_11";
        QTest::newRow("cs_CZ") << QLocale(QLocale::Czech, QLocale::CzechRepublic).dateFormat(QLocale::ShortFormat)
                               << "11_12_2026";
        QTest::newRow("ar_EG") << QLocale(QLocale::Arabic, QLocale::Egypt).dateFormat(QLocale::ShortFormat)
                               << "11_12_2026";
        QTest::newRow("month spelt") << "d MMM yyyy" << "12_11_2026";
        QTest::newRow("weekday") << "ddd d/M/yy" << "12_11_2026";
    }
    void theProposedNameHasNoSpaces()
    {
        QFETCH(QString, format);
        QFETCH(QString, expected);
        QCOMPARE(ReplicaDateText(QDate(2026, 12, 11), format), expected);
    }

    // Create writes where the folder list shows: the chosen folder (the home folder when none
    // was chosen) is opened and selected in the list.
    void theFolderListShowsWhereCreateWrites()
    {
        auto* w = new frmCreateReplica;
        w->show();
        auto* model = qobject_cast<QFileSystemModel*>(w->dirList->model());
        QVERIFY(model);
        auto shown = [&](const QString& folder) {
            const QModelIndex current = w->dirList->currentIndex();
            if (model->filePath(current) != folder || !w->dirList->selectionModel()->isSelected(current))
                return false;
            for (QModelIndex p = current.parent(); p.isValid(); p = p.parent())
                if (!w->dirList->isExpanded(p))
                    return false;
            return true;
        };
        QCOMPARE(w->dirPath(), QDir::homePath());
        QTRY_VERIFY_WITH_TIMEOUT(shown(QDir::homePath()) && w->chosenFolderInSight(), 5000);
        QDir().mkpath(m_out + "/deep/er");
        w->setDirPath(m_out + "/deep/er");
        QTRY_VERIFY_WITH_TIMEOUT(shown(m_out + "/deep/er") && w->chosenFolderInSight(), 5000);
        QCOMPARE(w->dirPath(), m_out + "/deep/er");
        w->Unload();
    }

    // Folders that appear after the list has shown the chosen one, sorted before it, push it
    // down: the list brings it back into sight, selected.
    void theChosenFolderStaysInSightAsTheListFills()
    {
        QDir().mkpath(m_out + "/zz");
        auto* w = creator("Field.db", "1");
        w->show();
        w->setDirPath(m_out + "/zz");
        QTRY_VERIFY_WITH_TIMEOUT(w->chosenFolderInSight(), 5000);
        for (int i = 0; i < 80; ++i)
            QDir().mkpath(m_out + QStringLiteral("/a%1").arg(i, 2, 10, QLatin1Char('0')));
        auto* model = qobject_cast<QFileSystemModel*>(w->dirList->model());
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount(model->index(m_out)) == 81, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(w->chosenFolderInSight(), 5000);
        // Not only at the end of a run of loads: it stays so.
        QTest::qWait(200);
        QVERIFY(w->chosenFolderInSight());
        QCOMPARE(model->filePath(w->dirList->currentIndex()), m_out + "/zz");
        // Picked by hand at the list's lower edge, as a user scrolls to it and clicks it.
        w->dirList->setCurrentIndex(model->index(m_out + "/a79"));
        w->dirList->setCurrentIndex(model->index(m_out + "/zz"));
        w->dirList->scrollTo(w->dirList->currentIndex(), QAbstractItemView::PositionAtBottom);
        QCOMPARE(w->dirPath(), m_out + "/zz");
        w->cmdCreateRep_Click();
        QVERIFY(QFileInfo::exists(m_out + "/zz/Field.db"));
        // The line that names the file takes room from the list: the folder stays in sight.
        QVERIFY(w->lblStatus->text().startsWith("Replica creation complete: Field.db in "));
        QTRY_VERIFY_WITH_TIMEOUT(w->chosenFolderInSight(), 5000);
        w->Unload();
    }

    // The chosen folder is removed (the stick pulled out) before Create: the list moving to
    // another folder does not send the replicas there; Create fails and adds no member.
    void aFolderGoneBeforeCreateFails()
    {
        const QString gone = m_out + "/gone", beside = m_out + "/beside";
        QDir().mkpath(gone);
        QDir().mkpath(beside);
        auto* w = creator("KRV_Replica_field.db", "3");
        w->setDirPath(gone);
        w->show();
        auto* model = qobject_cast<QFileSystemModel*>(w->dirList->model());
        QTRY_COMPARE_WITH_TIMEOUT(model->filePath(w->dirList->currentIndex()), gone, 5000);
        QVERIFY(QDir(gone).removeRecursively());
        // The list notices; no other folder is highlighted in its place, and the status says why.
        QTRY_COMPARE_WITH_TIMEOUT(w->lblStatus->text(), "The folder " + gone + " is gone.", 5000);
        QVERIFY(model->filePath(w->dirList->currentIndex()) != gone);
        QCOMPARE(w->dirList->selectionModel()->selectedIndexes(), QModelIndexList());
        QVERIFY(!w->chosenFolderInSight());
        QCOMPARE(w->dirPath(), gone);
        auto members = [] {
            Varnock::Synchronizer s;
            s.setDatabaseName(gDbPath);
            return s.ReplicaSet()->Count();
        };
        const int before = members();
        w->cmdCreateRep_Click();
        QCOMPARE(w->lblStatus->text(), QString("Replica creation failed."));
        QVERIFY(m_master->install.read("err.log").contains("frmCreateReplica-Error creating Inspection Replica."));
        QDirIterator files(m_master->install.folder(), {"*.db*"}, QDir::Files, QDirIterator::Subdirectories);
        QStringList made;
        while (files.hasNext())
            if (const QString f = files.next(); !f.endsWith("/krv.db"))
                made << f;
        QCOMPARE(made, QStringList());
        QCOMPARE(members(), before);
        QVERIFY(w->cmdCreateRep->isEnabled());
        // The stick back in: the folder is shown and chosen again.
        QDir().mkpath(gone);
        QTRY_VERIFY_WITH_TIMEOUT(w->chosenFolderInSight(), 5000);
        QCOMPARE(model->filePath(w->dirList->currentIndex()), gone);
        w->Unload();
    }

    // Several replicas: each is a member of the master's set, with the progress of the library
    // shown and both buttons disabled while the window works.
    void makesNumberedReplicas()
    {
        auto* w = creator("KRV_Replica_field.db", "3");
        w->show();
        Watch watch;
        QTimer spy;
        spy.setInterval(0);
        connect(&spy, &QTimer::timeout, w, [&] {
            if (!w->isMaking())
                return;
            const QString status = w->lblStatus->text();
            if (!status.isEmpty() && (watch.statuses.isEmpty() || watch.statuses.last() != status))
                watch.statuses << status;
            watch.buttonsEverEnabled |= w->cmdCreateRep->isEnabled() || w->cmdCancel->isEnabled();
            watch.maxTotal = std::max(watch.maxTotal, w->prgStatus->maximum());
            // Neither a second Create nor Escape does anything now.
            w->cmdCreateRep_Click();
            QTest::keyClick(w, Qt::Key_Escape);
        });
        spy.start();
        w->cmdCreateRep_Click();
        spy.stop();

        QCOMPARE(w->lblStatus->text(),
                 "Replica creation complete: KRV_Replica_field_1.db to KRV_Replica_field_3.db in " + m_out + ".");
        QVERIFY(w->prgStatus->isHidden());
        QVERIFY(w->cmdCreateRep->isEnabled() && w->cmdCancel->isEnabled());
        QCOMPARE(watch.statuses, (QStringList{"Creating replica 1 of 3", "Creating replica 2 of 3",
                                              "Creating replica 3 of 3"}));
        QVERIFY(!watch.buttonsEverEnabled);
        QVERIFY(watch.maxTotal > 0);
        QVERIFY(m_prompt->calls.isEmpty());
        QVERIFY(IsFormLoaded("frmCreateReplica"));

        QStringList ids;
        for (int i = 1; i <= 3; ++i) {
            const QString path = m_out + QStringLiteral("/KRV_Replica_field_%1.db").arg(i);
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));
            ids << GetReplicaId(path);
            QVERIFY(!ids.last().isEmpty());
        }
        QVERIFY(!QFileInfo::exists(m_out + "/KRV_Replica_field.db"));
        ids.removeDuplicates();
        QCOMPARE(ids.size(), 3);
        Varnock::Synchronizer s;
        s.setDatabaseName(gDbPath);
        QStringList members;
        for (const auto& r : *s.ReplicaSet())
            members << r.second->ReplicaID();
        for (const QString& id : ids)
            QVERIFY(members.contains(id));

        QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
        QVERIFY(!IsFormLoaded("frmCreateReplica"));
    }

    void oneReplicaTakesTheNameAsTyped()
    {
        auto* w = creator("  Field.db ", "1");
        w->cmdCreateRep_Click();
        QCOMPARE(w->lblStatus->text(), "Replica creation complete: Field.db in " + m_out + ".");
        QVERIFY(QFileInfo::exists(m_out + "/Field.db"));
        w->Unload();
    }

    void countWithoutANumberMakesNothing_data()
    {
        QTest::addColumn<QString>("count");
        QTest::newRow("zero") << "0";
        QTest::newRow("text") << "many";
        QTest::newRow("empty") << "";
    }
    void countWithoutANumberMakesNothing()
    {
        QFETCH(QString, count);
        auto* w = creator("Field.db", count);
        w->cmdCreateRep_Click();
        QCOMPARE(w->lblStatus->text(), QString("Replica creation complete."));
        QCOMPARE(QDir(m_out).entryList(QDir::Files), QStringList());
        w->Unload();
    }

    void nameMustEndInDb_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("upper case") << "Field.DB";
        QTest::newRow("old kind") << "Field.mdb";
        QTest::newRow("none") << "Field";
    }
    void nameMustEndInDb()
    {
        QFETCH(QString, name);
        auto* w = creator(name, "2");
        w->cmdCreateRep_Click();
        QCOMPARE(m_prompt->calls.size(), 1);
        QCOMPARE(m_prompt->calls[0].title, QString("Invalid Extension"));
        QCOMPARE(m_prompt->calls[0].text,
                 QString("The replica file name must have a tunnel database file extension (*.db)\n"
                         "Please change your Replica filename to have this extension"));
        QCOMPARE(QDir(m_out).entryList(QDir::Files), QStringList());
        QCOMPARE(w->lblStatus->text(), QString());
        QVERIFY(!w->isMaking() && w->cmdCreateRep->isEnabled());
        w->Unload();
    }

    void anExistingFileStopsTheRun()
    {
        writeFile(m_out + "/Field_2.db", "someone else's");
        auto* w = creator("Field.db", "3");
        w->cmdCreateRep_Click();
        QCOMPARE(m_prompt->messages(), QStringList{kExists});
        QVERIFY(!GetReplicaId(m_out + "/Field_1.db").isEmpty());
        QCOMPARE(QFile(m_out + "/Field_2.db").size(), qint64(14));
        QVERIFY(!QFileInfo::exists(m_out + "/Field_3.db"));
        QVERIFY(!w->isMaking() && w->cmdCreateRep->isEnabled() && w->cmdCancel->isEnabled());
        w->Unload();
    }

    void aFailureIsLogged()
    {
        auto* w = creator("Field.db", "1");
        w->setDirPath(m_out + "/no/such/folder");
        w->cmdCreateRep_Click();
        QCOMPARE(w->lblStatus->text(), QString("Replica creation failed."));
        QCOMPARE(m_prompt->messages(),
                 QStringList{"Error creating Inspection Replica.\nThe folder " + m_out + "/no/such/folder/ does not exist."});
        QVERIFY(m_master->install.read("err.log").contains("frmCreateReplica-Error creating Inspection Replica."));
        QVERIFY(!w->isMaking() && w->cmdCreateRep->isEnabled() && w->cmdCancel->isEnabled());
        w->Unload();
    }

    void anUnreadableDriveGoesBack()
    {
        auto* w = creator("Field.db", "1");
        const QString drive = w->drvList->currentText();
        w->drvList->addItem(QStringLiteral("/no/such/volume"));
        w->drvList->setCurrentIndex(w->drvList->count() - 1);
        emit w->drvList->activated(w->drvList->count() - 1);
        QCOMPARE(w->drvList->currentText(), drive);
        QCOMPARE(w->dirPath(), QDir::cleanPath(m_out));
        w->Unload();
    }

    // Phase events carry a total of -1: the bars keep what they show.
    void progressWithoutATotalIsIgnored()
    {
        auto* c = new frmCreateReplica;
        auto* s = new frmSyncData;
        for (QProgressBar* bar : {c->prgStatus, s->prgStatus}) {
            bar->setMaximum(40);
            bar->setValue(10);
        }
        bool cancel = false;
        std::int32_t done = 2, total = -1;
        c->Synch_MakeReplicaProgress(done, total, cancel);
        s->Synch_SynchProgress(done, total, cancel);
        total = 0;
        c->Synch_MakeReplicaProgress(done, total, cancel);
        s->Synch_SynchProgress(done, total, cancel);
        for (QProgressBar* bar : {c->prgStatus, s->prgStatus}) {
            QCOMPARE(bar->maximum(), 40);
            QCOMPARE(bar->value(), 10);
        }
        done = 30;
        total = 60;
        c->Synch_MakeReplicaProgress(done, total, cancel);
        s->Synch_SynchProgress(done, total, cancel);
        for (QProgressBar* bar : {c->prgStatus, s->prgStatus}) {
            QCOMPARE(bar->maximum(), 60);
            QCOMPARE(bar->value(), 30);
        }
        QVERIFY(!cancel);
        c->Unload();
        s->Unload();
    }

    // ---------------------------------------------------------------- frmSyncData

    void aReplicaOfTheMasterIsExchanged()
    {
        auto* c = creator("Field.db", "1");
        c->cmdCreateRep_Click();
        c->Unload();
        const QString replica = m_out + "/Field.db";
        FieldComputer field(replica);
        field.activate();
        DbSaveRating(m_master->southYear, m_master->southPanels[1], 2, "4");
        m_master->activate();

        auto* w = new frmSyncData;
        w->show();
        int maxTotal = 0;
        bool modal = true;
        QTimer spy;
        spy.setInterval(0);
        connect(&spy, &QTimer::timeout, w, [&] {
            maxTotal = std::max(maxTotal, w->prgStatus->maximum());
            // Application-modal while it works: no other window competes for the write lock.
            modal &= QApplication::activeModalWidget() == w && w->windowModality() == Qt::ApplicationModal;
            QTest::keyClick(w, Qt::Key_Escape);  // the window stays while it works
        });
        spy.start();
        QVERIFY(w->SYNCHRONIZE(replica));
        spy.stop();
        QVERIFY(IsFormLoaded("frmSyncData"));
        QVERIFY(modal);
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowModality(), Qt::NonModal);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(w->conflicts(), 0);
        QVERIFY(maxTotal > 0);
        QCOMPARE(DbGetRating(m_master->southYear, m_master->southPanels[1], 2), QString("4"));
        QVERIFY(m_prompt->calls.isEmpty());
        QVERIFY(QFile(m_master->install.file(kReplicaLogName)).size() > 0);
        w->Unload();
        QVERIFY(!IsFormLoaded("frmSyncData"));
    }

    // A replica is a file anyone can edit with any SQLite tool: its users and rights never reach the
    // master and are put back at the same exchange, while its inspection data still arrive.
    void aReplicaBringsNoRights_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<bool>("withHash");
        QTest::newRow("new user with Wizard rights")
            << "INSERT INTO login (Username, Password, Wizard, DataEntry) VALUES ('mallory', ?, 1, 1)" << true;
        QTest::newRow("raised rights") << "UPDATE login SET Wizard = 1 WHERE Username = 'clerk'" << false;
        QTest::newRow("replaced password hash") << "UPDATE login SET Password = ? WHERE Username = 'admin'" << true;
        QTest::newRow("emptied users table") << "DELETE FROM login" << false;
    }
    void aReplicaBringsNoRights()
    {
        QFETCH(QString, edit);
        QFETCH(bool, withHash);
        DbAddUser("admin", "secret12", true, true);
        DbAddUser("clerk", "clerk123", false, true);
        auto* c = creator("Field.db", "1");
        c->cmdCreateRep_Click();
        c->Unload();
        const QString replica = m_out + "/Field.db";
        const QStringList before = users();

        FieldComputer field(replica);
        field.activate();
        gConn.exec(edit, withHash ? QVariantList{HashPassword("intruder")} : QVariantList{});
        DbSaveRating(m_master->southYear, m_master->southPanels[1], 2, "4");
        QVERIFY(users() != before);
        // The office changes a user meanwhile; that change goes out to the field.
        m_master->activate();
        DbSetUserRights("clerk", false, false);
        const QStringList office = users();

        for (int exchange = 0; exchange < 2; ++exchange) {
            auto* w = new frmSyncData;
            QVERIFY(w->SYNCHRONIZE(replica));
            w->Unload();
            QCOMPARE(users(), office);
            QVERIFY(DbAnyWizard());
            bool wizard = false, dataEntry = false;
            QVERIFY(DbCheckLogon("mallory", "intruder", wizard, dataEntry) != LogonStatus::LoggedOn);
            QVERIFY(DbCheckLogon("admin", "intruder", wizard, dataEntry) != LogonStatus::LoggedOn);
            QCOMPARE(DbCheckLogon("admin", "secret12", wizard, dataEntry), LogonStatus::LoggedOn);
            QVERIFY(wizard);
            // The inspection data of the same replica did arrive.
            QCOMPARE(DbGetRating(m_master->southYear, m_master->southPanels[1], 2), QString("4"));
            // The refused change is kept where it can be looked at, once.
            QVERIFY(gConn.query("SELECT count(*) AS n FROM repl_conflicts WHERE tbl = 'login'").toInt(0, "n") >= 1);
        }
        QVERIFY(m_prompt->calls.isEmpty());
        field.activate();
        QCOMPARE(users(), office);
        QVERIFY(gConn.query("SELECT count(*) AS n FROM repl_conflicts WHERE tbl = 'login'").toInt(0, "n") >= 1);
        m_master->activate();
    }

    // A replica made onto a full stick fails saying so under its sentence; nothing is left on the
    // stick and the set gains no member.
    void aFullStickIsNamed()
    {
        const QByteArray stick = QFile::encodeName(m_out);
        if (::mount("tmpfs", stick.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("a small file system cannot be mounted here (needs root)");
        struct Unmount {
            QByteArray path;
            ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
        } unmount{stick};
        QVERIFY(QFileInfo(gDbPath).size() > 64 * 1024);
        auto members = [] {
            Varnock::Synchronizer s;
            s.setDatabaseName(gDbPath);
            return s.ReplicaSet()->Count();
        };
        const int before = members();
        auto* w = creator("Field.db", "1");
        w->cmdCreateRep_Click();
        QCOMPARE(w->lblStatus->text(), QString("Replica creation failed."));
        QCOMPARE(m_prompt->messages(),
                 QStringList{"Error creating Inspection Replica.\nThe disk that holds " + m_out + "/Field.db is full."});
        QCOMPARE(QDir(m_out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(members(), before);
        w->Unload();
    }

    // A replica made while the office file's own disk is full fails naming the office file's disk,
    // not the stick's: at making the office file replicable (its first replica) and at entering the
    // new member (a later one). The office file stays byte for byte, nothing is left on either disk.
    void aFullOfficeDiskIsNamed_data()
    {
        QTest::addColumn<bool>("replicable");
        QTest::newRow("making the office file replicable") << false;
        QTest::newRow("entering the new member") << true;
    }
    void aFullOfficeDiskIsNamed()
    {
        QFETCH(bool, replicable);
        QStringList made;
        if (replicable) {
            auto* first = creator("First.db", "1");
            first->cmdCreateRep_Click();
            QCOMPARE(first->lblStatus->text(), "Replica creation complete: First.db in " + m_out + ".");
            first->Unload();
            made << "First.db";
        }
        SmallDisk office(QFileInfo(gDbPath).size() + 256 * 1024);
        if (!office.isMounted())
            QSKIP(qPrintable(office.why()));
        const QString db = office.file("krv.db");
        gConn.close();
        QVERIFY(QFile::copy(gDbPath, db));
        gConn.open(db);
        gDbPath = db;
        const QString id = GetReplicaId(db);
        QCOMPARE(id.isEmpty(), !replicable);
        QVERIFY(office.fill(0));
        const QByteArray before = ReadFileBytes(db);

        auto* w = creator("Field.db", "1");
        w->cmdCreateRep_Click();
        QCOMPARE(w->lblStatus->text(), QString("Replica creation failed."));
        QCOMPARE(m_prompt->messages(),
                 QStringList{"Error creating Inspection Replica.\nThe disk that holds " + db + " is full."});
        w->Unload();
        gConn.close();
        QCOMPARE(ReadFileBytes(db), before);
        QCOMPARE(GetReplicaId(db), id);
        QCOMPARE(QDir(office.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"filler", "krv.db"}));
        QCOMPARE(QDir(m_out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), made);
        // The log keeps one record of two lines for it.
        const QString log = QString::fromUtf8(m_master->install.read("err.log"));
        QVERIFY2(log.contains("frmCreateReplica-Error creating Inspection Replica. The disk that holds " + db +
                              " is full.\r\n\t"),
                 qPrintable(log));
        m_master->activate();
    }

    void aFileOutsideTheSetIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("damaged");
        QTest::newRow("plain database") << "plain" << false;
        QTest::newRow("replica of another set") << "other set" << false;
        // Cut short on the way, or no database at all: damaged, never foreign.
        QTest::newRow("replica cut short") << "cut" << true;
        QTest::newRow("text file") << "text" << true;
    }
    void aFileOutsideTheSetIsRefused()
    {
        QFETCH(QString, kind);
        QFETCH(bool, damaged);
        const bool otherSet = kind == "other set";
        // The master must be replicable for the set to exist.
        auto* c = creator("Field.db", "1");
        c->cmdCreateRep_Click();
        c->Unload();
        const QString other = m_out + "/other.db";
        QVERIFY(CreateTunnelDatabase(other));
        QString target = other;
        if (otherSet) {
            Varnock::Synchronizer s;
            s.setDatabaseName(other);
            s.setRunning(true);
            target = m_out + "/other_replica.db";
            s.MakeReplica(target);
            s.setRunning(false);
        }
        if (kind == "cut") {
            target = m_out + "/Field.db";
            QFile cut(target);
            QVERIFY(cut.resize(cut.size() / 2));
        } else if (kind == "text") {
            target = m_out + "/notes.db";
            QFile text(target);
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write("Minutes of the meeting\n");
        }
        auto* w = new frmSyncData;
        QVERIFY(!w->SYNCHRONIZE(target));
        QCOMPARE(m_prompt->messages(),
                 QStringList{damaged ? "The replica file " + target
                                           + " is damaged (cut short or not a database); nothing was exchanged."
                                     : kNotMember});
        QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Warning);
        QCOMPARE(m_prompt->calls[0].title, kAppTitle);
        w->Unload();
    }

    // The master is a member of its own set; the exchange with itself is refused, and the
    // window says so by its result.
    void theMasterItselfFails()
    {
        auto* c = creator("Field.db", "1");
        c->cmdCreateRep_Click();
        c->Unload();
        auto* w = new frmSyncData;
        QVERIFY(!w->SYNCHRONIZE(gDbPath));
        QVERIFY(m_prompt->calls.isEmpty());
        QVERIFY(m_master->install.read("err.log").contains("frmSyncData-"));
        w->Unload();
    }
};

KRV_TEST_MAIN_WITH_OWN_MOUNTS(TstReplicas)
#include "tst_replicas.moc"
