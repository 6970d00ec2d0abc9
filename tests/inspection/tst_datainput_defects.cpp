// Rating entry: the defect quantities of a panel (editor, list, save) with the refresh of the
// inspection-period tree's posting buttons, and the media buttons of the rating rows.

#include "tst_datainput_fixture.h"

#include "entryways.h"
#include "frmInspectionPd.h"
#include "otherprogram.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QStringList gCalls;

// A media window of a later library: records its calls, optionally fails them.
class FakeMedia : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit FakeMedia(const QString& name) : KrvForm<QWidget>(name) {}
    static inline bool fail = false;
    Q_INVOKABLE void Load(qint32 t, qint32 p, qint32 e, qint32 i, bool sketch)
    {
        note(QStringLiteral("Load(%1,%2,%3,%4,%5)").arg(t).arg(p).arg(e).arg(i).arg(flag(sketch)));
    }
    Q_INVOKABLE void LoadForm(qint16 index, bool sketch, qint32 p, qint32 e, qint32 i)
    {
        note(QStringLiteral("LoadForm(%1,%2,%3,%4,%5)").arg(index).arg(flag(sketch)).arg(p).arg(e).arg(i));
    }
    Q_INVOKABLE void LoadForm(qint32 p, qint32 e, qint32 i, bool sketch)
    {
        note(QStringLiteral("LoadForm(%1,%2,%3,%4)").arg(p).arg(e).arg(i).arg(flag(sketch)));
    }
    Q_INVOKABLE void LoadForm(qint32 a, qint32 b, qint32 c, qint32 d)
    {
        note(QStringLiteral("LoadForm(%1,%2,%3,%4)").arg(a).arg(b).arg(c).arg(d));
    }
    Q_INVOKABLE void LoadForm(qint32 p, qint32 e, qint32 i)
    {
        note(QStringLiteral("LoadForm(%1,%2,%3)").arg(p).arg(e).arg(i));
    }

private:
    static QString flag(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }
    void note(const QString& what)
    {
        gCalls << objectName() + QLatin1Char('.') + what;
        show();
        if (fail)
            throw std::runtime_error("cannot open");
    }
};

const QStringList kMediaWindows{QStringLiteral("frmImgInput"), QStringLiteral("frmImages"),
                                QStringLiteral("frmMultImg"), QStringLiteral("frmVideo"),
                                QStringLiteral("frmVideoView")};

void RegisterMedia(bool on)
{
    for (const QString& name : kMediaWindows)
        RegisterFormFactory(name, on ? FormFactory([name] { return new FakeMedia(name); }) : FormFactory());
}

// The inspection-period tree as far as rating entry reaches it.
void addDefect(qint32 panelId, qint32 inspectionId, const QString& desc, double qty, const QString& unit,
               double unitCost, double total, bool posted)
{
    gConn.exec(QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Quantity, Units, UnitCost, "
                              "TotalCost, Description, Posted) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
               {panelId, inspectionId, qty, unit, unitCost, total, desc, int(posted)});
}

QStringList ItemTexts(QTreeWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << list->topLevelItem(i)->text(c);
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

void fillEditor(frmDataInput* w, const QString& desc, const QString& qty, const QString& unit, const QString& cost)
{
    w->txtDefectDesc->setText(desc);
    w->txtQty->setText(qty);
    w->cboUnits->setEditText(unit);
    w->txtUnitCost->setText(cost);
}

void clickItem(QTreeWidget* list, int row)
{
    QTreeWidgetItem* item = list->topLevelItem(row);
    list->setCurrentItem(item);
    emit list->itemClicked(item, 0);
}

}  // namespace

class TestDataInputDefects : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        RegisterMedia(false);
        FakeMedia::fail = false;
        gCalls.clear();
    }

    void totalCost_data()
    {
        QTest::addColumn<QString>("qty");
        QTest::addColumn<QString>("cost");
        QTest::addColumn<QString>("total");
        QTest::newRow("7.5") << "3" << "2.5" << "7.5";
        QTest::newRow("whole") << "2" << "3" << "6";
        QTest::newRow("below one") << "1" << "0.25" << ".25";
        QTest::newRow("rounded to cents") << "3" << "0.3333" << "1";
        QTest::newRow("leading number only") << "1.2.3" << "2" << "2.4";
        QTest::newRow("empty") << "" << "4" << "0";
    }

    void totalCost()
    {
        QFETCH(QString, qty);
        QFETCH(QString, cost);
        QFETCH(QString, total);
        QCOMPARE(frmDataInput::CalcTotalCost(qty, cost), total);
    }

    void listShowsStoredRows()
    {
        DataInputFixture f;
        addDefect(f.p1, f.cur, QStringLiteral("spall"), 2, QStringLiteral("ft"), 2.5, 5, false);
        addDefect(f.p1, f.cur, QStringLiteral("crack"), 1, QStringLiteral("m"), 0.5, 0.5, false);
        addDefect(f.p2, f.cur, QStringLiteral("other panel"), 1, QStringLiteral("m"), 1, 1, false);
        addDefect(f.p1, f.prev, QStringLiteral("old"), 3, QStringLiteral("ft"), 1, 3, true);
        frmDataInput* w = f.open();
        QCOMPARE(ItemTexts(w->lvDefectQty),
                 (QStringList{QStringLiteral("spall|2|ft|$2.5|$5.00"), QStringLiteral("crack|1|m|$0.5|$.50")}));
        QCOMPARE(ItemTexts(w->lvDefectQty2), QStringList{QStringLiteral("old|3|ft|$1|$3.00")});
        QCOMPARE(w->lvDefectQty->topLevelItem(0)->data(0, Qt::UserRole).toString().left(1), QStringLiteral("X"));
        QCOMPARE(w->lvDefectQty->headerItem()->text(0), QStringLiteral("Defect Description"));

        // An item click fills the editor; in view mode Update and Delete stay off.
        clickItem(w->lvDefectQty, 1);
        QCOMPARE(w->txtDefectDesc->text(), QStringLiteral("crack"));
        QCOMPARE(w->txtQty->text(), QStringLiteral("1"));
        QCOMPARE(w->cboUnits->currentText(), QStringLiteral("m"));
        QCOMPARE(w->txtUnitCost->text(), QStringLiteral("0.5"));
        QCOMPARE(w->txtTotalCost->text(), QStringLiteral(".50"));
        QVERIFY(!w->cmdEditDefect->isEnabled());
        QVERIFY(!w->cmdDeleteDefect->isEnabled());
    }

    // Quantity and unit cost read every way in whole (shortcut, the box's own menu, a drop,
    // an insert), or refuse it and keep their text; the total follows the amount read.
    void amountBoxesReadEveryWayIn_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("entered");
        QTest::addColumn<QString>("read");  // "" when refused
        for (const char* box : {"txtQty", "txtUnitCost"})
            for (const QString& way : EntryWays()) {
                QTest::addRow("%s, %s, group separator", box, qPrintable(way)) << box << way << "1,200.50" << "1200.5";
                QTest::addRow("%s, %s, with a unit", box, qPrintable(way)) << box << way << "12 ft" << "";
            }
    }
    void amountBoxesReadEveryWayIn()
    {
        QFETCH(QString, box);
        QFETCH(QString, way);
        QFETCH(QString, entered);
        QFETCH(QString, read);
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
        DataInputFixture f;
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        fillEditor(w, QStringLiteral("spall"), QStringLiteral("2"), QStringLiteral("ft"), QStringLiteral("2"));
        auto* target = w->findChild<QLineEdit*>(box);
        QVERIFY(target);
        target->clear();
        EnterByWay(target, way, entered);
        QCOMPARE(target->text(), read);
        QCOMPARE(w->txtTotalCost->text(), read.isEmpty() ? QStringLiteral("0") : QStringLiteral("2401"));
    }

    void editorChecksAndKeys()
    {
        DataInputFixture f;
        gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('ft'), ('m2')"));
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        // The first missing field is reported and focused.
        QVERIFY(w->cmdAddDefect->isEnabled());
        QTest::mouseClick(w->cmdAddDefect, Qt::LeftButton);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Please enter a description")});
        QCOMPARE(f.prompt->calls[0].title, QStringLiteral("Corvane Quorrel"));
        fillEditor(w, QStringLiteral("spall"), QStringLiteral("2"), QString(), QStringLiteral("1"));
        w->cmdAddDefect->setEnabled(true);
        QTest::mouseClick(w->cmdAddDefect, Qt::LeftButton);
        QCOMPARE(f.prompt->messages().last(), QStringLiteral("Please enter units."));
        QCOMPARE(w->lvDefectQty->topLevelItemCount(), 0);
        w->txtQty->setText(QStringLiteral("3"));
        QVERIFY(!w->cmdAddDefect->isEnabled());  // kept up to date by the fields

        // Quantity and unit cost take digits and the point only; units at most 15 characters.
        w->txtQty->clear();
        QTest::keyClicks(w->txtQty, QStringLiteral("1a.5-"));
        QCOMPARE(w->txtQty->text(), QStringLiteral("1.5"));
        // A pasted amount is read whole, group separators and all, or refused.
        w->txtUnitCost->clear();
        QGuiApplication::clipboard()->setText(QStringLiteral("1,200.50"));
        QTest::keyClick(w->txtUnitCost, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->txtUnitCost->text(), QStringLiteral("1200.5"));
        QGuiApplication::clipboard()->setText(QStringLiteral("12 ft"));
        QTest::keyClick(w->txtQty, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->txtQty->text(), QStringLiteral("1.5"));
        w->cboUnits->setEditText(QString());
        QTest::keyClicks(w->cboUnits->lineEdit(), QStringLiteral("abcdefghijklmnopq"));
        QCOMPARE(w->cboUnits->currentText(), QStringLiteral("abcdefghijklmno"));
        QTest::keyClick(w->cboUnits->lineEdit(), Qt::Key_Backspace);
        QCOMPARE(w->cboUnits->currentText().size(), 14);

        // A unit typed in another case is the listed one; the total follows the fields.
        fillEditor(w, QStringLiteral("spall"), QStringLiteral("3"), QStringLiteral("FT"), QStringLiteral("2.50"));
        QCOMPARE(w->txtTotalCost->text(), QStringLiteral("7.5"));
        QVERIFY(w->cmdAddDefect->isEnabled());
        QTest::mouseClick(w->cmdAddDefect, Qt::LeftButton);
        QCOMPARE(ItemTexts(w->lvDefectQty), QStringList{QStringLiteral("spall|3|ft|$2.5|$7.50")});
        QCOMPARE(CountRows(QStringLiteral("UnitTypes")), 2);

        // A new unit, with a quote, goes to the table and the end of the list as typed.
        fillEditor(w, QStringLiteral("joint"), QStringLiteral("1"), QStringLiteral("lin ft'"), QStringLiteral("4"));
        QTest::mouseClick(w->cmdAddDefect, Qt::LeftButton);
        QCOMPARE(Rows(QStringLiteral("SELECT Unit FROM UnitTypes WHERE Unit = ?"), {QStringLiteral("lin ft'")}),
                 QStringList{QStringLiteral("lin ft'")});
        QCOMPARE(w->cboUnits->itemText(w->cboUnits->count() - 1), QStringLiteral("lin ft'"));

        // Update the selected item; delete asks for a selection first.
        clickItem(w->lvDefectQty, 0);
        QVERIFY(w->cmdEditDefect->isEnabled());
        w->txtQty->setText(QStringLiteral("4"));
        QTest::mouseClick(w->cmdEditDefect, Qt::LeftButton);
        QCOMPARE(ItemTexts(w->lvDefectQty).first(), QStringLiteral("spall|4|ft|$2.5|$10.00"));
        w->lvDefectQty->clearSelection();
        w->cmdDeleteDefect->setEnabled(true);
        const int before = f.prompt->calls.size();
        QTest::mouseClick(w->cmdDeleteDefect, Qt::LeftButton);
        QCOMPARE(f.prompt->calls.size(), before + 1);
        QCOMPARE(f.prompt->calls.last().text, QStringLiteral("Please select a defect quantity record."));
        QCOMPARE(f.prompt->calls.last().title, QStringLiteral("Delete Defect"));
        clickItem(w->lvDefectQty, 1);
        QTest::mouseClick(w->cmdDeleteDefect, Qt::LeftButton);
        QCOMPARE(w->lvDefectQty->topLevelItemCount(), 1);
    }

    // The save writes what the user did to the list: a changed row, a deleted one, a new one;
    // rows the list never showed (another user's) are not the list's to delete.
    void saveWritesTheListsChanges()
    {
        DataInputFixture f;
        addDefect(f.p1, f.cur, QStringLiteral("kept"), 2, QStringLiteral("ft"), 2.5, 5, true);
        addDefect(f.p1, f.cur, QStringLiteral("changed"), 1, QStringLiteral("ft"), 1, 1, true);
        addDefect(f.p1, f.cur, QStringLiteral("removed"), 1, QStringLiteral("ft"), 1, 1, true);
        addDefect(f.p2, f.cur, QStringLiteral("other panel"), 1, QStringLiteral("ft"), 1, 1, true);
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        clickItem(w->lvDefectQty, 1);
        w->txtDefectDesc->setText(QStringLiteral("changed twice"));
        QTest::mouseClick(w->cmdEditDefect, Qt::LeftButton);
        clickItem(w->lvDefectQty, 2);
        QTest::mouseClick(w->cmdDeleteDefect, Qt::LeftButton);
        fillEditor(w, QStringLiteral("new"), QStringLiteral("2"), QStringLiteral("ft"), QStringLiteral("3"));
        QTest::mouseClick(w->cmdAddDefect, Qt::LeftButton);
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        const QString sql = QStringLiteral("SELECT Description, Quantity, Units, UnitCost, TotalCost, Posted FROM "
                                           "DefectQuantity WHERE PanelID = ? ORDER BY ID");
        QCOMPARE(Rows(sql, {f.p1}), (QStringList{QStringLiteral("kept|2|ft|2.5|5|1"),
                                                 QStringLiteral("changed twice|1|ft|1|1|0"),
                                                 QStringLiteral("new|2|ft|3|6|0")}));
        QCOMPARE(CountRows(QStringLiteral("DefectQuantity"), QStringLiteral("PanelID = ?"), {f.p2}), 1);

        // A second save before any reload adds the new row no second time.
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(CountRows(QStringLiteral("DefectQuantity"), QStringLiteral("PanelID = ?"), {f.p1}), 3);

        // One item left: the others go, however short the kept keys.
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        for (int row = 2; row >= 1; --row) {
            clickItem(w->lvDefectQty, row);
            QTest::mouseClick(w->cmdDeleteDefect, Qt::LeftButton);
        }
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(Rows(QStringLiteral("SELECT Description FROM DefectQuantity WHERE PanelID = ?"), {f.p1}),
                 QStringList{QStringLiteral("kept")});

        // An emptied list removes the rows it showed; one another program added meanwhile stays.
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        clickItem(w->lvDefectQty, 0);
        QTest::mouseClick(w->cmdDeleteDefect, Qt::LeftButton);
        QCOMPARE(RunSqliteShell(f.install->dbPath(),
                                QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Description) "
                                               "VALUES (%1, %2, 'added meanwhile')")
                                    .arg(f.p1)
                                    .arg(f.cur)),
                 QString());
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(Rows(QStringLiteral("SELECT Description FROM DefectQuantity WHERE PanelID = ?"), {f.p1}),
                 QStringList{QStringLiteral("added meanwhile")});
        QCOMPARE(CountRows(QStringLiteral("DefectQuantity")), 2);
    }

    // A defect typed but not added is an edit in progress: Save asks about it in place of
    // "Are you sure?". Yes adds (or, typed over the defect clicked, updates) and saves it, No
    // saves the rest without it, Cancel keeps editing; one that Add refuses is refused the
    // same way and nothing is saved. After a save the fields show nothing.
    void saveWithATypedDefect_data()
    {
        QTest::addColumn<bool>("overStored");  // typed over the stored defect clicked in the list
        QTest::addColumn<QString>("qty");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("stored");  // the panel's defect rows afterwards
        QTest::addColumn<bool>("saved");          // the rating typed beside it is stored
        const QString add = QStringLiteral("Add the defect spall before saving?");
        const QString update = QStringLiteral("Update the defect crack before saving?");
        const QStringList none;
        const QStringList typedRow{QStringLiteral("spall|2|ft|3|6")};
        const QStringList storedRow{QStringLiteral("crack|1|m|0.5|0.5")};
        QTest::newRow("Yes adds and saves") << false << "2" << MsgAnswer::Yes << QStringList{add} << typedRow << true;
        QTest::newRow("No saves without it") << false << "2" << MsgAnswer::No << QStringList{add} << none << true;
        QTest::newRow("Cancel keeps editing") << false << "2" << MsgAnswer::Cancel << QStringList{add} << none << false;
        QTest::newRow("Yes refused as Add refuses it")
            << false << "" << MsgAnswer::Yes << QStringList{add, QStringLiteral("Please enter quantity.")} << none
            << false;
        QTest::newRow("Yes updates the clicked one")
            << true << "2" << MsgAnswer::Yes << QStringList{update} << typedRow << true;
        QTest::newRow("No keeps the clicked one as stored")
            << true << "2" << MsgAnswer::No << QStringList{update} << storedRow << true;
    }
    void saveWithATypedDefect()
    {
        QFETCH(bool, overStored);
        QFETCH(QString, qty);
        QFETCH(MsgAnswer, answer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, stored);
        QFETCH(bool, saved);
        DataInputFixture f;
        if (overStored)
            addDefect(f.p1, f.cur, QStringLiteral("crack"), 1, QStringLiteral("m"), 0.5, 0.5, false);
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("4"));
        if (overStored)
            clickItem(w->lvDefectQty, 0);
        fillEditor(w, QStringLiteral("spall"), qty, QStringLiteral("ft"), QStringLiteral("3"));
        w->SSTab1->setCurrentIndex(2);  // the comments in front: a refused defect is brought forward
        f.prompt->answer(answer);
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(f.prompt->messages(), messages);
        QCOMPARE(f.prompt->calls[0].buttons, MsgButtons::YesNoCancel);
        QCOMPARE(f.prompt->calls[0].title, QStringLiteral("Save Data"));
        QCOMPARE(Rows(QStringLiteral("SELECT Description, Quantity, Units, UnitCost, TotalCost FROM DefectQuantity "
                                     "WHERE PanelID = ? ORDER BY ID"),
                      {f.p1}),
                 stored);
        QCOMPARE(CountRows(QStringLiteral("Ratings"), QStringLiteral("Rating = 4")), saved ? 1 : 0);
        QCOMPARE(w->Editing(), !saved);
        if (!saved) {
            // Nothing lost: the typing is still there to finish or add.
            QCOMPARE(w->txtDefectDesc->text(), QStringLiteral("spall"));
            QCOMPARE(w->txtUnitCost->text(), QStringLiteral("3"));
            if (messages.size() > 1)
                QCOMPARE(w->SSTab1->currentIndex(), 3);
            return;
        }
        QCOMPARE(w->lvDefectQty->topLevelItemCount(), stored.size());
        for (QLineEdit* box : {w->txtDefectDesc, w->txtQty, w->txtUnitCost, w->txtTotalCost})
            QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
        QVERIFY(w->cboUnits->currentText().isEmpty());
        // The next edit starts with nothing typed.
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QVERIFY(!w->DefectTyped());
    }

    // Fields that show a defect (clicked in the list, just added or updated) are no typing:
    // Save asks only "Are you sure?" and closing asks nothing.
    void defectsShownAreNoTyping()
    {
        DataInputFixture f;
        addDefect(f.p1, f.cur, QStringLiteral("crack"), 1, QStringLiteral("m"), 0.5, 0.5, false);
        QPointer<frmDataInput> w = f.open();
        clickItem(w->lvDefectQty, 0);  // in view mode
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QVERIFY(!w->EditChanged());
        fillEditor(w, QStringLiteral("spall"), QStringLiteral("2"), QStringLiteral("ft"), QStringLiteral("3"));
        QTest::mouseClick(w->cmdAddDefect, Qt::LeftButton);
        clickItem(w->lvDefectQty, 0);
        w->txtQty->setText(QStringLiteral("4"));
        QTest::mouseClick(w->cmdEditDefect, Qt::LeftButton);
        QVERIFY(!w->DefectTyped());
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Are you sure?")});
        QCOMPARE(Rows(QStringLiteral("SELECT Description, Quantity FROM DefectQuantity ORDER BY ID")),
                 (QStringList{QStringLiteral("crack|4"), QStringLiteral("spall|2")}));

        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        clickItem(w->lvDefectQty, 1);
        w->close();
        QCOMPARE(f.prompt->calls.size(), 1);
        QVERIFY(!w || !LoadedForms().contains(w.data()));
    }

    // A category switch saves the panel's edit, a typed defect included: it asks, and Yes
    // adds the defect too.
    void tabSwitchWithATypedDefectAsks()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        fillEditor(w, QStringLiteral("spall"), QStringLiteral("2"), QStringLiteral("ft"), QStringLiteral("3"));
        f.prompt->answer(MsgAnswer::Yes);
        ClickTab(w->TabStrip1, 1);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Save changes for this element category?")});
        QCOMPARE(Rows(QStringLiteral("SELECT Description FROM DefectQuantity WHERE PanelID = ?"), {f.p1}),
                 QStringList{QStringLiteral("spall")});
        QCOMPARE(w->TabStrip1->currentIndex(), 1);
        QVERIFY(!w->Editing());
    }

    // The question before another period replaces the edit names what is pending.
    void theQuestionNamesWhatIsPending_data()
    {
        QTest::addColumn<bool>("rating");
        QTest::addColumn<bool>("comment");
        QTest::addColumn<QString>("defect");  // "", "typed", "added", "deleted"
        QTest::addColumn<QString>("named");
        QTest::newRow("rating") << true << false << "" << "ratings";
        QTest::newRow("comment") << false << true << "" << "comments";
        QTest::newRow("rating and comment") << true << true << "" << "ratings and comments";
        QTest::newRow("typed defect") << false << false << "typed" << "defects";
        QTest::newRow("added defect") << false << false << "added" << "defects";
        QTest::newRow("deleted defect") << false << false << "deleted" << "defects";
        QTest::newRow("all three") << true << true << "typed" << "ratings, comments and defects";
    }
    void theQuestionNamesWhatIsPending()
    {
        QFETCH(bool, rating);
        QFETCH(bool, comment);
        QFETCH(QString, defect);
        QFETCH(QString, named);
        DataInputFixture f;
        addDefect(f.p1, f.cur, QStringLiteral("crack"), 1, QStringLiteral("m"), 0.5, 0.5, false);
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        if (rating)
            w->txtRate1[0]->setText(QStringLiteral("4"));
        if (comment)
            w->txt1[1]->setPlainText(QStringLiteral("damp"));
        if (!defect.isEmpty())
            fillEditor(w, QStringLiteral("spall"), QStringLiteral("2"), QStringLiteral("ft"), QStringLiteral("3"));
        if (defect == QLatin1String("added"))
            QTest::mouseClick(w->cmdAddDefect, Qt::LeftButton);
        if (defect == QLatin1String("deleted")) {
            clickItem(w->lvDefectQty, 0);
            QTest::mouseClick(w->cmdDeleteDefect, Qt::LeftButton);
        }
        f.prompt->answer(MsgAnswer::Cancel);
        w->LoadForm(2024, f.tunnel);
        QCOMPARE(f.prompt->messages(),
                 QStringList{QStringLiteral("The %1 entered for panel P1 have not been saved.\r\nSave them now?")
                                 .arg(named)});
        QVERIFY(w->Editing());
    }

    void saveRefreshesTheTreeButtons_data()
    {
        QTest::addColumn<QString>("selected");  // "this year", "another year", "tunnel"
        QTest::addColumn<bool>("lit");
        QTest::newRow("selected node is this period") << "this year" << true;
        QTest::newRow("another period") << "another year" << false;
        // The tunnel's number equals the saved period's (both 1): still a tunnel node.
        QTest::newRow("a tunnel node of the same number") << "tunnel" << false;
    }

    void saveRefreshesTheTreeButtons()
    {
        QFETCH(QString, selected);
        QFETCH(bool, lit);
        DataInputFixture f;
        QCOMPARE(f.prev, f.tunnel);  // the case of a new database
        gIsDataEntry = true;  // the rights of one who saves ratings
        const QStringList reports{QStringLiteral("frmReport"), QStringLiteral("frmReportViewer")};
        for (const QString& name : reports)  // so Report is offered
            RegisterFormFactory(name, [] { return new QWidget; });
        const auto restore = qScopeGuard([reports] {
            gIsDataEntry = false;
            for (const QString& name : reports)
                RegisterFormFactory(name, {});
        });
        auto* tree = new frmInspectionPd;
        tree->show();
        const QString key = selected == QLatin1String("tunnel")       ? QStringLiteral("x%1").arg(f.tunnel)
                            : selected == QLatin1String("this year") ? QStringLiteral("y%1").arg(f.prev)
                                                                      : QStringLiteral("y%1").arg(f.cur);
        tree->FindNode(QStringLiteral("x%1").arg(f.tunnel))->setExpanded(true);
        tree->tv->setCurrentItem(tree->FindNode(key));
        QVERIFY(!tree->cmdReport->isEnabled() && !tree->cmdPost->isEnabled());
        frmDataInput* w = f.open(2024);
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("5"));
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(CountRows(QStringLiteral("Ratings"), QStringLiteral("InspectionID = ?"), {f.prev}), 1);
        QCOMPARE(tree->cmdReport->isEnabled(), lit);
        QCOMPARE(tree->cmdPost->isEnabled(), lit);
        QCOMPARE(tree->cmdAddYear->text(), selected == QLatin1String("tunnel") ? QStringLiteral("Add Inspection Year")
                                                                              : QStringLiteral("Delete Inspection Year"));
    }

    // Input from the inspection-period tree replaces the entry window: an edit in progress is
    // settled first; Cancel keeps the window and its edit, No drops it and opens the period.
    void treeInputSettlesTheEdit_data()
    {
        QTest::addColumn<MsgAnswer>("answer");
        QTest::newRow("save") << MsgAnswer::Yes;
        QTest::newRow("drop") << MsgAnswer::No;
        QTest::newRow("keep") << MsgAnswer::Cancel;
    }
    void treeInputSettlesTheEdit()
    {
        QFETCH(MsgAnswer, answer);
        DataInputFixture f;
        RegisterFormFactory(QStringLiteral("frmDataInput"), [] { return new frmDataInput; });
        const auto restore = qScopeGuard([] { RegisterFormFactory(QStringLiteral("frmDataInput"), {}); });
        auto* tree = new frmInspectionPd;
        tree->show();
        tree->FindNode(QStringLiteral("x%1").arg(f.tunnel))->setExpanded(true);
        tree->tv->setCurrentItem(tree->FindNode(QStringLiteral("y%1").arg(f.prev)));
        QPointer<frmDataInput> w = f.open(2026);
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QTest::keyClicks(w->txt1[1], QStringLiteral("Spalling at the crown"));
        f.prompt->answer(answer);
        tree->cmdInput_Click();
        QCOMPARE(f.prompt->calls.size(), 1);
        QCOMPARE(f.prompt->calls[0].buttons, MsgButtons::YesNoCancel);
        QCOMPARE(CountRows(QStringLiteral("PanelComments"), QStringLiteral("Comments = 'Spalling at the crown'")),
                 answer == MsgAnswer::Yes ? 1 : 0);
        if (answer == MsgAnswer::Cancel) {
            QVERIFY(w && w->Editing());
            QCOMPARE(w->Year(), qint16(2026));
            QCOMPARE(w->txt1[1]->toPlainText(), QStringLiteral("Spalling at the crown"));
            return;
        }
        frmDataInput* shown = nullptr;
        for (QWidget* form : LoadedForms())
            if (auto* entry = qobject_cast<frmDataInput*>(form))
                shown = entry;
        QVERIFY(shown);
        QCOMPARE(shown->Year(), qint16(2024));
        QVERIFY(!shown->Editing());
    }

    void mediaButtonsWithoutMediaWindows()
    {
        DataInputFixture f;
        FixturePicture(f.p1, 1, f.prev, QStringLiteral("a.jpg"), false);
        gConn.exec(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, "
                                  "InspectionID) VALUES (?, 1, 'a.jpg', 0, ?)"),
                   {f.p1, f.prev});
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        // The windows are not part of the program yet: every media button stays off.
        QVERIFY(w->cmdPhoto[0]->isVisibleTo(w));
        QVERIFY(!w->cmdPhoto[0]->isEnabled());
        QVERIFY(!w->cmdInputPhoto[0]->isEnabled());
        QVERIFY(!w->cmdInputVideo[3]->isEnabled());
    }

    void mediaButtonsOpenTheirWindows()
    {
        DataInputFixture f;
        RegisterMedia(true);
        FixturePicture(f.p1, 2, f.prev, QStringLiteral("a.jpg"), false);
        FixturePicture(f.p1, 2, f.prev, QStringLiteral("b.jpg"), false);
        FixturePicture(f.p1, 1, f.prev, QStringLiteral("c.jpg"), false);
        frmDataInput* w = f.open();
        // Attach buttons only in edit mode.
        QVERIFY(!w->cmdInputPhoto[0]->isEnabled());
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QVERIFY(w->cmdInputPhoto[0]->isEnabled());

        const QString p = QString::number(f.p1);
        w->cmdInputPhoto[1]->click();
        w->cmdInputSketch[1]->click();  // closes the photo input first
        w->cmdInputVideo[1]->click();
        w->cmdPhoto[0]->click();  // one photo: a viewer
        w->cmdPhoto[1]->click();  // two: the thumbnails
        w->cmdSketch[0]->click();
        w->cmdVideo[0]->click();
        QCOMPARE(gCalls,
                 (QStringList{QStringLiteral("frmImgInput.Load(%1,%2,2,%3,false)").arg(f.tunnel).arg(p).arg(f.cur),
                              QStringLiteral("frmImgInput.Load(%1,%2,2,%3,true)").arg(f.tunnel).arg(p).arg(f.cur),
                              QStringLiteral("frmVideo.LoadForm(%1,%2,2,%3)").arg(p).arg(f.tunnel).arg(f.cur),
                              QStringLiteral("frmImages.LoadForm(0,false,%1,1,%2)").arg(p).arg(f.prev),
                              QStringLiteral("frmMultImg.LoadForm(%1,2,%2,false)").arg(p).arg(f.prev),
                              QStringLiteral("frmImages.LoadForm(0,true,%1,1,%2)").arg(p).arg(f.prev),
                              QStringLiteral("frmVideoView.LoadForm(%1,1,%2)").arg(p).arg(f.prev)}));
        // Picture windows close on each click; the clip windows stay.
        QCOMPARE(LoadedFormNames().count(QStringLiteral("frmImgInput")), 0);
        QCOMPARE(LoadedFormNames().count(QStringLiteral("frmImages")), 1);
        QVERIFY(LoadedFormNames().contains(QStringLiteral("frmVideo")));
        QVERIFY(LoadedFormNames().contains(QStringLiteral("frmVideoView")));
        QVERIFY(f.prompt->calls.isEmpty());

        // A panel change closes the picture windows.
        QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
        ClickMapAt(w->ZVMap1, 4000, 3500);
        QCOMPARE(LoadedFormNames().count(QStringLiteral("frmImages")), 0);
    }

    void mediaFailuresAreReported_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("window");
        QTest::newRow("add photo") << "cmdInputPhoto" << "Error loading input photo box." << "frmImgInput";
        QTest::newRow("add sketch") << "cmdInputSketch" << "Error loading input sketch box." << "frmImgInput";
        QTest::newRow("add clip") << "cmdInputVideo" << "Error loading input video box." << "frmVideo";
        QTest::newRow("view photo") << "cmdPhoto" << "Error loading photo box." << "frmImages";
        QTest::newRow("view sketch") << "cmdSketch" << "Error loading field sketch box." << "frmImages";
    }

    void mediaFailuresAreReported()
    {
        QFETCH(QString, button);
        QFETCH(QString, message);
        QFETCH(QString, window);
        DataInputFixture f;
        RegisterMedia(true);
        FakeMedia::fail = true;
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QToolButton* b = nullptr;
        for (auto* c : w->findChildren<QToolButton*>(button))
            if (c->property("Index").toInt() == 0)
                b = c;
        QVERIFY(b);
        b->setEnabled(true);
        b->click();
        QCOMPARE(f.prompt->messages(), QStringList{message});
        QVERIFY(!LoadedFormNames().contains(window));
    }
};

QTEST_MAIN(TestDataInputDefects)
#include "tst_datainput_defects.moc"
