#include "db.h"
#include "dbrecords.h"
#include "helpers.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QSet>
#include <QTest>

namespace {
QStringList column(const RowSet& rs, const QString& name)
{
    QStringList out;
    for (int r = 0; r < rs.count(); ++r)
        out << rs.value(r, name).toString();
    return out;
}

int rows(const QString& table)
{
    return gConn.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(table)).toInt();
}

// The panel's text of the tab, over the text stored just before.
SaveOutcome saveTab(qint32 tabId, qint32 panelId, const QString& text)
{
    return DbSaveTabText(tabId, QStringLiteral("Notes"), panelId, QStringLiteral("P%1").arg(panelId),
                         DbGetTabText(tabId, panelId), text);
}
}  // namespace

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        gConn.exec(QStringLiteral("INSERT INTO Panels (PanelID, PanelName) VALUES (5, 'P5'), (6, 'P6'), (7, 'P7'), "
                                  "(8, 'P8')"));
    }
    void cleanup() { m_install.reset(); }

    // Two entries on one date each keep their own text when looked up by key.
    void repairLogsByDateAndKey()
    {
        const QDate d1(2004, 11, 3), d2(2005, 2, 28);
        const qint32 late = DbAddRepairLog(7, QStringLiteral("P7"), d2, QStringLiteral("resealed the \"east\" joint"));
        const qint32 first = DbAddRepairLog(7, QStringLiteral("P7"), d1, QStringLiteral("patched O'Neil's crack"));
        const qint32 second = DbAddRepairLog(7, QStringLiteral("P7"), d1, QStringLiteral("second visit"));
        const qint32 other = DbAddRepairLog(8, QStringLiteral("P8"), d1, QStringLiteral("other panel"));
        QCOMPARE(QSet<qint32>({late, first, second, other}).size(), 4);

        // The key read back is the row's key; the date is kept as ISO text.
        QCOMPARE(
            gConn.scalar(QStringLiteral("SELECT RepairDate FROM RepairLogs WHERE RepairID = ?"), {late}).toString(),
            QStringLiteral("2005-02-28"));

        const RowSet logs = DbGetRepairLogs(7);
        QCOMPARE(column(logs, QStringLiteral("RepairID")),
                 (QStringList{QString::number(first), QString::number(second), QString::number(late)}));
        QCOMPARE(QDate::fromString(logs.value(0, QStringLiteral("RepairDate")).toString(), Qt::ISODate), d1);

        QCOMPARE(DbGetRepairLogTextByID(first), QStringLiteral("patched O'Neil's crack"));
        QCOMPARE(DbGetRepairLogTextByID(second), QStringLiteral("second visit"));
        QCOMPARE(DbGetRepairLogTextByID(late), QStringLiteral("resealed the \"east\" joint"));
        QCOMPARE(DbGetRepairLogTextByID(99999), QString());
    }

    void emergenciesByKey()
    {
        const QDate d(2003, 7, 14);
        const qint32 a = DbAddEmergency(7, QStringLiteral("P7"), d, QStringLiteral("rock fall near the portal's 'bend'"));
        const qint32 b = DbAddEmergency(7, QStringLiteral("P7"), QDate(2003, 1, 2), QStringLiteral("flooding"));
        DbAddEmergency(8, QStringLiteral("P8"), d, QStringLiteral("other panel"));
        QCOMPARE(column(DbGetEmergencies(7), QStringLiteral("EmergencyID")),
                 (QStringList{QString::number(b), QString::number(a)}));
        QCOMPARE(DbGetEmergencyText(a), QStringLiteral("rock fall near the portal's 'bend'"));
        QCOMPARE(DbGetEmergencyText(-5), QString());
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT EmergencyDate FROM Emergencies WHERE EmergencyID = ?"), {a})
                     .toString(),
                 QStringLiteral("2003-07-14"));
    }

    void deleteAsksFirst_data()
    {
        QTest::addColumn<bool>("repair");
        QTest::addColumn<int>("answer");
        QTest::newRow("repair log, no") << true << int(MsgAnswer::No);
        QTest::newRow("repair log, yes") << true << int(MsgAnswer::Yes);
        QTest::newRow("emergency, no") << false << int(MsgAnswer::No);
        QTest::newRow("emergency, yes") << false << int(MsgAnswer::Yes);
    }

    void deleteAsksFirst()
    {
        QFETCH(bool, repair);
        QFETCH(int, answer);
        const QDate d(2005, 12, 31);
        const QString table = repair ? QStringLiteral("RepairLogs") : QStringLiteral("Emergencies");
        // Two entries of one date: only the one named by its key may go.
        const qint32 a = repair ? DbAddRepairLog(7, QStringLiteral("P7"), d, QStringLiteral("a")) : DbAddEmergency(7, QStringLiteral("P7"), d, QStringLiteral("a"));
        const qint32 b = repair ? DbAddRepairLog(7, QStringLiteral("P7"), d, QStringLiteral("b")) : DbAddEmergency(7, QStringLiteral("P7"), d, QStringLiteral("b"));

        ScriptedPrompt prompt;
        prompt.answer(MsgAnswer(answer));
        const bool yes = answer == int(MsgAnswer::Yes);
        QCOMPARE(repair ? DbDeleteRepairLog(b, d) : DbDeleteEmergency(b, d), yes);

        QCOMPARE(prompt.calls.size(), 1);
        const PromptCall& c = prompt.calls[0];
        QCOMPARE(c.text, QStringLiteral("Are you sure you want to delete this entry on %1?").arg(ShortDateText(d)));
        QCOMPARE(c.title, repair ? QStringLiteral("Delete Repair Log") : QStringLiteral("Delete Emergency Incident"));
        QCOMPARE(c.buttons, MsgButtons::YesNo);
        QCOMPARE(c.icon, MsgIcon::None);

        QCOMPARE(rows(table), yes ? 1 : 2);
        QCOMPARE(repair ? DbGetRepairLogTextByID(a) : DbGetEmergencyText(a), QStringLiteral("a"));
    }

    void expendituresInDateOrderWithTheirCategory()
    {
        gConn.exec(QStringLiteral("INSERT INTO Tunnels (TunnelID, TunnelName) VALUES (1, 'North'), (2, 'South')"));
        gConn.exec(QStringLiteral("INSERT INTO ExpenditureCats (CategoryID, Category) VALUES (1, 'repair'), "
                                  "(2, 'Lighting'), (3, 'Cleaning')"));
        const ExpenditureOwners northRepair{1, QStringLiteral("North"), 1, QStringLiteral("repair")};
        const ExpenditureOwners northCleaning{1, QStringLiteral("North"), 3, QStringLiteral("Cleaning")};
        const ExpenditureOwners southLighting{2, QStringLiteral("South"), 2, QStringLiteral("Lighting")};
        const qint32 e1 = DbAddExpenditure(southLighting, 1250.75, QDate(2005, 3, 1), QStringLiteral("lamps' sockets"));
        const qint32 e2 = DbAddExpenditure(northCleaning, 0.5, QDate(2004, 12, 31), QStringLiteral("sweeping"));
        const qint32 e3 = DbAddExpenditure(northRepair, 99, QDate(2005, 1, 10), QStringLiteral("grout"));
        // Left from a removed category or tunnel (no expenditure is added for one).
        gConn.exec(QStringLiteral("INSERT INTO Expenditures (TunnelID, Cost, [Date], Comments, CategoryID) "
                                  "VALUES (1, 5, '2005-01-11', 'no such category', 42), "
                                  "(77, 5, '2005-01-12', 'no such tunnel', 1)"));

        RowSet list = DbGetExpenditureList();
        QCOMPARE(list.columns(), (QStringList{"ExpID", "Category", "Date", "Cost", "TunnelName", "Comments",
                                              "TunnelID", "CategoryID"}));
        QCOMPARE(column(list, QStringLiteral("ExpID")),
                 (QStringList{QString::number(e2), QString::number(e3), QString::number(e1)}));
        QCOMPARE(column(list, QStringLiteral("Category")), (QStringList{"Cleaning", "repair", "Lighting"}));
        QCOMPARE(column(list, QStringLiteral("TunnelName")), (QStringList{"North", "North", "South"}));
        QCOMPARE(list.toDouble(2, QStringLiteral("Cost")), 1250.75);
        QCOMPARE(list.value(2, QStringLiteral("Comments")).toString(), QStringLiteral("lamps' sockets"));
        QCOMPARE(QDate::fromString(list.value(0, QStringLiteral("Date")).toString(), Qt::ISODate),
                 QDate(2004, 12, 31));

        // A change moves the row to its new date; quotes and decimals are kept as given.
        ColumnValues loaded, changed;
        for (const char* c : {"TunnelID", "Cost", "Date", "Comments", "CategoryID"})
            loaded.append({QLatin1String(c), list.value(0, QLatin1String(c))});
        changed = {{QStringLiteral("TunnelID"), 2},
                   {QStringLiteral("Cost"), 1234.5},
                   {QStringLiteral("Date"), QDate(2006, 6, 1)},
                   {QStringLiteral("Comments"), QStringLiteral("it's the \"big\" one")},
                   {QStringLiteral("CategoryID"), 2}};
        QVERIFY(DbUpdateExpenditure(e2, QStringLiteral("The expenditure"), southLighting, loaded, changed).saved());
        list = DbGetExpenditureList();
        QCOMPARE(column(list, QStringLiteral("ExpID")),
                 (QStringList{QString::number(e3), QString::number(e1), QString::number(e2)}));
        QCOMPARE(list.value(2, QStringLiteral("Comments")).toString(), QStringLiteral("it's the \"big\" one"));
        QCOMPARE(list.toDouble(2, QStringLiteral("Cost")), 1234.5);
        QCOMPARE(list.value(2, QStringLiteral("TunnelName")).toString(), QStringLiteral("South"));
        QCOMPARE(list.value(2, QStringLiteral("Category")).toString(), QStringLiteral("Lighting"));
        QCOMPARE(list.value(2, QStringLiteral("Date")).toString(), QStringLiteral("2006-06-01"));

        QVERIFY(DbDeleteExpenditure(e3, QStringLiteral("The expenditure"), {}).saved());
        QCOMPARE(DbGetExpenditureList().count(), 2);
        QCOMPARE(rows(QStringLiteral("Expenditures")), 4);

        QCOMPARE(column(DbGetExpenditureCategories(), QStringLiteral("Category")),
                 (QStringList{"Cleaning", "Lighting", "repair"}));
    }

    void emptyExpenditureList() { QVERIFY(DbGetExpenditureList().isEmpty()); }

    void tabTextsPerPanel()
    {
        const qint32 notes = DbAddTabDefinition(0, QStringLiteral("Owner's \"notes\""));
        QCOMPARE(DbGetTabID(0), notes);
        QCOMPARE(DbGetTabID(1), 0);

        QCOMPARE(DbGetTabData(5, 0), QString());
        QVERIFY(!DbGetTabText(notes, 5).stored);
        QVERIFY(saveTab(notes, 5, QStringLiteral("first")).saved());
        QVERIFY(saveTab(notes, 5, QStringLiteral("it's second")).saved());
        QVERIFY(saveTab(notes, 6, QStringLiteral("panel six")).saved());
        QVERIFY(saveTab(notes, 7, QString()).saved());  // no text over no row: nothing kept
        QCOMPARE(DbGetTabData(5, 0), QStringLiteral("it's second"));
        QCOMPARE(DbGetTabData(6, 0), QStringLiteral("panel six"));
        QCOMPARE(rows(QStringLiteral("TabData")), 2);
        QCOMPARE(DbCountTabData(notes), 2);
        QCOMPARE(DbCountTabData(notes + 1), 0);

        // No tab at that position: nothing to read. A tab removed: a text is not stored under none.
        QCOMPARE(DbGetTabData(5, 3), QString());
        ScriptedPrompt prompt;
        QCOMPARE(saveTab(notes + 1, 5, QStringLiteral("lost?")).result, SaveOutcome::Result::Gone);
        QCOMPARE(prompt.messages(), QStringList{QStringLiteral("The data tab \"Notes\" was removed by another user; "
                                                               "nothing was saved for it.")});
        QCOMPARE(rows(QStringLiteral("TabData")), 2);
        // A stray row of no tab (an older database) is not shown for a missing position.
        gConn.exec(QStringLiteral("INSERT INTO TabData VALUES (0, 5, 'stray')"));
        QCOMPARE(DbGetTabData(5, 3), QString());

        const RowSet defs = DbGetTabDefinitions();
        QCOMPARE(defs.count(), 1);
        QCOMPARE(defs.value(0, QStringLiteral("TabCaption")).toString(), QStringLiteral("Owner's \"notes\""));
        DbUpdateTabDefinition(notes, 0, QStringLiteral("O'Brien's log"));
        QCOMPARE(DbGetTabDefinitions().value(0, QStringLiteral("TabCaption")).toString(),
                 QStringLiteral("O'Brien's log"));
    }

    // The editor removes the first tab and renumbers the rest, as it saves.
    void tabTextsFollowTheirTabThroughARenumbering()
    {
        const qint32 a = DbAddTabDefinition(0, QStringLiteral("A"));
        const qint32 b = DbAddTabDefinition(1, QStringLiteral("B"));
        const qint32 c = DbAddTabDefinition(2, QStringLiteral("C"));
        QVERIFY(saveTab(b, 5, QStringLiteral("b of 5")).saved());
        QVERIFY(saveTab(c, 5, QStringLiteral("c of 5")).saved());
        QVERIFY(saveTab(c, 6, QStringLiteral("c of 6")).saved());
        QCOMPARE(DbCountTabData(a), 0);

        DbUpdateTabDefinition(b, 0, QStringLiteral("B"));
        DbUpdateTabDefinition(c, 1, QStringLiteral("C"));
        const qint32 d = DbAddTabDefinition(2, QStringLiteral("D"));
        DbDeleteTabDefinitionsExcept(QStringLiteral("%1, %2, %3").arg(b).arg(c).arg(d));

        QCOMPARE(column(DbGetTabDefinitions(), QStringLiteral("TabCaption")), (QStringList{"B", "C", "D"}));
        QCOMPARE(DbGetTabData(5, 0), QStringLiteral("b of 5"));
        QCOMPARE(DbGetTabData(5, 1), QStringLiteral("c of 5"));
        QCOMPARE(DbGetTabData(6, 1), QStringLiteral("c of 6"));
        QCOMPARE(DbGetTabData(5, 2), QString());
        QCOMPARE(rows(QStringLiteral("TabData")), 3);
    }

    void deleteTabDefinitionsExcept_data()
    {
        QTest::addColumn<QString>("keep");
        QTest::addColumn<QStringList>("left");  // captions
        QTest::addColumn<bool>("refused");
        QTest::newRow("empty list deletes nothing") << "" << QStringList{"A", "B", "C"} << false;
        QTest::newRow("blank list deletes nothing") << "  " << QStringList{"A", "B", "C"} << false;
        QTest::newRow("one kept") << "2" << QStringList{"B"} << false;
        QTest::newRow("two kept") << "3, 1" << QStringList{"A", "C"} << false;
        QTest::newRow("unknown id keeps nothing else") << "42" << QStringList{} << false;
        QTest::newRow("not numbers") << "1, 2) OR (1=1" << QStringList{"A", "B", "C"} << true;
        QTest::newRow("empty item") << "1,, 2" << QStringList{"A", "B", "C"} << true;
    }

    void deleteTabDefinitionsExcept()
    {
        QFETCH(QString, keep);
        QFETCH(QStringList, left);
        QFETCH(bool, refused);
        QCOMPARE(DbAddTabDefinition(0, QStringLiteral("A")), 1);
        QCOMPARE(DbAddTabDefinition(1, QStringLiteral("B")), 2);
        QCOMPARE(DbAddTabDefinition(2, QStringLiteral("C")), 3);
        QVERIFY(saveTab(1, 5, QStringLiteral("text of A")).saved());
        bool raised = false;
        try {
            DbDeleteTabDefinitionsExcept(keep);
        } catch (const DbError&) {
            raised = true;
        }
        QCOMPARE(raised, refused);
        QCOMPARE(column(DbGetTabDefinitions(), QStringLiteral("TabCaption")), left);
        QCOMPARE(rows(QStringLiteral("TabData")), 1);  // texts are never deleted here
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
