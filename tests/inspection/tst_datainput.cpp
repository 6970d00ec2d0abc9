// Rating entry: opening and its refusals, the panel outlines and their shading, choosing a
// panel, the rating rows and the previous year beside them, the rating keys, and the
// edit / save / cancel cycle with the category tabs.

#include "dbwaitwatch.h"
#include "writecount.h"
#include "tst_datainput_fixture.h"

#include "dbinspection.h"
#include "dbposting.h"
#include "frmInspectionPd.h"
#include "frmSystem.h"
#include "helpers.h"
#include "inspectionforms.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QComboBox>
#include <QTreeWidget>

namespace {

// A window of another library, as far as rating entry uses it.
class FakeKeyplan : public KrvForm<QDialog> {
    Q_OBJECT
public:
    FakeKeyplan() : KrvForm<QDialog>(QStringLiteral("frmPrintKeyplan")) {}
    static inline QStringList calls;
    Q_INVOKABLE void LoadForm(qint32 tunnelId, qint32 first, qint32 second, QWidget* caller)
    {
        calls << QStringLiteral("LoadForm(%1,%2,%3,%4)").arg(tunnelId).arg(first).arg(second).arg(caller->objectName());
    }
    int exec() override
    {
        calls << QStringLiteral("exec");
        return 0;
    }
};

// The type of the key press as the rating box's filter sees it.
void typeInto(QLineEdit* box, const QString& keys)
{
    for (QChar c : keys)
        QTest::keyClick(box, c.toLatin1());
}

}  // namespace

class TestDataInput : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { RegisterFormFactory(QStringLiteral("frmPrintKeyplan"), {}); }

    void openedByName()
    {
        DataInputFixture f;
        RegisterInspectionForms();
        QVERIFY(FormIsAvailable(QStringLiteral("frmDataInput")));
        QWidget* w = CreateForm(QStringLiteral("frmDataInput"));
        QVERIFY(QMetaObject::invokeMethod(w, "LoadForm", Qt::DirectConnection, Q_ARG(qint16, 2026),
                                          Q_ARG(qint32, f.tunnel)));
        QVERIFY(w->isVisible());
        QCOMPARE(w->objectName(), QStringLiteral("frmDataInput"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Data Input - East Bore"));
        RegisterFormFactory(QStringLiteral("frmDataInput"), {});
    }

    // Removing the tunnel (here from the inspection-period tree) closes its rating entry,
    // so nothing more is saved for it, and its node leaves the tree.
    void removingTheTunnelClosesRatingEntry()
    {
        DataInputFixture f;
        gIsWizard = true;
        QPointer<frmDataInput> w = f.open();
        QVERIFY(w->isVisible());
        // An edit in progress goes with the tunnel: nothing is asked and nothing saved.
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("3"));
        auto* setup = new frmSystem;
        QCOMPARE(setup->List1->count(), 1);
        auto* tree = new frmInspectionPd;
        tree->LoadForm(f.tunnel);
        const QString key = QStringLiteral("x%1").arg(f.tunnel);
        QVERIFY(tree->FindNode(key));
        tree->tv->setCurrentItem(tree->FindNode(key));
        f.prompt->answer(MsgAnswer::Yes);
        tree->tv_DeleteKey();
        QCOMPARE(CountRows(QStringLiteral("Tunnels")), 0);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmDataInput")));
        QCOMPARE(f.prompt->calls.size(), 1);  // the removal's own question only
        QCOMPARE(CountRows(QStringLiteral("Ratings")), 0);
        QVERIFY(!tree->FindNode(key));
        QVERIFY(IsFormLoaded(QStringLiteral("frmInspectionPd")));
        // The set-up window offers it no more.
        QCOMPARE(setup->List1->count(), 0);
    }

    void refusesTunnelWithoutPanels()
    {
        DataInputFixture f;
        const qint32 bare = FixtureTunnel(QStringLiteral("Bare"));
        gConn.exec(QStringLiteral("UPDATE Tunnels SET TunnelPicture = 'east.png' WHERE TunnelID = ?"), {bare});
        QDir().mkpath(f.install->folder() + QStringLiteral("/Data/Bare"));
        QFile::copy(f.picturePath, f.install->folder() + QStringLiteral("/Data/Bare/east.png"));
        FixturePeriod(bare, 2026);

        auto* w = new frmDataInput;
        w->LoadForm(2026, bare);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("You must first add at least 1 panel\nbefore you can input data.")});
        QCOMPARE(f.prompt->calls[0].title, QStringLiteral("Add Panel"));
        QCOMPARE(f.prompt->calls[0].icon, MsgIcon::Warning);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmDataInput")));
    }

    void missingPictureRefusesThenLoadsAgain()
    {
        DataInputFixture f;
        QFile::rename(f.picturePath, f.picturePath + QStringLiteral(".away"));
        auto* w = new frmDataInput;
        w->LoadForm(2026, f.tunnel);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Image not found: ") + f.picturePath});
        QCOMPARE(f.prompt->calls[0].title, QStringLiteral("Image not found"));
        QVERIFY(gPictureFound);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmDataInput")));

        QFile::rename(f.picturePath + QStringLiteral(".away"), f.picturePath);
        frmDataInput* again = f.open();
        QVERIFY(again->isVisible());
        QCOMPARE(again->windowTitle(), QStringLiteral("Data Input - East Bore"));
        QCOMPARE(f.prompt->calls.size(), 1);
    }

    void aFileThatIsNoPictureIsAMissingOne()
    {
        DataInputFixture f;
        QFile file(f.picturePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is no picture");
        file.close();
        auto* w = new frmDataInput;
        w->LoadForm(2026, f.tunnel);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Image not found: ") + f.picturePath});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmDataInput")));
    }

    void aReloadWithoutAPictureShowsNone()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        QVERIFY(!w->ZVMap1->Picture().isNull());
        // No picture named, the folder not empty: the window opens without one.
        gConn.exec(QStringLiteral("UPDATE Tunnels SET TunnelPicture = NULL"));
        w->LoadForm(2026, f.tunnel);
        QVERIFY(w->isVisible());
        QVERIFY(w->ZVMap1->Picture().isNull());
        QVERIFY(f.prompt->calls.isEmpty());
    }

    void panelsOnTheMap()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        QVERIFY(w->isVisible());
        // Three outlined panels; the panel without points has none and is never shaded.
        QCOMPARE(w->ZVMap1->PolyCount(), 3);
        QCOMPARE(ShadingOf(w->ZVMap1, f.p3), -1);
        // Leftmost vertex shared by P1 and P2: the lower PanelNum wins, whatever the row order.
        QCOMPARE(w->PanelID(), f.p1);
        QCOMPARE(w->lblName->text(), QStringLiteral("P1"));
        QCOMPARE(w->lblName->property("Tag").toString(), QString::number(f.p1));
        QCOMPARE(w->InspectionID(), f.cur);
        QCOMPARE(w->PreviousYear(), qint16(2024));
        QCOMPARE(w->PreviousInspectionID(), f.prev);
        QVERIFY(f.prompt->calls.isEmpty());

        // A click on another outline makes it current; on a panel without elements the
        // rows give way to the notice.
        ClickMapAt(w->ZVMap1, 7000, 1500);
        QCOMPARE(w->PanelID(), f.p4);
        QVERIFY(w->lblNoData->isVisibleTo(w));
        QCOMPARE(w->lblPanel->text(), QStringLiteral("P4"));
        QVERIFY(!w->picContainer->isVisibleTo(w));
        QCOMPARE(w->TabStrip1->count(), 0);

        ClickMapAt(w->ZVMap1, 4000, 3500);
        QCOMPARE(w->PanelID(), f.p2);
        QCOMPARE(w->RowCount(), 1);
        QVERIFY(w->picContainer->isVisibleTo(w));
        QVERIFY(!w->lblNoData->isVisibleTo(w));

        // The tool tip of an outline is the panel's name.
        QString tip;
        emit w->ZVMap1->PolyMouseOver(f.p4, tip);
        QCOMPARE(tip, QStringLiteral("P4"));
        gConn.exec(QStringLiteral("DELETE FROM Panels WHERE PanelID = ?"), {f.p4});
        emit w->ZVMap1->PolyMouseOver(f.p4, tip);
        QCOMPARE(tip, QString());
        QVERIFY(f.prompt->calls.isEmpty());
    }

    void shading_data()
    {
        QTest::addColumn<QVariantList>("ratings");  // of elements 1.. of P1
        QTest::addColumn<int>("warning");
        QTest::addColumn<int>("critical");
        QTest::addColumn<int>("level");
        QTest::newRow("unrated") << QVariantList{} << 5 << 3 << 0;
        QTest::newRow("nulls skipped") << QVariantList{QVariant(), 7} << 5 << 3 << 0;
        QTest::newRow("warning") << QVariantList{7, 5, 6} << 5 << 3 << 1;
        QTest::newRow("critical") << QVariantList{7, 3} << 5 << 3 << 2;
        QTest::newRow("equal thresholds") << QVariantList{4} << 4 << 4 << 2;
        QTest::newRow("critical above warning") << QVariantList{4} << 3 << 5 << 2;
        QTest::newRow("threshold 9, unrated") << QVariantList{} << 9 << 3 << 1;
    }

    void shading()
    {
        QFETCH(QVariantList, ratings);
        QFETCH(int, warning);
        QFETCH(int, critical);
        QFETCH(int, level);
        DataInputFixture f;
        gWarningHighlight = warning;
        gCriticalHighlight = critical;
        for (int i = 0; i < ratings.size(); ++i)
            DataInputFixture::rate(f.cur, f.p1, i + 1, ratings[i]);
        // The previous period's ratings never count.
        DataInputFixture::rate(f.prev, f.p1, 8, 0);
        frmDataInput* w = f.open();
        QCOMPARE(ShadingOf(w->ZVMap1, f.p1), level);
    }

    // The map reads every panel's lowest rating at once; a stored value that is no whole
    // number (brought in from elsewhere) still shades as the element-by-element reading does.
    void shadingOfStoredValuesThatAreNoWholeNumbers_data()
    {
        QTest::addColumn<QVariantList>("ratings");  // of elements 1.. of P1
        QTest::addColumn<int>("warning");
        QTest::addColumn<int>("level");
        QTest::newRow("letters read as 0") << QVariantList{7, QStringLiteral("x")} << 5 << 2;
        QTest::newRow("a number before letters") << QVariantList{7, QStringLiteral("4a")} << 5 << 1;
        QTest::newRow("a fraction rounds half to even") << QVariantList{7, 5.5} << 5 << 0;
        QTest::newRow("above nine counts as nine") << QVariantList{12} << 9 << 1;
    }
    void shadingOfStoredValuesThatAreNoWholeNumbers()
    {
        QFETCH(QVariantList, ratings);
        QFETCH(int, warning);
        QFETCH(int, level);
        DataInputFixture f;
        gWarningHighlight = warning;
        for (int i = 0; i < ratings.size(); ++i)
            DataInputFixture::rate(f.cur, f.p1, i + 1, ratings[i]);
        frmDataInput* w = f.open();
        QCOMPARE(ShadingOf(w->ZVMap1, f.p1), level);
    }

    void saveClearsShadingRaisedAboveWarning()
    {
        DataInputFixture f;
        DataInputFixture::rate(f.cur, f.p1, 1, 2);
        frmDataInput* w = f.open();
        QCOMPARE(ShadingOf(w->ZVMap1, f.p1), 2);
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("8"));
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Are you sure?")});
        QCOMPARE(ShadingOf(w->ZVMap1, f.p1), 0);
    }

    void rowsInTwoColumns()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        QCOMPARE(w->TabStrip1->count(), 2);
        QCOMPARE(w->TabStrip1->tabText(0), QStringLiteral("Structure"));
        QCOMPARE(w->TabStrip1->tabText(1), QStringLiteral("Electrical"));
        // 7 elements: 4 lines, rows 0-3 in the first column, 4-6 in the second.
        QCOMPARE(w->RowCount(), 7);
        QCOMPARE(w->lblElement.size(), 7);
        QCOMPARE(w->lblElement[3]->pos(), QPoint(TwipsToPixels(175), TwipsToPixels(3 * 315 + 420)));
        QCOMPARE(w->lblElement[4]->pos(), QPoint(TwipsToPixels(6610 + 175), TwipsToPixels(420)));
        QCOMPARE(w->txtRate1[6]->pos(), QPoint(TwipsToPixels(3540 + 6610), TwipsToPixels(2 * 315 + 420)));
        QCOMPARE(w->lblElement[4]->text(), QStringLiteral("Element 5"));
        QCOMPARE(w->lblElement[4]->property("Tag").toString(), QStringLiteral("5"));
        // The area stops growing at 3 lines; the scroll bar covers the rest.
        QCOMPARE(w->picContainer->height(), TwipsToPixels(3 * 315 + 530));
        QVERIFY(w->VScroll1->isVisibleTo(w));
        QCOMPARE(w->VScroll1->maximum(), 4 * 315 + 530 - (3 * 315 + 530));
        w->VScroll1->setValue(200);
        QCOMPARE(w->fraRatings->y(), -TwipsToPixels(200));

        // The other category: one row, no scroll bar, the extra rows gone.
        ClickTab(w->TabStrip1, 1);
        QCOMPARE(w->RowCount(), 1);
        QCOMPARE(w->lblElement.size(), 1);
        QCOMPARE(w->lblElement[0]->text(), QStringLiteral("Lighting"));
        QCOMPARE(w->picContainer->height(), TwipsToPixels(315 + 530));
        QVERIFY(!w->VScroll1->isVisibleTo(w));
        QCOMPARE(w->findChildren<QLineEdit*>(QStringLiteral("txtRate1")).size(), 1);

        // Clicking the current panel again reloads it on its first category.
        ClickMapAt(w->ZVMap1, 4000, 1500);
        QCOMPARE(w->TabStrip1->currentIndex(), 0);
        QCOMPARE(w->RowCount(), 7);
    }

    void comparisonWithPreviousYear_data()
    {
        QTest::addColumn<bool>("view");
        QTest::newRow("View on") << true;
        QTest::newRow("View off") << false;
    }

    void comparisonWithPreviousYear()
    {
        QFETCH(bool, view);
        DataInputFixture f;
        gConn.exec(QStringLiteral("UPDATE System SET View = ?"), {int(view)});
        DataInputFixture::rate(f.prev, f.p1, 1, 6);
        DataInputFixture::rate(f.cur, f.p1, 1, 5);
        gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments, Posted) VALUES "
                                  "(?, ?, 'old crack', 1), (?, ?, 'new crack', 0)"),
                   {f.prev, f.p1, f.cur, f.p1});
        gConn.exec(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, "
                                  "InspectionID) VALUES (?, 1, 's.jpg', 1, ?), (?, 2, 'p.jpg', 0, ?), (?, 3, 'c.jpg', 0, ?)"),
                   {f.p1, f.prev, f.p1, f.prev, f.p1, f.cur});
        gConn.exec(QStringLiteral("INSERT INTO VideosPosted (PanelID, ElementID, VideoFile, InspectionID) "
                                  "VALUES (?, 2, 'v.avi', ?)"),
                   {f.p1, f.prev});
        gConn.exec(QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Quantity, Units, UnitCost, "
                                  "TotalCost, Description, Posted) VALUES (?, ?, 2, 'ft', 1.5, 3, 'spall', 1)"),
                   {f.p1, f.prev});
        frmDataInput* w = f.open();
        QCOMPARE(w->ViewPrevious(), view);
        QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("5"));
        QCOMPARE(w->lblRate1[0]->isVisibleTo(w), view);
        QCOMPARE(w->lblRate1[0]->text(), view ? QStringLiteral("6") : QString());
        QCOMPARE(w->lblYear1[0]->isVisibleTo(w), view);
        QCOMPARE(w->lblYear1[0]->text(), QStringLiteral("2024"));
        QCOMPARE(w->lblYear2[0]->text(), QStringLiteral("2026"));
        QCOMPARE(w->SSTab1->isTabEnabled(0), view);
        QCOMPARE(w->SSTab1->isTabEnabled(1), view);
        QCOMPARE(w->SSTab1->tabText(2), QStringLiteral("Comments 2026"));
        QCOMPARE(w->SSTab1->tabText(3), QStringLiteral("Defect Quantity 2026"));
        if (view)
            QCOMPARE(w->SSTab1->tabText(0), QStringLiteral("Comments 2024"));
        QCOMPARE(w->txt1[0]->toPlainText(), view ? QStringLiteral("old crack") : QString());
        QCOMPARE(w->txt1[1]->toPlainText(), QStringLiteral("new crack"));
        // The previous defect list is filled either way.
        QCOMPARE(w->lvDefectQty2->topLevelItemCount(), 1);
        // View buttons: the previous period's posted sketch, photo and clip only.
        QCOMPARE(w->cmdSketch[0]->isVisibleTo(w), view);
        QCOMPARE(w->cmdPhoto[1]->isVisibleTo(w), view);
        QCOMPARE(w->cmdVideo[1]->isVisibleTo(w), view);
        QVERIFY(!w->cmdPhoto[0]->isVisibleTo(w));
        QVERIFY(!w->cmdPhoto[2]->isVisibleTo(w));
        QVERIFY(w->cmdInputPhoto[2]->isVisibleTo(w));

        // Only the comments shown are saved.
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txt1[0]->setPlainText(QStringLiteral("old crack, sealed"));
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(Rows(QStringLiteral("SELECT Comments, Posted FROM PanelComments WHERE InspectionID = ?"), {f.prev}),
                 QStringList{view ? QStringLiteral("old crack, sealed|0") : QStringLiteral("old crack|1")});
    }

    void ratingKeys_data()
    {
        QTest::addColumn<QVariant>("previous");  // rating of the 2024 period
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("answer");  // MsgAnswer for the question, if any
        QTest::addColumn<QString>("after");
        QTest::addColumn<QStringList>("messages");
        const QString question = QStringLiteral(
            "The new rating entered for the current period 2026\n is showing a difference of 2 or more from the "
            "previous period.\n\nWould you like to keep new rating?");
        QTest::newRow("close to previous") << QVariant(5) << "" << "6" << 0 << "6" << QStringList{};
        QTest::newRow("one below") << QVariant(5) << "7" << "4" << 0 << "4" << QStringList{};
        QTest::newRow("far, kept") << QVariant(5) << "" << "8" << int(MsgAnswer::Yes) << "8" << QStringList{question};
        QTest::newRow("far, refused") << QVariant(5) << "4" << "8" << int(MsgAnswer::No) << "4"
                                      << QStringList{question};
        QTest::newRow("no previous rating") << QVariant() << "" << "0" << 0 << "0" << QStringList{};
        QTest::newRow("letter") << QVariant(5) << "5" << "a" << 0 << "5"
                                << QStringList{QStringLiteral("You must enter a value between 0 and 9.")};
    }

    void ratingKeys()
    {
        QFETCH(QVariant, previous);
        QFETCH(QString, before);
        QFETCH(QString, keys);
        QFETCH(int, answer);
        QFETCH(QString, after);
        QFETCH(QStringList, messages);
        DataInputFixture f;
        if (previous.isValid())
            DataInputFixture::rate(f.prev, f.p1, 1, previous);
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QLineEdit* box = w->txtRate1[0];
        box->setText(before);
        if (answer)
            f.prompt->answer(MsgAnswer(answer));
        typeInto(box, keys);
        QCOMPARE(box->text(), after);
        QCOMPARE(f.prompt->messages(), messages);
        if (!messages.isEmpty() && answer) {
            QCOMPARE(f.prompt->calls[0].title, QStringLiteral("Condition Ratings"));
            QCOMPARE(f.prompt->calls[0].buttons, MsgButtons::YesNo);
        }
    }

    // Showing another period or tunnel while ratings are being edited asks first: Yes saves
    // them, No drops them, Cancel keeps the window as it is, still in edit mode.
    void anotherPeriodSettlesTheEdit_data()
    {
        QTest::addColumn<MsgAnswer>("answer");
        QTest::newRow("save") << MsgAnswer::Yes;
        QTest::newRow("drop") << MsgAnswer::No;
        QTest::newRow("keep") << MsgAnswer::Cancel;
    }
    void anotherPeriodSettlesTheEdit()
    {
        QFETCH(MsgAnswer, answer);
        DataInputFixture f;
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setFocus();
        typeInto(w->txtRate1[0], QStringLiteral("4"));
        QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("4"));
        QVERIFY(f.prompt->calls.isEmpty());
        f.prompt->answer(answer);
        w->LoadForm(2024, f.tunnel);
        QCOMPARE(f.prompt->calls.size(), 1);
        QCOMPARE(f.prompt->calls[0].buttons, MsgButtons::YesNoCancel);
        QCOMPARE(f.prompt->calls[0].title, QStringLiteral("Save Data"));
        QVERIFY(f.prompt->calls[0].text.contains(QStringLiteral("have not been saved")));
        QCOMPARE(CountRows(QStringLiteral("Ratings"), QStringLiteral("InspectionID = ? AND Rating = 4"), {f.cur}),
                 answer == MsgAnswer::Yes ? 1 : 0);
        if (answer == MsgAnswer::Cancel) {
            QCOMPARE(w->Year(), qint16(2026));
            QVERIFY(w->Editing());
            QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("4"));
            return;
        }
        QCOMPARE(w->Year(), qint16(2024));
        QVERIFY(!w->Editing());
        // Nothing in edit: another load asks nothing.
        w->LoadForm(2026, f.tunnel);
        QCOMPARE(f.prompt->calls.size(), 1);
    }

    void ratingBoxEdges()
    {
        DataInputFixture f;
        // A year without an earlier one: a digit simply replaces the box's content.
        frmDataInput* w = f.open(2024);
        QCOMPARE(w->PreviousYear(), qint16(0));
        QLineEdit* box = w->txtRate1[0];
        // Locked in view mode: keys change nothing.
        typeInto(box, QStringLiteral("3"));
        QCOMPARE(box->text(), QString());
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        box->setText(QStringLiteral("7"));
        typeInto(box, QStringLiteral("2"));
        QCOMPARE(box->text(), QStringLiteral("2"));
        QTest::keyClick(box, Qt::Key_End);
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->text(), QString());
        // A pasted letter never reaches the box, so no 0 is stored for it.
        box->insert(QStringLiteral("x"));
        QCOMPARE(box->text(), QString());
        QVERIFY(f.prompt->calls.isEmpty());
    }

    void focusAndScrolling()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        // A locked box hands the focus on to Edit.
        w->txtRate1[2]->setFocus(Qt::MouseFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->cmdEdit));

        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->txtRate1[0]));
        // The fourth line lies below the three shown: focusing it scrolls it into view.
        w->txtRate1[3]->setFocus(Qt::TabFocusReason);
        QCOMPARE(w->VScroll1->value(), 3 * 315 + 420 + 285 - (3 * 315 + 530));
        QCOMPARE(w->fraRatings->y(), -TwipsToPixels(w->VScroll1->value()));
        // The first line is still in view there.
        w->txtRate1[0]->setFocus(Qt::TabFocusReason);
        QCOMPARE(w->VScroll1->value(), 175);
        // Enter moves to the next box, from the last one to Save.
        QTest::keyClick(w->txtRate1[0], Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->txtRate1[1]));
        QTest::keyClick(w->txtRate1[6], Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->cmdSave));
        // A click on a comment box in view mode goes to Edit as well.
        QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
        QTest::mouseClick(w->txt1[1]->viewport(), Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->cmdEdit));
        QVERIFY(w->txt1[1]->isReadOnly());
        QVERIFY(f.prompt->calls.isEmpty());
    }

    // Enter on Edit starts the edit; Enter in the last box goes to Save, the next Enter saves.
    void enterPressesEditAndSave()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        w->cmdEdit->setFocus();
        QTest::keyClick(w->cmdEdit, Qt::Key_Return);
        QVERIFY(w->Editing());
        QTest::keyClick(w->txtRate1[6], Qt::Key_6);
        QTest::keyClick(w->txtRate1[6], Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->cmdSave));
        QTest::keyClick(w->cmdSave, Qt::Key_Return);
        QVERIFY(!w->Editing());
        QCOMPARE(Rows(QStringLiteral("SELECT Rating FROM Ratings WHERE ElementID = 7")), QStringList{"6"});
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Are you sure?")});  // the save question, answered Yes
    }

    void nullCommentLoads()
    {
        DataInputFixture f;
        gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments) VALUES (?, ?, NULL)"),
                   {f.cur, f.p1});
        frmDataInput* w = f.open();
        QVERIFY(f.prompt->calls.isEmpty());
        QCOMPARE(w->txt1[1]->toPlainText(), QString());
        QCOMPARE(w->RowCount(), 7);
    }

    void editSaveCycle()
    {
        DataInputFixture f;
        DataInputFixture::rate(f.cur, f.p1, 1, 6, true);
        gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, 1, 6)"),
                   {f.cur, f.p1});
        DataInputFixture::rate(f.cur, f.p1, 2, 7, true);
        gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, 2, 7)"),
                   {f.cur, f.p1});
        frmDataInput* w = f.open();
        // View mode.
        QVERIFY(w->txtRate1[0]->isReadOnly());
        QVERIFY(w->txt1[1]->isReadOnly());
        QVERIFY(w->cmdEdit->isEnabled());
        QVERIFY(!w->cmdSave->isEnabled());
        QVERIFY(!w->cmdCancel->isEnabled());
        QVERIFY(w->cmdClose->isEnabled());
        QVERIFY(w->ZVMap1->isEnabled());
        QVERIFY(!w->cmdAddDefect->isEnabled());
        QVERIFY(!w->txtDefectDesc->isEnabled());

        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        QVERIFY(!w->txtRate1[6]->isReadOnly());
        QVERIFY(!w->txt1[1]->isReadOnly());
        QVERIFY(w->cmdSave->isEnabled());
        QVERIFY(w->cmdCancel->isEnabled());
        QVERIFY(!w->cmdEdit->isEnabled());
        QVERIFY(!w->cmdPrint->isEnabled());
        QVERIFY(!w->cmdClose->isEnabled());
        QVERIFY(!w->ZVMap1->isEnabled());
        QVERIFY(w->txtDefectDesc->isEnabled());
        // The map cannot change the panel during an edit.
        ClickMapAt(w->ZVMap1, 7000, 1500);
        QCOMPARE(w->PanelID(), f.p1);

        w->txtRate1[1]->setText(QStringLiteral("4"));  // changed after posting
        w->txtRate1[2]->setText(QStringLiteral("3"));  // new
        w->txt1[1]->setPlainText(QStringLiteral("water ingress"));
        f.prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(f.prompt->calls.size(), 1);
        QCOMPARE(f.prompt->calls[0].text, QStringLiteral("Are you sure?"));
        QCOMPARE(f.prompt->calls[0].title, QStringLiteral("Save Data"));
        QCOMPARE(f.prompt->calls[0].icon, MsgIcon::Question);
        QCOMPARE(f.prompt->calls[0].buttons, MsgButtons::YesNo);

        // Only what changed is written: the unchanged posted rating stays posted, an empty
        // box over no row stays no row.
        QCOMPARE(Rows(QStringLiteral("SELECT ElementID, Rating, Posted FROM Ratings WHERE InspectionID = ? "
                                     "ORDER BY ElementID"),
                      {f.cur}),
                 (QStringList{"1|6|1", "2|4|0", "3|3|0"}));
        QCOMPARE(DbGetPostedRating(f.cur, f.p1, 2), QStringLiteral("M"));
        QCOMPARE(Rows(QStringLiteral("SELECT Comments, Posted FROM PanelComments WHERE InspectionID = ?"), {f.cur}),
                 QStringList{QStringLiteral("water ingress|0")});
        QCOMPARE(ShadingOf(w->ZVMap1, f.p1), 2);
        // Back in view mode.
        QVERIFY(w->txtRate1[0]->isReadOnly());
        QVERIFY(w->txt1[1]->isReadOnly());
        QVERIFY(w->cmdEdit->isEnabled());
        QVERIFY(!w->cmdSave->isEnabled());
        QVERIFY(w->ZVMap1->isEnabled());
        QVERIFY(!w->Editing());
    }

    void saveAnsweredNoAndCancel()
    {
        DataInputFixture f;
        DataInputFixture::rate(f.cur, f.p1, 1, 6);
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("2"));
        f.prompt->answer(MsgAnswer::No);
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("6"));  // what is stored
        QVERIFY(w->txtRate1[0]->isReadOnly());
        QCOMPARE(CountRows(QStringLiteral("Ratings")), 1);

        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("1"));
        w->txt1[1]->setPlainText(QStringLiteral("typed"));
        QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
        QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("6"));
        QCOMPARE(w->txt1[1]->toPlainText(), QString());
        QVERIFY(w->txtRate1[0]->isReadOnly());
        QVERIFY(w->cmdEdit->isEnabled());
        QVERIFY(!w->cmdCancel->isEnabled());
        QVERIFY(w->ZVMap1->isEnabled());
        QCOMPARE(f.prompt->calls.size(), 1);
        QCOMPARE(CountRows(QStringLiteral("Ratings")), 1);
    }

    void failedSaveWritesNothing()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("4"));
        w->txt1[1]->setPlainText(QStringLiteral("note"));
        FailWhen(QStringLiteral("nocomment"), QStringLiteral("INSERT"), QStringLiteral("PanelComments"),
                 QStringLiteral("1"));
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(f.prompt->messages(),
                 (QStringList{QStringLiteral("Are you sure?"), QStringLiteral("Error saving data.")}));
        QCOMPARE(CountRows(QStringLiteral("Ratings")), 0);
        QVERIFY(f.install->read(QStringLiteral("err.log")).contains("frmDataInput"));
        // Still editing, the typed values on screen; a second save goes through.
        QVERIFY(w->Editing());
        QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("4"));
        DropFailure(QStringLiteral("nocomment"));
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(CountRows(QStringLiteral("Ratings"), QStringLiteral("Rating = 4")), 1);
        // Only the comment the user changed is written; the previous year's untouched one is not.
        QCOMPARE(Rows(QStringLiteral("SELECT InspectionID, Comments FROM PanelComments")),
                 QStringList{QStringLiteral("%1|note").arg(f.cur)});
        QVERIFY(!w->Editing());
    }

    // A save the database refuses says why on the message's second line: here the file is
    // read-only (SQLite opens so a file its user may not write). The edit stays.
    void aSaveOnAReadOnlyDatabaseSaysWhy()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("4"));
        gConn.close();
        gConn.open(f.install->dbPath(), true);
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QCOMPARE(f.prompt->messages(),
                 (QStringList{QStringLiteral("Are you sure?"),
                              QStringLiteral("Error saving data.\nThe file %1 is read-only.").arg(f.install->dbPath())}));
        QVERIFY(w->Editing());
        QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("4"));
    }

    // A table missing from the database (removed by another tool) is named when the panel's
    // data cannot all be loaded.
    void aMissingTableIsNamed()
    {
        DataInputFixture f;
        gConn.exec(QStringLiteral("DROP TABLE DefectQuantity"));
        f.open();
        QVERIFY2(f.prompt->messages().contains(QStringLiteral("Error loading data.  Not all available data may be "
                                                              "displayed.\nThe database has no table DefectQuantity.")),
                 qPrintable(f.prompt->messages().join(QLatin1Char('|'))));
    }

    // A save writes what the user changed and nothing else: three ratings changed of four
    // stored (and three boxes left empty) write three rows; a save without a change, and
    // opening and closing, write nothing at all.
    void aSaveWritesOnlyWhatChanged()
    {
        DataInputFixture f;
        for (int e = 1; e <= 4; ++e)
            DataInputFixture::rate(f.cur, f.p1, e, 8 - e);
        gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments, Posted) "
                                  "VALUES (?, ?, 'dry', 0)"),
                   {f.cur, f.p1});
        WriteCount writes;
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        f.prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QVERIFY(!w->Editing());
        QCOMPARE(writes.rows(), 0);
        QVERIFY(!writes.fileChanged());
        // Such a save does not even wait for another program's lock.
        {
            Connection other(QStringLiteral("tst-holder"));
            other.open(f.install->dbPath(), false, 100);
            other.exec(QStringLiteral("BEGIN IMMEDIATE"));
            QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
            f.prompt->answer(MsgAnswer::Yes);
            QElapsedTimer clock;
            clock.start();
            QTest::mouseClick(w->cmdSave, Qt::LeftButton);
            QVERIFY(clock.elapsed() < kDbWaitShowAfterMs);
            QVERIFY(!w->Editing());
            QCOMPARE(f.prompt->messages().size(), 2);  // the two "Are you sure?"
            other.exec(QStringLiteral("ROLLBACK"));
        }

        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("5"));
        w->txtRate1[1]->setText(QStringLiteral("5"));
        w->txtRate1[2]->setText(QStringLiteral("6"));
        // Row 4 keeps its 4; a box typed over with its own value is no change either.
        w->txtRate1[3]->setText(QStringLiteral("4"));
        f.prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QVERIFY(!w->Editing());
        QCOMPARE(writes.rows(), 3);
        QCOMPARE(Rows(QStringLiteral("SELECT ElementID, Rating FROM Ratings WHERE InspectionID = ? ORDER BY ElementID"),
                      {f.cur}),
                 (QStringList{"1|5", "2|5", "3|6", "4|4"}));

        // Saved once, saved again unchanged: nothing more.
        writes.restart();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        f.prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        w->Unload();
        QCOMPARE(writes.rows(), 0);
        QVERIFY(!writes.fileChanged());
    }

    // Another program holds the database: the save waits with the program alive, Cancel
    // ends the wait, the message says the database is in use and the edit stays to be saved.
    void aSaveThatCannotGetTheLockKeepsTheEdit()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("4"));
        w->txt1[1]->setPlainText(QStringLiteral("note"));
        Connection other(QStringLiteral("tst-holder"));
        other.open(f.install->dbPath(), false, 100);
        other.exec(QStringLiteral("BEGIN IMMEDIATE"));
        {
            DbWaitWatch watch(true);
            QTest::mouseClick(w->cmdSave, Qt::LeftButton);
            QVERIFY(watch.shownAtMs >= 0);
        }
        QCOMPARE(f.prompt->messages().size(), 2);
        QVERIFY(f.prompt->messages()[1].startsWith(QStringLiteral("Error saving data.")));
        QVERIFY(f.prompt->messages()[1].contains(kDatabaseInUseText));
        QCOMPARE(CountRows(QStringLiteral("Ratings")), 0);
        QVERIFY(w->Editing());
        QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("4"));
        QCOMPARE(w->txt1[1]->toPlainText(), QStringLiteral("note"));

        other.exec(QStringLiteral("ROLLBACK"));
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QVERIFY(!w->Editing());
        QCOMPARE(CountRows(QStringLiteral("Ratings"), QStringLiteral("Rating = 4")), 1);
    }

    // Comparing with a posted period: a save of the later one leaves the posted period
    // alone unless its comment was changed.
    void anUntouchedPreviousCommentIsNotWritten_data()
    {
        QTest::addColumn<QString>("previousText");  // "" leaves it untouched
        QTest::newRow("untouched") << QString();
        QTest::newRow("changed") << "seeping";
    }
    void anUntouchedPreviousCommentIsNotWritten()
    {
        QFETCH(QString, previousText);
        DataInputFixture f;
        f.rate(f.prev, f.p1, 1, 5, true);
        gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, 1, 5)"),
                   {f.prev, f.p1});
        QVERIFY(!DbHasUnpostedData(f.prev));
        frmDataInput* w = f.open();
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("4"));
        if (!previousText.isEmpty())
            w->txt1[0]->setPlainText(previousText);
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        QVERIFY(!w->Editing());
        QCOMPARE(CountRows(QStringLiteral("Ratings"), QStringLiteral("InspectionID = ? AND Rating = 4"), {f.cur}), 1);
        const QStringList expected = previousText.isEmpty()
                                         ? QStringList()
                                         : QStringList{QStringLiteral("%1|%2|0").arg(f.prev).arg(previousText)};
        QCOMPARE(Rows(QStringLiteral("SELECT InspectionID, Comments, Posted FROM PanelComments")), expected);
        QCOMPARE(DbHasUnpostedData(f.prev), !previousText.isEmpty());
    }

    void tabSwitchDuringEdit_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("tabAfter");
        QTest::addColumn<bool>("editing");
        QTest::addColumn<int>("saved");
        QTest::newRow("Yes saves and switches") << int(MsgAnswer::Yes) << 1 << false << 1;
        QTest::newRow("No switches") << int(MsgAnswer::No) << 1 << false << 0;
        QTest::newRow("Cancel stays") << int(MsgAnswer::Cancel) << 0 << true << 0;
    }

    void tabSwitchDuringEdit()
    {
        QFETCH(int, answer);
        QFETCH(int, tabAfter);
        QFETCH(bool, editing);
        QFETCH(int, saved);
        DataInputFixture f;
        frmDataInput* w = f.open();
        // Edit without typing: a switch asks nothing and ends the edit.
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        ClickTab(w->TabStrip1, 1);
        QVERIFY(f.prompt->calls.isEmpty());
        QVERIFY(!w->Editing());
        ClickTab(w->TabStrip1, 0);
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setText(QStringLiteral("5"));
        // The selected tab again: nothing at all.
        ClickTab(w->TabStrip1, 0);
        QVERIFY(f.prompt->calls.isEmpty());

        f.prompt->answer(MsgAnswer(answer));
        ClickTab(w->TabStrip1, 1);
        QCOMPARE(f.prompt->messages(), QStringList{QStringLiteral("Save changes for this element category?")});
        QCOMPARE(f.prompt->calls[0].buttons, MsgButtons::YesNoCancel);
        QCOMPARE(f.prompt->calls[0].icon, MsgIcon::None);
        QCOMPARE(w->TabStrip1->currentIndex(), tabAfter);
        QCOMPARE(w->Editing(), editing);
        QCOMPARE(CountRows(QStringLiteral("Ratings")), saved);
        QCOMPARE(w->RowCount(), tabAfter == 1 ? 1 : 7);
        if (editing)
            QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("5"));
        else
            QVERIFY(w->txtRate1[0]->isReadOnly());
    }

    // A category with "&" is shown as written and gives no access key: Alt+D would
    // otherwise switch the strip past the save question.
    void ampersandInACategoryIsNoAccessKey()
    {
        DataInputFixture f;
        gConn.exec(QStringLiteral("UPDATE ElementCategory SET EleCategoryName = 'Roof&Drains' WHERE EleCategoryID = 2"));
        frmDataInput* w = f.open();
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        w->txtRate1[0]->setFocus();
        w->txtRate1[0]->setText(QStringLiteral("5"));
        QTest::keyClick(w->txtRate1[0], Qt::Key_D, Qt::AltModifier);
        QCoreApplication::processEvents();
        QCOMPARE(w->TabStrip1->currentIndex(), 0);
        QVERIFY(w->Editing());
        QCOMPARE(w->RowCount(), 7);
        QCOMPARE(w->txtRate1[0]->text(), QStringLiteral("5"));
        QCOMPARE(f.prompt->messages(), QStringList());
        QCOMPARE(w->TabStrip1->tabText(1), QStringLiteral("Roof&&Drains"));
    }

    void loadFormAgainStartsClean()
    {
        DataInputFixture f;
        gConn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES ('ft'), ('m2')"));
        frmDataInput* w = f.open();
        QCOMPARE(w->ZVMap1->PolyCount(), 3);
        w->LoadForm(2024, f.tunnel);
        QCOMPARE(w->ZVMap1->PolyCount(), 3);
        QCOMPARE(w->cboUnits->count(), 2);
        QCOMPARE(w->InspectionID(), f.prev);
        QCOMPARE(w->PreviousInspectionID(), 0);
        QCOMPARE(LoadedFormNames().count(QStringLiteral("frmDataInput")), 1);
    }

    void tunnelWithoutOutlinesIsQuiet()
    {
        DataInputFixture f;
        gConn.exec(QStringLiteral("DELETE FROM PanelCoord"));
        frmDataInput* w = f.open();
        QVERIFY(w->isVisible());
        QVERIFY(f.prompt->calls.isEmpty());
        QCOMPARE(w->PanelID(), 0);
        QVERIFY(!w->cmdEdit->isEnabled());
        QVERIFY(!w->cmdPrint->isEnabled());
    }

    void printPassesThePeriodsShown()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        // No printout in the program: the command stays off.
        QVERIFY(!w->cmdPrint->isEnabled());
        w->Unload();

        RegisterFormFactory(QStringLiteral("frmPrintKeyplan"), [] { return new FakeKeyplan; });
        FakeKeyplan::calls.clear();
        gConn.exec(QStringLiteral("UPDATE System SET View = 0"));
        DataInputFixture::rate(f.prev, f.p1, 1, 5);
        w = f.open();
        QVERIFY(w->cmdPrint->isEnabled());
        QTest::mouseClick(w->cmdPrint, Qt::LeftButton);
        QCOMPARE(FakeKeyplan::calls,
                 (QStringList{QStringLiteral("LoadForm(%1,0,%2,frmDataInput)").arg(f.tunnel).arg(f.cur),
                              QStringLiteral("exec")}));
        // The window keeps its previous period: the rating check still asks.
        QCOMPARE(w->PreviousInspectionID(), f.prev);
        QTest::mouseClick(w->cmdEdit, Qt::LeftButton);
        f.prompt->answer(MsgAnswer::No);
        typeInto(w->txtRate1[0], QStringLiteral("9"));
        QCOMPARE(f.prompt->calls.size(), 1);
        QCOMPARE(w->txtRate1[0]->text(), QString());
    }

    void closeUnloadsAndKeepsPlacement()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        w->move(40, 30);
        QTest::mouseClick(w->cmdClose, Qt::LeftButton);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmDataInput")));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        auto* again = new frmDataInput;
        QCOMPARE(again->pos(), QPoint(40, 30));
        again->Unload();
    }

    void resizeKeepsMinimums()
    {
        DataInputFixture f;
        frmDataInput* w = f.open();
        w->resize(30, 20);
        QCOMPARE(w->ZVMap1->width(), TwipsToPixels(1000));
        QCOMPARE(w->ZVMap1->height(), TwipsToPixels(500));
        QCOMPARE(w->fraData->width(), TwipsToPixels(5000));
        QCOMPARE(w->fraData->y(), TwipsToPixels(825));
        w->resize(1200, 900);
        QCOMPARE(w->ZVMap1->width(), 1200 - w->ZVMap1->x());
        QCOMPARE(w->fraData->width(), w->ZVMap1->width() - TwipsToPixels(100));
        QCOMPARE(w->fraData->y() + w->fraData->height(), 900);
    }
};

QTEST_MAIN(TestDataInput)
#include "tst_datainput.moc"
