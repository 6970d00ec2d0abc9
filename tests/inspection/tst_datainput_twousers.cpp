// Rating entry with another user on the same database: another program (the sqlite3 shell)
// or another window of the program changes the file between the load and the save. A save
// writes only what this window changed, asks before replacing what another user changed,
// and writes nothing into a period, panel or element another user removed.

#include "tst_datainput_fixture.h"

#include "frmInspectionPd.h"
#include "frmPanelElements.h"
#include "frmTunnelSpecs.h"
#include "alteredtexts.h"
#include "otherprogram.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <functional>

namespace {

void addDefect(qint32 panelId, qint32 inspectionId, const QString& desc, double qty, double unitCost, bool posted = false)
{
    gConn.exec(QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Quantity, Units, UnitCost, "
                              "TotalCost, Description, Posted) VALUES (?, ?, ?, 'ft', ?, ?, ?, ?)"),
               {panelId, inspectionId, qty, unitCost, qty * unitCost, desc, int(posted)});
}

QStringList listTexts(QTreeWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(0);
    return out;
}

int itemRow(QTreeWidget* list, const QString& description)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0) == description)
            return i;
    return -1;
}

void selectItem(QTreeWidget* list, const QString& description)
{
    QTreeWidgetItem* item = list->topLevelItem(itemRow(list, description));
    list->setCurrentItem(item);
    emit list->itemClicked(item, 0);
}

void addItem(frmDataInput* w, const QString& desc, const QString& qty, const QString& cost)
{
    w->txtDefectDesc->setText(desc);
    w->txtQty->setText(qty);
    w->cboUnits->setEditText(QStringLiteral("ft"));
    w->txtUnitCost->setText(cost);
    QTest::mouseClick(w->cmdAddDefect, Qt::LeftButton);
}

// The row of the element, -1 when the window shows none.
int ratingRow(frmDataInput* w, const QString& element)
{
    for (int i = 0; i < w->RowCount(); ++i)
        if (w->lblElement[i]->text() == element)
            return i;
    return -1;
}

// Presses Save and answers "Are you sure?" with Yes, then whatever follows from the queue.
void save(DataInputFixture& f, frmDataInput* w, const QList<MsgAnswer>& then = {})
{
    f.prompt->answer(MsgAnswer::Yes);
    for (MsgAnswer a : then)
        f.prompt->answer(a);
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
}

// SQL for the sqlite3 shell with the fixture's keys put in: {period}, {previous}, {panel}, {tunnel}.
QString withKeys(QString sql, const DataInputFixture& f)
{
    return sql.replace(QStringLiteral("{period}"), QString::number(f.cur))
        .replace(QStringLiteral("{previous}"), QString::number(f.prev))
        .replace(QStringLiteral("{panel}"), QString::number(f.p1))
        .replace(QStringLiteral("{tunnel}"), QString::number(f.tunnel));
}

QString removedText(const QString& what)
{
    return what + QStringLiteral(" was removed by another user; nothing was saved for it.");
}

// One value both users change: how it starts, what the other user stores, what this window
// types, where it is stored and how the window shows it.
struct BothChange {
    QString question;
    std::function<void(const DataInputFixture&)> start;
    QString theirs;  // SQL for the sqlite3 shell
    std::function<void(frmDataInput*)> mine;
    QString stored;  // SQL of the stored value
    QString mineValue;
    QString theirsValue;
    std::function<QString(frmDataInput*)> shown;
};

const QString kChanged = QStringLiteral(" was changed by another user after you opened it. ");

// The question about a value both changed.
QString bothChanged(const QString& what, const QString& now, const QString& yours)
{
    return what + QStringLiteral(" was changed by another user after you opened it: it is now %1, yours is %2. "
                                 "Replace it with yours?")
                      .arg(now, yours);
}

QMap<QString, BothChange> bothChanges()
{
    const auto rating = [](frmDataInput* w) { return w->txtRate1[0]->text(); };
    const auto defects = [](frmDataInput* w) { return listTexts(w->lvDefectQty).join(QLatin1Char('/')); };
    return {
        {QStringLiteral("comment"),
         {bothChanged(QStringLiteral("The 2026 comment of panel P1"), QStringLiteral("\"theirs\""), QStringLiteral("\"mine\"")),
          [](const DataInputFixture& f) {
              gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments) VALUES (?, ?, 'old')"),
                         {f.cur, f.p1});
          },
          QStringLiteral("UPDATE PanelComments SET Comments = 'theirs' WHERE InspectionID = {period} AND PanelID = {panel}"),
          [](frmDataInput* w) { w->txt1[1]->setPlainText(QStringLiteral("mine")); },
          QStringLiteral("SELECT Comments FROM PanelComments WHERE InspectionID = {period} AND PanelID = {panel}"),
          QStringLiteral("mine"), QStringLiteral("theirs"), [](frmDataInput* w) { return w->txt1[1]->toPlainText(); }}},
        {QStringLiteral("previous comment"),
         {bothChanged(QStringLiteral("The 2024 comment of panel P1"), QStringLiteral("\"theirs\""), QStringLiteral("\"mine\"")),
          [](const DataInputFixture& f) {
              gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments) VALUES (?, ?, 'old')"),
                         {f.prev, f.p1});
          },
          QStringLiteral("UPDATE PanelComments SET Comments = 'theirs' WHERE InspectionID = {previous} AND PanelID = {panel}"),
          [](frmDataInput* w) { w->txt1[0]->setPlainText(QStringLiteral("mine")); },
          QStringLiteral("SELECT Comments FROM PanelComments WHERE InspectionID = {previous} AND PanelID = {panel}"),
          QStringLiteral("mine"), QStringLiteral("theirs"), [](frmDataInput* w) { return w->txt1[0]->toPlainText(); }}},
        {QStringLiteral("rating"),
         {bothChanged(QStringLiteral("The rating of Element 1 on panel P1"), QStringLiteral("2"), QStringLiteral("7")),
          [](const DataInputFixture& f) { DataInputFixture::rate(f.cur, f.p1, 1, 5); },
          QStringLiteral("UPDATE Ratings SET Rating = 2 WHERE InspectionID = {period} AND PanelID = {panel} AND ElementID = 1"),
          [](frmDataInput* w) { w->txtRate1[0]->setText(QStringLiteral("7")); },
          QStringLiteral("SELECT Rating FROM Ratings WHERE InspectionID = {period} AND PanelID = {panel} AND ElementID = 1"),
          QStringLiteral("7"), QStringLiteral("2"), rating}},
        // The window loaded no row; the other user's new one is a change all the same.
        {QStringLiteral("rating over no row"),
         {bothChanged(QStringLiteral("The rating of Element 1 on panel P1"), QStringLiteral("2"), QStringLiteral("7")),
          [](const DataInputFixture&) {},
          QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES ({period}, {panel}, 1, 2)"),
          [](frmDataInput* w) { w->txtRate1[0]->setText(QStringLiteral("7")); },
          QStringLiteral("SELECT Rating FROM Ratings WHERE InspectionID = {period} AND PanelID = {panel} AND ElementID = 1"),
          QStringLiteral("7"), QStringLiteral("2"), rating}},
        {QStringLiteral("defect"),
         {bothChanged(QStringLiteral("The description of the defect Crack"), QStringLiteral("\"Crack, theirs\""),
                      QStringLiteral("\"Crack, mine\"")),
          [](const DataInputFixture& f) { addDefect(f.p1, f.cur, QStringLiteral("Crack"), 1, 2); },
          QStringLiteral("UPDATE DefectQuantity SET Description = 'Crack, theirs' WHERE InspectionID = {period} AND PanelID = {panel}"),
          [](frmDataInput* w) {
              selectItem(w->lvDefectQty, QStringLiteral("Crack"));
              w->txtDefectDesc->setText(QStringLiteral("Crack, mine"));
              QTest::mouseClick(w->cmdEditDefect, Qt::LeftButton);
          },
          QStringLiteral("SELECT Description FROM DefectQuantity WHERE InspectionID = {period} AND PanelID = {panel}"),
          QStringLiteral("Crack, mine"), QStringLiteral("Crack, theirs"), defects}},
        {QStringLiteral("defect deleted"),
         {QStringLiteral("The defect Crack") + kChanged + QStringLiteral("Remove it all the same?"),
          [](const DataInputFixture& f) { addDefect(f.p1, f.cur, QStringLiteral("Crack"), 1, 2); },
          QStringLiteral("UPDATE DefectQuantity SET Quantity = 3, TotalCost = 6 WHERE InspectionID = {period} AND PanelID = {panel}"),
          [](frmDataInput* w) {
              selectItem(w->lvDefectQty, QStringLiteral("Crack"));
              QTest::mouseClick(w->cmdDeleteDefect, Qt::LeftButton);
          },
          QStringLiteral("SELECT Quantity FROM DefectQuantity WHERE InspectionID = {period} AND PanelID = {panel}"),
          QString(), QStringLiteral("3"),
          [](frmDataInput* w) {
              return w->lvDefectQty->topLevelItemCount() ? w->lvDefectQty->topLevelItem(0)->text(1) : QString();
          }}},
    };
}

}  // namespace

class TestDataInputTwoUsers : public QObject {
    Q_OBJECT

private slots:
    // Another user adds a defect, changes one, deletes one, rates an element and writes the
    // comment; this window changes one rating: all of the other user's work stays as saved.
    void anotherUsersSavedWorkSurvives()
    {
        DataInputFixture f;
        addDefect(f.p1, f.cur, QStringLiteral("old"), 1, 2, true);
        addDefect(f.p1, f.cur, QStringLiteral("deleted by A"), 1, 1);
        DataInputFixture::rate(f.cur, f.p1, 1, 6);
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QCOMPARE(listTexts(w->lvDefectQty), (QStringList{"old", "deleted by A"}));

        const QString theirs = withKeys(
            QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Quantity, Units, UnitCost, TotalCost, "
                           "Description, Posted) VALUES ({panel}, {period}, 2, 'm', 5, 10, 'added by A', 0);"
                           "UPDATE DefectQuantity SET Quantity = 4, TotalCost = 8, Posted = 0 WHERE Description = 'old';"
                           "DELETE FROM DefectQuantity WHERE Description = 'deleted by A';"
                           "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES ({period}, {panel}, 2, 3);"
                           "INSERT INTO PanelComments (InspectionID, PanelID, Comments) VALUES ({period}, {panel}, 'by A');"),
            f);
        QCOMPARE(RunSqliteShell(f.install->dbPath(), theirs), QString());

        w->txtRate1[0]->setText(QStringLiteral("4"));
        save(f, w);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Are you sure?")});
        QVERIFY(!w->Editing());
        QCOMPARE(Rows(QStringLiteral("SELECT Description, Quantity, TotalCost, Posted FROM DefectQuantity ORDER BY ID")),
                 (QStringList{"old|4|8|0", "added by A|2|10|0"}));
        QCOMPARE(Rows(QStringLiteral("SELECT ElementID, Rating FROM Ratings ORDER BY ElementID")),
                 (QStringList{"1|4", "2|3"}));
        QCOMPARE(Rows(QStringLiteral("SELECT Comments FROM PanelComments")), QStringList{"by A"});
        // The window shows what is stored now, and compares with it at the next save.
        QCOMPARE(listTexts(w->lvDefectQty), (QStringList{"old", "added by A"}));
        QCOMPARE(w->txtRate1[1]->text(), QStringLiteral("3"));
        QCOMPARE(w->txt1[1]->toPlainText(), QStringLiteral("by A"));
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txt1[1]->setPlainText(QStringLiteral("by A and B"));
        save(f, w);
        QCOMPARE(f.prompt->messages().size(), 2);
        QCOMPARE(Rows(QStringLiteral("SELECT Comments FROM PanelComments")), QStringList{"by A and B"});
    }

    // This window's own list edits: a changed item writes only what changed, a deleted one is
    // removed, a new one added; an untouched posted one stays posted.
    void onlyTheListsChangesAreWritten()
    {
        DataInputFixture f;
        // 0.1 + 0.2 is stored with all its digits; the list shows 0.3.
        gConn.exec(QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Quantity, Units, UnitCost, "
                                  "TotalCost, Description, Posted) VALUES (?, ?, 0.1 + 0.2, 'ft', 10, 3, 'fine', 1)"),
                   {f.p1, f.cur});
        addDefect(f.p1, f.cur, QStringLiteral("renamed"), 1, 2, true);
        addDefect(f.p1, f.cur, QStringLiteral("deleted"), 1, 2, true);
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        // Opened in the editor and put back as it was: no change.
        selectItem(w->lvDefectQty, QStringLiteral("fine"));
        QTest::mouseClick(w->cmdEditDefect, Qt::LeftButton);
        selectItem(w->lvDefectQty, QStringLiteral("renamed"));
        w->txtDefectDesc->setText(QStringLiteral("renamed twice"));
        QTest::mouseClick(w->cmdEditDefect, Qt::LeftButton);
        selectItem(w->lvDefectQty, QStringLiteral("deleted"));
        QTest::mouseClick(w->cmdDeleteDefect, Qt::LeftButton);
        addItem(w, QStringLiteral("new"), QStringLiteral("2"), QStringLiteral("3"));
        save(f, w);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Are you sure?")});
        QCOMPARE(Rows(QStringLiteral("SELECT Description, Quantity = 0.1 + 0.2, UnitCost, TotalCost, Posted "
                                     "FROM DefectQuantity ORDER BY ID")),
                 (QStringList{"fine|1|10|3|1", "renamed twice|0|2|2|0", "new|0|3|6|0"}));
    }

    // Both users change the same value: the save asks; Yes writes this window's value, No keeps
    // the other user's and shows it, Cancel keeps editing with the typing on screen.
    void aValueBothChangedIsAskedAbout_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("answer");
        for (const QString& kind : bothChanges().keys())
            for (MsgAnswer a : {MsgAnswer::Yes, MsgAnswer::No, MsgAnswer::Cancel})
                QTest::newRow(qPrintable(kind + (a == MsgAnswer::Yes  ? QStringLiteral(", yes")
                                                 : a == MsgAnswer::No ? QStringLiteral(", no")
                                                                      : QStringLiteral(", cancel"))))
                    << kind << int(a);
    }
    void aValueBothChangedIsAskedAbout()
    {
        QFETCH(QString, kind);
        QFETCH(int, answer);
        const BothChange c = bothChanges().value(kind);
        DataInputFixture f;
        c.start(f);
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        c.mine(w);
        const QString typed = c.shown(w);
        QCOMPARE(RunSqliteShell(f.install->dbPath(), withKeys(c.theirs, f)), QString());
        save(f, w, {MsgAnswer(answer)});
        QCOMPARE(f.prompt->messages(), (QStringList{QStringLiteral("Are you sure?"), c.question}));
        QCOMPARE(f.prompt->calls.last().buttons, MsgButtons::YesNoCancel);
        const QStringList stored = Rows(withKeys(c.stored, f));
        const QString expected = answer == int(MsgAnswer::Yes) ? c.mineValue : c.theirsValue;
        QCOMPARE(stored.value(0), expected);
        QCOMPARE(w->Editing(), answer == int(MsgAnswer::Cancel));
        QCOMPARE(c.shown(w), answer == int(MsgAnswer::Cancel) ? typed : expected);
    }

    // A comment stored by another tool with Windows line ends, a lone carriage return or a
    // no-break space comes back from its box altered: pressing Edit is no change, a saved
    // rating leaves the comment and its posted state alone, and another user's change of it
    // meanwhile is kept with no question.
    void aTextTheBoxAltersIsNoChange_data() { AddAlteredTextRows(); }
    void aTextTheBoxAltersIsNoChange()
    {
        QFETCH(QString, stored);
        QFETCH(bool, theirs);
        DataInputFixture f;
        for (qint32 period : {f.cur, f.prev})
            gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments, Posted) VALUES (?, ?, ?, 1)"),
                       {period, f.p1, stored});
        frmDataInput* w = f.open();
        QVERIFY(w->txt1[1]->toPlainText() != stored);  // the box does alter it
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QVERIFY(!w->EditChanged());
        if (theirs)
            QCOMPARE(RunSqliteShell(f.install->dbPath(),
                                    withKeys(QStringLiteral("UPDATE PanelComments SET Comments = 'theirs' WHERE PanelID = {panel}"), f)),
                     QString());
        w->txtRate1[0]->setText(QStringLiteral("4"));
        QVERIFY(w->EditChanged());
        save(f, w);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Are you sure?")});
        const QVariant expected = theirs ? QVariant(QStringLiteral("theirs")) : QVariant(stored);
        for (qint32 period : {f.cur, f.prev}) {
            QCOMPARE(gConn.scalar(QStringLiteral("SELECT Comments FROM PanelComments WHERE InspectionID = ?"), {period}),
                     expected);
            QCOMPARE(gConn.scalar(QStringLiteral("SELECT Posted FROM PanelComments WHERE InspectionID = ?"), {period}).toInt(),
                     1);
        }
        QCOMPARE(Rows(QStringLiteral("SELECT Rating FROM Ratings")), QStringList{"4"});
    }

    // Both users change one defect row: each column is its own. A change of other columns
    // is kept without a question; a column both changed is asked about with both values, and
    // the total follows the quantity and unit cost as stored after the save.
    void aDefectIsMergedColumnByColumn_data()
    {
        QTest::addColumn<QString>("theirs");  // the other user's save, by the sqlite3 shell
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QString>("unitCost");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("stored");  // Quantity|UnitCost|TotalCost
        const QString theirQty = QStringLiteral("UPDATE DefectQuantity SET Quantity = 3, TotalCost = 30");
        const QString asked = QStringLiteral("The unit cost of the defect Shared defect was changed by another user "
                                             "after you opened it: it is now $15, yours is $20. Replace it with yours?");
        QTest::newRow("their quantity, my unit cost") << theirQty << "2" << "20" << int(MsgAnswer::Default) << QString()
                                                      << "3|20|60";
        QTest::newRow("both unit cost: yes") << QStringLiteral("UPDATE DefectQuantity SET Quantity = 3, UnitCost = 15")
                                             << "2" << "20" << int(MsgAnswer::Yes) << asked << "3|20|60";
        QTest::newRow("both unit cost: no") << QStringLiteral("UPDATE DefectQuantity SET UnitCost = 15")
                                            << "4" << "20" << int(MsgAnswer::No) << asked << "4|15|60";
    }
    void aDefectIsMergedColumnByColumn()
    {
        QFETCH(QString, theirs);
        QFETCH(QString, quantity);
        QFETCH(QString, unitCost);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(QString, stored);
        DataInputFixture f;
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        addItem(w, QStringLiteral("Shared defect"), QStringLiteral("2"), QStringLiteral("10"));
        save(f, w);
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        selectItem(w->lvDefectQty, QStringLiteral("Shared defect"));
        w->txtQty->setText(quantity);
        w->txtUnitCost->setText(unitCost);
        QTest::mouseClick(w->cmdEditDefect, Qt::LeftButton);
        QCOMPARE(RunSqliteShell(f.install->dbPath(), theirs), QString());
        f.prompt->calls.clear();
        save(f, w, {MsgAnswer(answer)});
        QCOMPARE(f.prompt->messages(),
                 question.isEmpty() ? QStringList{QStringLiteral("Are you sure?")}
                                    : (QStringList{QStringLiteral("Are you sure?"), question}));
        QCOMPARE(Rows(QStringLiteral("SELECT Quantity, UnitCost, TotalCost FROM DefectQuantity")), QStringList{stored});
        QVERIFY(!w->Editing());
    }

    // The period, the panel or the tunnel removed by another program while a rating, a
    // comment and a defect are typed: nothing is written, the user is told what is gone and
    // keeps editing with the typing.
    void aSaveIntoWhatIsGoneWritesNothing_data()
    {
        QTest::addColumn<QString>("removal");
        QTest::addColumn<QString>("gone");
        // As the program removes them.
        QTest::newRow("period") << "DELETE FROM Ratings WHERE InspectionID = {period};"
                                   "DELETE FROM PanelComments WHERE InspectionID = {period};"
                                   "DELETE FROM ImagePaths WHERE InspectionID = {period};"
                                   "DELETE FROM InspectionPeriod WHERE InspectionID = {period};"
                                << "The inspection period 2026";
        QTest::newRow("panel") << "DELETE FROM Ratings WHERE PanelID = {panel}; DELETE FROM Panels WHERE PanelID = {panel};"
                                  "DELETE FROM PanelElements WHERE PanelID = {panel}; DELETE FROM PanelCoord WHERE PanelID = {panel};"
                                  "DELETE FROM PanelComments WHERE PanelID = {panel};"
                               << "The panel P1";
        QTest::newRow("tunnel") << "DELETE FROM Tunnels WHERE TunnelID = {tunnel}; DELETE FROM InspectionPeriod WHERE TunnelID = {tunnel};"
                                   "DELETE FROM PanelElements WHERE PanelID IN (SELECT PanelID FROM Panels WHERE TunnelID = {tunnel});"
                                   "DELETE FROM Panels WHERE TunnelID = {tunnel};"
                                << "The tunnel East Bore";
    }
    void aSaveIntoWhatIsGoneWritesNothing()
    {
        QFETCH(QString, removal);
        QFETCH(QString, gone);
        DataInputFixture f;
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("4"));
        w->txt1[1]->setPlainText(QStringLiteral("mine"));
        addItem(w, QStringLiteral("Crack"), QStringLiteral("1"), QStringLiteral("2"));
        QCOMPARE(RunSqliteShell(f.install->dbPath(), withKeys(removal, f)), QString());
        save(f, w);
        QCOMPARE(f.prompt->messages(), (QStringList{QStringLiteral("Are you sure?"), removedText(gone)}));
        for (const char* table : {"Ratings", "PanelComments", "DefectQuantity"})
            QCOMPARE(CountRows(QLatin1String(table)), 0);
        QVERIFY(w->Editing());
        QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("4"));
        QCOMPARE(w->txt1[1]->toPlainText(), QStringLiteral("mine"));
        QCOMPARE(listTexts(w->lvDefectQty), QStringList{"Crack"});
        // Cancel drops the typing quietly and writes nothing either; what is gone leaves the
        // screen (the window of a removed tunnel closes).
        QPointer<frmDataInput> window = w;
        QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
        QCOMPARE(LoadedForms().contains(window.data()), gone != QLatin1String("The tunnel East Bore"));
        QVERIFY(!window || !window->Editing());
        if (gone == QLatin1String("The panel P1"))
            QCOMPARE(ShadingOf(w->ZVMap1, f.p1), -1);
        QCOMPARE(f.prompt->messages().mid(2).join(QLatin1Char('/')), QString());
        QCOMPARE(CountRows(QStringLiteral("Ratings")) + CountRows(QStringLiteral("DefectQuantity")), 0);
    }

    // What one row belongs to, or the row itself, removed meanwhile: that row is not written
    // and the user is told; the rest of the save is written and the window shows what is stored.
    void aRowGoneIsToldAndTheRestSaved_data()
    {
        QTest::addColumn<QString>("removal");
        QTest::addColumn<QString>("gone");
        QTest::newRow("element of the panel")
            << "DELETE FROM PanelElements WHERE PanelID = {panel} AND ElementID = 1;" << "The element Element 1 of panel P1";
        QTest::newRow("defect changed here") << "DELETE FROM DefectQuantity WHERE Description = 'Crack';"
                                             << "The defect Crack";
    }
    void aRowGoneIsToldAndTheRestSaved()
    {
        QFETCH(QString, removal);
        QFETCH(QString, gone);
        DataInputFixture f;
        addDefect(f.p1, f.cur, QStringLiteral("Crack"), 1, 2);
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("4"));
        w->txtRate1[1]->setText(QStringLiteral("5"));
        selectItem(w->lvDefectQty, QStringLiteral("Crack"));
        w->txtQty->setText(QStringLiteral("3"));
        QTest::mouseClick(w->cmdEditDefect, Qt::LeftButton);
        QCOMPARE(RunSqliteShell(f.install->dbPath(), withKeys(removal, f)), QString());
        save(f, w);
        QCOMPARE(f.prompt->messages(), (QStringList{QStringLiteral("Are you sure?"), removedText(gone)}));
        QVERIFY(!w->Editing());
        const bool elementGone = gone.startsWith(QStringLiteral("The element"));
        QCOMPARE(Rows(QStringLiteral("SELECT ElementID, Rating FROM Ratings ORDER BY ElementID")),
                 elementGone ? QStringList{"2|5"} : (QStringList{"1|4", "2|5"}));
        QCOMPARE(Rows(QStringLiteral("SELECT Quantity FROM DefectQuantity")),
                 elementGone ? QStringList{"3"} : QStringList());
        QCOMPARE(ratingRow(w, QStringLiteral("Element 1")) >= 0, !elementGone);
        QCOMPARE(w->lvDefectQty->topLevelItemCount(), elementGone ? 1 : 0);
    }

    // Another program saved after the panel was loaded: Edit, with nothing typed yet, starts
    // from what is stored now, so the save compares with that and asks nothing about it.
    void editLoadsWhatIsStoredNow()
    {
        DataInputFixture f;
        DataInputFixture::rate(f.cur, f.p1, 1, 5);
        addDefect(f.p1, f.cur, QStringLiteral("Crack"), 1, 2);
        frmDataInput* w = f.open();
        QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("5"));
        const QString theirs = QStringLiteral(
            "UPDATE Ratings SET Rating = 2 WHERE InspectionID = {period} AND PanelID = {panel} AND ElementID = 1;"
            "INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES ({period}, {panel}, 2, 3);"
            "INSERT INTO PanelComments (InspectionID, PanelID, Comments) VALUES ({period}, {panel}, 'theirs');"
            "UPDATE DefectQuantity SET Description = 'Crack, theirs' WHERE PanelID = {panel};");
        QCOMPARE(RunSqliteShell(f.install->dbPath(), withKeys(theirs, f)), QString());
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QVERIFY(w->Editing());
        QVERIFY(!w->EditChanged());
        QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("2"));
        QCOMPARE(w->txtRate1[1]->text(), QStringLiteral("3"));
        QCOMPARE(w->txt1[1]->toPlainText(), QStringLiteral("theirs"));
        QCOMPARE(listTexts(w->lvDefectQty), QStringList{"Crack, theirs"});
        w->txtRate1[0]->setText(QStringLiteral("7"));
        selectItem(w->lvDefectQty, QStringLiteral("Crack, theirs"));
        w->txtQty->setText(QStringLiteral("4"));
        QTest::mouseClick(w->cmdEditDefect, Qt::LeftButton);
        save(f, w);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Are you sure?")});
        QCOMPARE(Rows(QStringLiteral("SELECT ElementID, Rating FROM Ratings ORDER BY ElementID")),
                 (QStringList{"1|7", "2|3"}));
        QCOMPARE(Rows(QStringLiteral("SELECT Comments FROM PanelComments")), QStringList{"theirs"});
        QCOMPARE(Rows(QStringLiteral("SELECT Description, Quantity FROM DefectQuantity")),
                 QStringList{"Crack, theirs|4"});
    }

    // Edit finds the panel or the tunnel removed by another program: no edit starts; the panel
    // leaves the map, the window of a removed tunnel closes.
    void editAfterWhatIsGone_data()
    {
        QTest::addColumn<QString>("removal");
        QTest::addColumn<bool>("windowStays");
        QTest::newRow("panel") << "DELETE FROM Ratings WHERE PanelID = {panel}; DELETE FROM Panels WHERE PanelID = {panel};"
                                  "DELETE FROM PanelElements WHERE PanelID = {panel}; DELETE FROM PanelCoord WHERE PanelID = {panel};"
                               << true;
        QTest::newRow("tunnel") << "DELETE FROM Tunnels WHERE TunnelID = {tunnel}; DELETE FROM InspectionPeriod WHERE TunnelID = {tunnel};"
                                   "DELETE FROM PanelElements WHERE PanelID IN (SELECT PanelID FROM Panels WHERE TunnelID = {tunnel});"
                                   "DELETE FROM Panels WHERE TunnelID = {tunnel};"
                                << false;
    }
    void editAfterWhatIsGone()
    {
        QFETCH(QString, removal);
        QFETCH(bool, windowStays);
        DataInputFixture f;
        QPointer<frmDataInput> w = f.open();
        QCOMPARE(RunSqliteShell(f.install->dbPath(), withKeys(removal, f)), QString());
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(!w.isNull() && LoadedForms().contains(w.data()), windowStays);
        if (windowStays) {
            QVERIFY(!w->Editing());
            QCOMPARE(ShadingOf(w->ZVMap1, f.p1), -1);
            QVERIFY(w->PanelID() != f.p1);
        }
        QVERIFY(f.prompt->calls.isEmpty());
    }

    // A tunnel renamed by another program: an open window that names it in its title shows
    // the new name once it loads a panel again.
    void titleFollowsATunnelRename_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("rating entry") << "frmDataInput";
        QTest::newRow("panel set-up") << "frmTunnelSpecs";
        QTest::newRow("panel elements") << "frmPanelElements";
    }
    void titleFollowsATunnelRename()
    {
        QFETCH(QString, window);
        DataInputFixture f;
        QWidget* shown = nullptr;
        std::function<void()> loadAgain;
        if (window == QLatin1String("frmDataInput")) {
            frmDataInput* w = f.open();
            shown = w;
            loadAgain = [w] {
                QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
                QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
            };
        } else if (window == QLatin1String("frmTunnelSpecs")) {
            auto* specs = new frmTunnelSpecs;
            specs->LoadForm(f.tunnel);
            shown = specs;
            loadAgain = [specs] { ClickMapAt(specs->ZVMap1, 4500, 1800); };
        } else {
            auto* elements = new frmPanelElements;
            elements->LoadForm(f.tunnel);
            shown = elements;
            loadAgain = [elements] { ClickMapAt(elements->ZVMap1, 4500, 1800); };
        }
        const QString before = shown->windowTitle();
        QVERIFY2(before.endsWith(QLatin1String(" - East Bore")), qPrintable(before));
        QCOMPARE(RunSqliteShell(f.install->dbPath(),
                                withKeys(QStringLiteral("UPDATE Tunnels SET TunnelName = 'West Bore' WHERE TunnelID = {tunnel}"), f)),
                 QString());
        loadAgain();
        QCOMPARE(shown->windowTitle(), before.chopped(9) + QStringLiteral("West Bore"));
        QVERIFY(f.prompt->calls.isEmpty());
    }

    // Two windows of the program on one file: the period tree deletes the period, panel set-up
    // removes the panel, or the panel-element window takes the element off the panel, while
    // rating entry has a rating typed.
    void anotherWindowRemovesWhatIsEdited_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("gone");
        QTest::addColumn<bool>("editing");
        QTest::newRow("period tree") << "frmInspectionPd" << "The inspection period 2026" << true;
        QTest::newRow("panel set-up") << "frmTunnelSpecs" << "The panel P1" << true;
        QTest::newRow("panel elements") << "frmPanelElements" << "The element Element 1 of panel P1" << false;
    }
    void anotherWindowRemovesWhatIsEdited()
    {
        QFETCH(QString, window);
        QFETCH(QString, gone);
        QFETCH(bool, editing);
        DataInputFixture f;
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("4"));

        if (window == QLatin1String("frmInspectionPd")) {
            frmInspectionPd::SetTunnelID(f.tunnel);
            auto* tree = new frmInspectionPd;
            tree->show();
            tree->FindNode(QStringLiteral("x%1").arg(f.tunnel))->setExpanded(true);
            tree->tv->setCurrentItem(tree->FindNode(QStringLiteral("y%1").arg(f.cur)));
            f.prompt->answer(MsgAnswer::Yes);
            tree->tv_DeleteKey();
            QCOMPARE(CountRows(QStringLiteral("InspectionPeriod"), QStringLiteral("InspectionID = ?"), {f.cur}), 0);
        } else if (window == QLatin1String("frmTunnelSpecs")) {
            auto* specs = new frmTunnelSpecs;
            specs->LoadForm(f.tunnel);
            ClickMapAt(specs->ZVMap1, 4500, 1800);
            QCOMPARE(specs->SelectedPanelID(), f.p1);
            f.prompt->answer(MsgAnswer::Yes);
            QTest::mouseClick(specs->cmdDelete, Qt::LeftButton);
            QCOMPARE(CountRows(QStringLiteral("Panels"), QStringLiteral("PanelID = ?"), {f.p1}), 0);
        } else {
            auto* elements = new frmPanelElements;
            elements->LoadForm(f.tunnel);
            ClickMapAt(elements->ZVMap1, 4500, 1800);
            QCOMPARE(elements->PanelID(), f.p1);
            for (int i = 0; i < elements->lstEle->count(); ++i)
                elements->lstEle->item(i)->setSelected(elements->lstEle->item(i)->text() == QLatin1String("Element 1"));
            elements->cmdRemove->click();
            QCOMPARE(CountRows(QStringLiteral("PanelElements"), QStringLiteral("PanelID = ? AND ElementID = 1"), {f.p1}), 0);
        }
        f.prompt->calls.clear();

        save(f, w);
        QCOMPARE(f.prompt->messages(), (QStringList{QStringLiteral("Are you sure?"), removedText(gone)}));
        QCOMPARE(CountRows(QStringLiteral("Ratings")), 0);
        QCOMPARE(w->Editing(), editing);
    }
};

QTEST_MAIN(TestDataInputTwoUsers)
#include "tst_datainput_twousers.moc"
