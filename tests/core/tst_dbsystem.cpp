#include "dbsystem.h"
#include "fixtures.h"
#include "globals.h"
#include "otherprogram.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QTest>

namespace {
struct MapPoint {  // shaped like the map control's Point record
    qint32 x;
    qint32 y;
};

Outline outline(int n, int offset = 0)
{
    Outline pts;
    for (int k = 0; k < n; ++k)
        pts.append({100 * k + offset, 50 * k + offset});
    return pts;
}
}  // namespace

class TestDbSystem : public QObject {
    Q_OBJECT
private slots:
    void init() { m_install = std::make_unique<TestInstall>(); }
    void cleanup() { m_install.reset(); }

    void systemMapIsAddedOnceThenUpdated()
    {
        QCOMPARE(DbGetSystemName(), QString());
        RowSet rs;
        DbSaveSystemMap(rs, QStringLiteral("map.jpg"), QStringLiteral("North"));
        QVERIFY(gSystemID != 0);
        QCOMPARE(rs.count(), 1);
        QCOMPARE(rs.toInt(0, QStringLiteral("SystemID")), gSystemID);
        QCOMPARE(rs.toText(0, QStringLiteral("SystemPicture")), QStringLiteral("map.jpg"));

        // With the row in place the caller's row set is left as it was.
        const qint32 id = gSystemID;
        DbSaveSystemMap(rs, QStringLiteral("O'Neil map.jpg"), QStringLiteral("Smith's \"North\""));
        QCOMPARE(gSystemID, id);
        QCOMPARE(rs.toText(0, QStringLiteral("SystemPicture")), QStringLiteral("map.jpg"));
        QCOMPARE(CountRows(QStringLiteral("System")), 1);
        QCOMPARE(DbGetSystemName(), QStringLiteral("Smith's \"North\""));
        QCOMPARE(DbGetSystem().toText(0, QStringLiteral("SystemPicture")), QStringLiteral("O'Neil map.jpg"));

        DbSetSystemView(id, true);
        QCOMPARE(DbGetSystem().toInt(0, QStringLiteral("View")), 1);
        DbSetSystemView(id, false);
        QCOMPARE(DbGetSystem().toInt(0, QStringLiteral("View")), 0);
    }

    void widthsAndColoursGoOnlyToKnownTables()
    {
        FixtureSystem();
        const qint32 t = FixtureTunnel(QStringLiteral("A"));
        DbSetDrawWidth(QStringLiteral("Tunnels"), t, 4);
        DbSetDrawWidth(QStringLiteral("System"), gSystemID, 6);
        DbSetForeground(QStringLiteral("System"), gSystemID, 0x0000E6FF);
        DbSetTunnelForeground(t, 0x00FF0000);
        QCOMPARE(DbGetTunnelDrawWidth(t), 4);
        QCOMPARE(DbGetTunnelForeground(t), 0x00FF0000);
        QCOMPARE(DbGetSystem().toInt(0, QStringLiteral("DrawWidth")), 6);
        QCOMPARE(DbGetSystem().toInt(0, QStringLiteral("SystemForeground")), 0x0000E6FF);

        // A name outside the two tables is never spliced into a statement.
        QVERIFY_THROWS_EXCEPTION(DbError, DbSetDrawWidth(QStringLiteral("Panels; DROP TABLE Panels"), t, 2));
        QVERIFY_THROWS_EXCEPTION(DbError, DbSetDrawWidth(QStringLiteral("tunnels"), t, 2));
        QVERIFY_THROWS_EXCEPTION(DbError, DbSetForeground(QStringLiteral("Tunnels"), t, 1));
        QCOMPARE(DbGetTunnelDrawWidth(t), 4);
        QCOMPARE(CountRows(QStringLiteral("Panels")), 0);
    }

    void tunnelWidthAndColourReadings_data()
    {
        QTest::addColumn<QVariant>("storedWidth");
        QTest::addColumn<QVariant>("storedColour");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("colour");
        QTest::newRow("defaults") << QVariant() << QVariant() << 1 << 0;  // as added: 0 and 0
        QTest::newRow("zero width") << QVariant(0) << QVariant(255) << 1 << 255;
        QTest::newRow("null width and colour") << QVariant(QMetaType(QMetaType::Int))
                                               << QVariant(QMetaType(QMetaType::Int)) << 1 << 0;
        QTest::newRow("stored") << QVariant(5) << QVariant(0x00123456) << 5 << 0x00123456;
    }
    void tunnelWidthAndColourReadings()
    {
        QFETCH(QVariant, storedWidth);
        QFETCH(QVariant, storedColour);
        QFETCH(int, width);
        QFETCH(int, colour);
        FixtureSystem();
        const qint32 t = DbAddTunnel(QStringLiteral("A"), {});
        if (storedWidth.isValid())
            gConn.exec(QStringLiteral("UPDATE Tunnels SET DrawWidth = ?, TunnelForeground = ?"),
                       {storedWidth, storedColour});
        QCOMPARE(DbGetTunnelDrawWidth(t), width);
        QCOMPARE(DbGetTunnelForeground(t), colour);
    }

    void missingTunnelRaises()
    {
        try {
            DbGetTunnelPicture(99);
            QFAIL("no error");
        } catch (const DbError& e) {
            QCOMPARE(e.number(), ErrNo::NoCurrentRecord);
        }
        QVERIFY_THROWS_EXCEPTION(DbError, DbGetTunnelForeground(99));
        QVERIFY_THROWS_EXCEPTION(DbError, DbGetTunnelDrawWidth(99));
    }

    void tunnelsListByNameWithinTheirSystem()
    {
        FixtureSystem();
        const qint32 s1 = gSystemID;
        DbAddTunnel(QStringLiteral("delta"), {});
        DbAddTunnel(QStringLiteral("Alpha"), {});
        DbAddTunnel(QStringLiteral("charlie"), {});
        FixtureSystem(QStringLiteral("Other"));
        DbAddTunnel(QStringLiteral("Bravo"), {});
        QCOMPARE(Rows(QStringLiteral("SELECT TunnelName FROM Tunnels WHERE SystemID = ?"), {gSystemID}),
                 QStringList{QStringLiteral("Bravo")});
        const RowSet rs = DbGetTunnels(s1);
        QStringList names;
        for (int r = 0; r < rs.count(); ++r)
            names << rs.toText(r, QStringLiteral("TunnelName"));
        QCOMPARE(names, (QStringList{"Alpha", "charlie", "delta"}));
    }

    void tunnelPictureAndNameTakeAnyText()
    {
        FixtureSystem();
        const qint32 t = DbAddTunnel(QStringLiteral("A"), {});
        QCOMPARE(DbGetTunnelPicture(t), QString());
        DbSetTunnelPicture(t, QStringLiteral("O'Hare east.png"));
        DbRenameTunnel(t, QStringLiteral("O'Hare"));
        QCOMPARE(DbGetTunnelPicture(t), QStringLiteral("O'Hare east.png"));
        QCOMPARE(Rows(QStringLiteral("SELECT TunnelName FROM Tunnels")), QStringList{QStringLiteral("O'Hare")});
    }

    void tunnelOutlinesAreStoredWhole()
    {
        FixtureSystem();
        const qint32 t = DbAddTunnel(QStringLiteral("A"), ToOutline(QVector<MapPoint>{{10, 20}, {30, 40}, {50, 60}}));
        QCOMPARE(Rows(QStringLiteral("SELECT TunnelID, SystemID FROM Tunnels")),
                 QStringList{QStringLiteral("%1|%2").arg(t).arg(gSystemID)});
        qint32 count = -1;
        RowSet rs = DbGetTunnelCoords(t, count);
        QCOMPARE(count, 3);
        QCOMPARE(Rows(QStringLiteral("SELECT CoordIndex, TunnelX, TunnelY FROM TunnelCoord ORDER BY CoordIndex")),
                 (QStringList{"1|10|20", "2|30|40", "3|50|60"}));

        DbSaveTunnelCoords(t, outline(5));
        DbSaveTunnelCoords(t, outline(2, 7));
        rs = DbGetTunnelCoords(t, count);
        QCOMPARE(count, 2);
        QCOMPARE(rs.count(), 2);
        QCOMPARE(rs.toInt(1, QStringLiteral("CoordIndex")), 2);
        QCOMPARE(rs.toInt(1, QStringLiteral("TunnelX")), 107);

        // A pasted tunnel gets its points later.
        const qint32 pasted = DbAddTunnel(QStringLiteral("B"), {});
        DbGetTunnelCoords(pasted, count);
        QCOMPARE(count, 0);
    }

    void failedOutlineWriteKeepsTheStoredOne()
    {
        FixtureSystem();
        const qint32 t = DbAddTunnel(QStringLiteral("A"), outline(3));
        const QStringList before = Rows(QStringLiteral("SELECT * FROM TunnelCoord ORDER BY CoordIndex"));
        FailWhen(QStringLiteral("fail_pt"), QStringLiteral("INSERT"), QStringLiteral("TunnelCoord"),
                 QStringLiteral("NEW.TunnelX = 999"));
        Outline bad = outline(4);
        bad[2].x = 999;
        QVERIFY_THROWS_EXCEPTION(DbError, DbSaveTunnelCoords(t, bad));
        QCOMPARE(Rows(QStringLiteral("SELECT * FROM TunnelCoord ORDER BY CoordIndex")), before);

        // Nor is a tunnel left behind with part of its outline.
        QVERIFY_THROWS_EXCEPTION(DbError, DbAddTunnel(QStringLiteral("B"), bad));
        QCOMPARE(CountRows(QStringLiteral("Tunnels")), 1);
        QCOMPARE(Rows(QStringLiteral("SELECT * FROM TunnelCoord ORDER BY CoordIndex")), before);
        QCOMPARE(gConn.transactionDepth(), 0);
    }

    // A window's outline edit replaces the stored outline only while it is still the one the
    // window loaded: another program's change meanwhile is asked about, an owner it removed
    // gets nothing and the user is told.
    void outlineEditsCheckTheLoadedOutline_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("other");  // what the other program does after the load
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("stored");  // mine, theirs or loaded (nothing written)
        QTest::addColumn<int>("result");
        const int saved = int(SaveOutcome::Result::Saved), cancelled = int(SaveOutcome::Result::Cancelled),
                  gone = int(SaveOutcome::Result::Gone);
        for (const QString owner : {"tunnel", "panel"}) {
            const QByteArray o = owner.toLatin1();
            QTest::addRow("%s untouched", o.data()) << owner << "" << 0 << "mine" << saved;
            QTest::addRow("%s changed, yes", o.data()) << owner << "change" << int(MsgAnswer::Yes) << "mine" << saved;
            QTest::addRow("%s changed, no", o.data()) << owner << "change" << int(MsgAnswer::No) << "theirs" << saved;
            QTest::addRow("%s changed, cancel", o.data())
                << owner << "change" << int(MsgAnswer::Cancel) << "theirs" << cancelled;
            QTest::addRow("%s removed", o.data()) << owner << "remove" << 0 << "loaded" << gone;
        }
    }
    void outlineEditsCheckTheLoadedOutline()
    {
        QFETCH(QString, owner);
        QFETCH(QString, other);
        QFETCH(int, answer);
        QFETCH(QString, stored);
        QFETCH(int, result);
        FixtureSystem();
        const qint32 t = DbAddTunnel(QStringLiteral("North"), outline(3));
        const qint32 p = DbAddPanel(t, QStringLiteral("N-01"));
        DbSavePanelCoords(p, outline(3));
        const bool tunnel = owner == QLatin1String("tunnel");
        const qint32 id = tunnel ? t : p;
        const QString coords = tunnel ? QStringLiteral("TunnelCoord") : QStringLiteral("PanelCoord");
        const QString key = tunnel ? QStringLiteral("TunnelID") : QStringLiteral("PanelID");
        const QString x = tunnel ? QStringLiteral("TunnelX") : QStringLiteral("PanelX");
        const QString y = tunnel ? QStringLiteral("TunnelY") : QStringLiteral("PanelY");
        if (other == QLatin1String("change"))
            QCOMPARE(RunSqliteShell(m_install->dbPath(),
                                    QStringLiteral("UPDATE %1 SET %2 = %2 + 1 WHERE %3 = %4").arg(coords, x, key).arg(id)),
                     QString());
        else if (other == QLatin1String("remove"))
            QCOMPARE(RunSqliteShell(m_install->dbPath(), QStringLiteral("DELETE FROM %1 WHERE %2 = %3")
                                                             .arg(tunnel ? "Tunnels" : "Panels", key).arg(id)),
                     QString());

        ScriptedPrompt prompt;
        if (answer)
            prompt.answer(MsgAnswer(answer));
        const Outline mine = outline(4, 7);
        const SaveOutcome out = tunnel ? DbSaveTunnelCoords(id, mine, outline(3), QStringLiteral("North"))
                                       : DbSavePanelCoords(id, mine, outline(3), QStringLiteral("N-01"));
        QCOMPARE(int(out.result), result);
        QCOMPARE(out.showStored(), answer == int(MsgAnswer::No));
        const QString what = tunnel ? QStringLiteral("tunnel North") : QStringLiteral("panel N-01");
        if (other == QLatin1String("change"))
            QCOMPARE(prompt.messages(), QStringList{QStringLiteral("The outline of %1 was changed by another user "
                                                                   "after you opened it. Replace it with yours?")
                                                        .arg(what)});
        else if (other == QLatin1String("remove"))
            QCOMPARE(prompt.messages(), QStringList{QStringLiteral("The %1 was removed by another user; nothing was "
                                                                   "saved for it.")
                                                        .arg(what)});
        else
            QVERIFY(prompt.calls.isEmpty());

        Outline theirs = outline(3);
        for (OutlinePoint& pt : theirs)
            ++pt.x;
        const Outline expected = stored == QLatin1String("mine")     ? mine
                                 : stored == QLatin1String("theirs") ? theirs
                                                                     : outline(3);
        QStringList rows;
        for (int k = 0; k < expected.size(); ++k)
            rows << QStringLiteral("%1|%2|%3").arg(k + 1).arg(expected[k].x).arg(expected[k].y);
        QCOMPARE(Rows(QStringLiteral("SELECT CoordIndex, %1, %2 FROM %3 WHERE %4 = ? ORDER BY CoordIndex")
                          .arg(x, y, coords, key),
                      {id}),
                 rows);
        // The same outline as loaded is no change: nothing is read or written.
        prompt.calls.clear();
        QVERIFY((tunnel ? DbSaveTunnelCoords(id, mine, mine, QString()) : DbSavePanelCoords(id, mine, mine, QString()))
                    .saved());
        QVERIFY(prompt.calls.isEmpty());
    }

    void panelsAreNumberedFromOne()
    {
        FixtureSystem();
        const qint32 t = FixtureTunnel(QStringLiteral("A"));
        const qint32 other = FixtureTunnel(QStringLiteral("B"));
        const qint32 p1 = DbAddPanel(t, QStringLiteral("P1"));
        const qint32 p2 = DbAddPanel(t, QStringLiteral("P2"));
        const qint32 p3 = DbAddPanel(t, QStringLiteral("P3"));
        QCOMPARE(DbAddPanel(other, QStringLiteral("Q1")), p3 + 1);
        gConn.exec(QStringLiteral("DELETE FROM Panels WHERE PanelID = ?"), {p2});
        const qint32 p4 = DbAddPanel(t, QStringLiteral("P4"));
        qint32 num = 0;
        QString name;
        DbGetPanelInfo(p4, num, name);
        QCOMPARE(num, 4);
        QCOMPARE(name, QStringLiteral("P4"));
        // Removing the highest lets its number be given again.
        gConn.exec(QStringLiteral("DELETE FROM Panels WHERE PanelID = ?"), {p4});
        DbGetPanelInfo(DbAddPanel(t, QStringLiteral("P5")), num, name);
        QCOMPARE(num, 4);
        DbGetPanelInfo(DbAddPanel(other, QStringLiteral("Q2")), num, name);
        QCOMPARE(num, 2);

        const RowSet rs = DbGetPanels(t);
        QCOMPARE(rs.count(), 3);
        QCOMPARE(rs.toInt(0, QStringLiteral("PanelID")), p1);
        QCOMPARE(rs.toInt(2, QStringLiteral("PanelNum")), 4);
    }

    void duplicatePanelNames_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("sameTunnel");
        QTest::addColumn<bool>("exists");
        QTest::newRow("same case") << "Portal East" << "Portal East" << true << true;
        QTest::newRow("other case") << "Portal East" << "portal EAST" << true << true;
        QTest::newRow("quote") << "O'Hare" << "o'hare" << true << true;
        QTest::newRow("accented, other case") << "Ärztegang" << "äRZTEGANG" << true << true;
        QTest::newRow("other tunnel only") << "Portal East" << "portal east" << false << false;
        QTest::newRow("different") << "Portal East" << "Portal West" << true << false;
    }
    void duplicatePanelNames()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, sameTunnel);
        QFETCH(bool, exists);
        ScriptedPrompt prompt;
        FixtureSystem();
        const qint32 t = FixtureTunnel(QStringLiteral("A"));
        const qint32 other = FixtureTunnel(QStringLiteral("B"));
        DbAddPanel(sameTunnel ? t : other, stored);
        QCOMPARE(DbPanelNameExists(t, typed), exists);
        if (!exists) {
            QCOMPARE(prompt.calls.size(), 0);
            return;
        }
        QCOMPARE(prompt.calls.size(), 1);
        const PromptCall& c = prompt.calls.first();
        QCOMPARE(c.text, QStringLiteral("A panel by the name of ") + typed.toUpper() +
                             QStringLiteral(" already exists in this tunnel. \n"
                                            "Please enter a different name for the current panel."));
        QCOMPARE(c.title, QStringLiteral("Duplicate Name"));
        QCOMPARE(c.icon, MsgIcon::Warning);
        QCOMPARE(c.buttons, MsgButtons::Ok);
    }

    void panelNamesReadBack()
    {
        FixtureSystem();
        const qint32 t = FixtureTunnel(QStringLiteral("A"));
        const qint32 p = DbAddPanel(t, QStringLiteral("P1"));
        DbRenamePanel(p, QStringLiteral("Smith's bay"));
        QCOMPARE(DbGetPanelName(p), QStringLiteral("Smith's bay"));
        gConn.exec(QStringLiteral("UPDATE Panels SET PanelName = NULL"));
        QCOMPARE(DbGetPanelName(p), QString());
        qint32 num = 7;
        QString name = QStringLiteral("kept");
        DbGetPanelInfo(p, num, name);
        QCOMPARE(num, 1);
        QCOMPARE(name, QString());

        // A missing panel: the name raises, the info leaves the caller's values.
        try {
            DbGetPanelName(p + 100);
            QFAIL("no error");
        } catch (const DbError& e) {
            QCOMPARE(e.number(), ErrNo::NoCurrentRecord);
        }
        num = 7;
        name = QStringLiteral("kept");
        DbGetPanelInfo(p + 100, num, name);
        QCOMPARE(num, 7);
        QCOMPARE(name, QStringLiteral("kept"));
    }

    void panelOutlines()
    {
        FixtureSystem();
        const qint32 p = DbAddPanel(FixtureTunnel(QStringLiteral("A")), QStringLiteral("P1"));
        const qint32 q = DbAddPanel(FixtureTunnel(QStringLiteral("B")), QStringLiteral("Q1"));
        DbAddPanelPoint(p, 1, 2);
        DbAddPanelPoint(p, 3, 4);
        DbAddPanelPoint(q, 9, 9);
        DbAddPanelPoint(p, 5, 6);
        qint32 count = 0;
        QCOMPARE(DbGetPanelCoords(p, count).count(), 3);
        QCOMPARE(count, 3);
        QCOMPARE(Rows(QStringLiteral("SELECT CoordIndex, PanelX, PanelY FROM PanelCoord WHERE PanelID = ? "
                                     "ORDER BY CoordIndex"),
                      {p}),
                 (QStringList{"1|1|2", "2|3|4", "3|5|6"}));
        DbDeletePanelPoints(p);
        DbAddPanelPoint(p, 7, 8);
        QCOMPARE(Rows(QStringLiteral("SELECT CoordIndex, PanelX FROM PanelCoord WHERE PanelID = ?"), {p}),
                 QStringList{QStringLiteral("1|7")});

        DbSavePanelCoords(p, outline(4));
        const RowSet rs = DbGetPanelCoords(p, count);
        QCOMPARE(count, 4);
        QCOMPARE(rs.toInt(3, QStringLiteral("CoordIndex")), 4);
        QCOMPARE(rs.toInt(3, QStringLiteral("PanelX")), 300);
        QCOMPARE(CountRows(QStringLiteral("PanelCoord"), QStringLiteral("PanelID = ?"), {q}), 1);

        // A failed rewrite keeps the stored outline.
        const QStringList before = Rows(QStringLiteral("SELECT * FROM PanelCoord ORDER BY PanelID, CoordIndex"));
        FailWhen(QStringLiteral("fail_pt"), QStringLiteral("INSERT"), QStringLiteral("PanelCoord"),
                 QStringLiteral("NEW.CoordIndex = 3"));
        QVERIFY_THROWS_EXCEPTION(DbError, DbSavePanelCoords(p, outline(5)));
        QCOMPARE(Rows(QStringLiteral("SELECT * FROM PanelCoord ORDER BY PanelID, CoordIndex")), before);
    }

    void panelElements()
    {
        FixtureSystem();
        const qint32 p = DbAddPanel(FixtureTunnel(QStringLiteral("A")), QStringLiteral("P1"));
        FixtureElement(0, QStringLiteral("Lining"), 1);
        FixtureElement(1, QStringLiteral("Drain Pipe"), 2);
        FixtureElement(2, QStringLiteral("Lights"), 2);
        QVERIFY(DbAddPanelElement(p, 2));
        QVERIFY(DbAddPanelElement(p, 0));
        QVERIFY(!DbAddPanelElement(p, 2));
        QCOMPARE(CountRows(QStringLiteral("PanelElements")), 2);

        const RowSet rs = DbGetPanelElements(p);
        QCOMPARE(rs.columns(), (QStringList{"ElementName", "ElementID", "ElementCategory"}));
        QCOMPARE(rs.count(), 2);
        QCOMPARE(rs.filtered(QStringLiteral("ElementCategory"), 2).count(), 1);
        QCOMPARE(DbGetAvailableElements().count(), 3);

        QCOMPARE(DbGetElementName(1), QStringLiteral("Drain Pipe"));
        QVERIFY_THROWS_EXCEPTION(DbError, DbGetElementName(42));
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestDbSystem)
#include "tst_dbsystem.moc"
