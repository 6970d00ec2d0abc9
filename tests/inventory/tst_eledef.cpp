// The definition list editor: elements and their categories, the categories' order, and
// the expenditure categories.
#include "clicklabel.h"
#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmEleDef.h"
#include "helpers.h"
#include "otherprogram.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "writecount.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <limits>

namespace {

const QString kElementCaption = QStringLiteral("Element Definition");
const QString kExpCaption = QStringLiteral("Expenditure Category Definition");

frmEleDef* openElements()
{
    auto* f = new frmEleDef;
    f->LoadForm(QStringLiteral("Element"), QStringLiteral("AvailableElements"), QStringLiteral("ElementID"),
                QStringLiteral("ElementName"));
    return f;
}

frmEleDef* openExpCats()
{
    auto* f = new frmEleDef;
    f->LoadForm(QStringLiteral("Expenditure Category"), QStringLiteral("ExpenditureCats"),
                QStringLiteral("CategoryID"), QStringLiteral("Category"));
    return f;
}

qint32 addCategory(const QString& name, int sort)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("ElementCategory"),
                                         {{QStringLiteral("EleCategoryName"), name},
                                          {QStringLiteral("EleCategorySort"), sort}}));
}

qint32 addExpCat(const QString& name)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("ExpenditureCats"), {{QStringLiteral("Category"), name}}));
}

// Each entry as "text=id".
QStringList entries(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text() + QLatin1Char('=') + list->item(i)->data(Qt::UserRole).toString();
    return out;
}

void select(QListWidget* list, const QString& text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(text));
    list->setCurrentItem(found.first());
}

QStringList categoryOrder()
{
    return Rows(QStringLiteral("SELECT EleCategoryName FROM ElementCategory ORDER BY EleCategorySort"));
}

QPoint centre(QListWidget* list, int row) { return list->visualItemRect(list->item(row)).center(); }

// The category at row from moves to row to, as a drag does it.
void drag(frmEleDef* f, int from, int to)
{
    f->lstEleCat->setCurrentRow(from);
    f->lstEleCat_MouseDown();
    f->lstEleCat->setCurrentRow(to);
    f->lstEleCat_MouseMove();
    f->lstEleCat_MouseUp();
}

QString removedText(const QString& what)
{
    return what + QStringLiteral(" was removed by another user; nothing was saved for it.");
}

QString changedText(const QString& what, const QString& now, const QString& yours)
{
    return what + QStringLiteral(" was changed by another user after you opened it: it is now %1, yours is %2. "
                                 "Replace it with yours?")
                      .arg(now, yours);
}

}  // namespace

class TestEleDef : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
    }
    void cleanup()
    {
        m_prompt.reset();
        m_install.reset();
    }

    void opensInEitherMode_data()
    {
        QTest::addColumn<bool>("elements");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("listLeft");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("elements") << true << QStringLiteral("Element") << QStringLiteral("Element Name") << 7785
                                  << 3570 << QStringList{"Brick=0", "Mortar=3"};
        QTest::newRow("expenditure categories") << false << QStringLiteral("Expenditure Category")
                                                << QStringLiteral("Category Name") << 4290 << 75
                                                << QStringList{"Repairs=1", "Cleaning=2"};
    }
    void opensInEitherMode()
    {
        QFETCH(bool, elements);
        QFETCH(QString, caption);
        QFETCH(QString, label);
        QFETCH(int, width);
        QFETCH(int, listLeft);
        QFETCH(QStringList, listed);
        const qint32 walls = addCategory(QStringLiteral("Walls"), 2);
        const qint32 floors = addCategory(QStringLiteral("Floors"), 1);
        FixtureElement(0, QStringLiteral("Brick"), walls);
        FixtureElement(3, QStringLiteral("Mortar"), floors);
        addExpCat(QStringLiteral("Repairs"));
        addExpCat(QStringLiteral("Cleaning"));

        frmEleDef* f = elements ? openElements() : openExpCats();
        QVERIFY(f->isVisible());
        QVERIFY(!f->isModal());
        QCOMPARE(f->objectName(), QStringLiteral("frmEleDef"));
        QCOMPARE(f->windowTitle(), caption + QStringLiteral(" Definition"));
        QCOMPARE(f->elementMode(), elements);
        QCOMPARE(f->cmdAdd->toolTip(), QStringLiteral("Add ") + caption);
        QCOMPARE(f->cmdRemove->toolTip(), QStringLiteral("Remove ") + caption);
        QCOMPARE(f->cmdUpdate->toolTip(), QStringLiteral("Update ") + caption);
        QCOMPARE(f->txtName->toolTip(), QStringLiteral("Enter ") + caption);
        QCOMPARE(f->Label1[0]->text(), label);
        QCOMPARE(f->width(), TwipsToPixels(width));
        QCOMPARE(f->lstEle->x(), TwipsToPixels(listLeft));
        for (QWidget* w : {(QWidget*)f->lstEleCat, (QWidget*)f->cboEleCat, (QWidget*)f->txtEleCatName,
                           (QWidget*)f->cmdAddCat, (QWidget*)f->Line1, (QWidget*)f->Label1[2]})
            QCOMPARE(w->isVisible(), elements);
        QCOMPARE(f->Label1[2]->text(), QStringLiteral("Drag categories names to set order of tabs in data view screen"));

        // The items as stored; the categories in their display order in both category lists.
        QCOMPARE(entries(f->lstEle), listed);
        QCOMPARE(entries(f->lstEleCat), (QStringList{"Floors=" + QString::number(floors),
                                                     "Walls=" + QString::number(walls)}));
        QCOMPARE(f->cboEleCat->itemText(0), QStringLiteral("Floors"));
        // The first item is chosen, with its category.
        QCOMPARE(f->lstEle->currentRow(), 0);
        QCOMPARE(f->txtName->text(), listed.first().section(QLatin1Char('='), 0, 0));
        if (elements)
            QCOMPARE(f->cboEleCat->currentText(), QStringLiteral("Walls"));
        QVERIFY(m_prompt->calls.isEmpty());

        // Choosing another element shows its name and category.
        if (elements) {
            f->lstEle->setCurrentRow(1);
            QCOMPARE(f->txtName->text(), QStringLiteral("Mortar"));
            QCOMPARE(f->cboEleCat->currentText(), QStringLiteral("Floors"));
            select(f->lstEleCat, QStringLiteral("Walls"));
            QCOMPARE(f->txtEleCatName->text(), QStringLiteral("Walls"));
        }
    }

    void emptyListOpensWithNothingSelected()
    {
        frmEleDef* f = openExpCats();
        QCOMPARE(f->lstEle->count(), 0);
        QCOMPARE(f->lstEle->currentRow(), -1);
        QVERIFY(f->txtName->text().isEmpty());
        QVERIFY(m_prompt->calls.isEmpty());
        // Update and Remove want a selection.
        f->cmdUpdate->click();
        f->cmdRemove->click();
        QCOMPARE(m_prompt->messages(), (QStringList{"Please select an element from the list",
                                                    "Please select an element from the list"}));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Update Element"));
        QCOMPARE(m_prompt->calls[1].title, QStringLiteral("Remove Element"));
    }

    void anOtherListIsRefused()
    {
        auto* f = new frmEleDef;
        QPointer<frmEleDef> alive(f);
        QVERIFY(!f->LoadForm(QStringLiteral("Tunnel"), QStringLiteral("Tunnels"), QStringLiteral("TunnelID"),
                             QStringLiteral("TunnelName")));
        QCOMPARE(m_prompt->messages(), QStringList{"Error loading Tunnel definition screen."});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmEleDef")));
        QTest::qWait(0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(alive.isNull());
    }

    // A failure while filling the lists is only logged; the window still opens.
    void aLoadErrorIsLoggedQuietly()
    {
        FixtureElement(0, QStringLiteral("Brick"));
        gConn.exec(QStringLiteral("DROP TABLE ElementCategory"));
        frmEleDef* f = openElements();
        QVERIFY(f->isVisible());
        QVERIFY(m_prompt->calls.isEmpty());
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("ElementCategory"));
        QCOMPARE(f->windowTitle(), kElementCaption);
    }

    void addElement()
    {
        const qint32 walls = addCategory(QStringLiteral("Walls"), 1);
        frmEleDef* f = openElements();

        // No name: nothing at all. No category: refused with a message.
        f->cmdAdd->click();
        QVERIFY(m_prompt->calls.isEmpty());
        f->txtName->setText(QStringLiteral("Brick"));
        f->cmdAdd->click();
        QCOMPARE(m_prompt->calls.last().text, QStringLiteral("You must assign this element to an element category."));
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("No Category Specified"));
        QCOMPARE(CountRows(QStringLiteral("AvailableElements")), 0);

        // The first element of an empty database is 0, the next 1; each is appended.
        f->cboEleCat->setCurrentIndex(0);
        f->cmdAdd->click();
        f->txtName->setText(QStringLiteral("O'Brien's arch"));
        f->cmdAdd->click();
        QCOMPARE(entries(f->lstEle), (QStringList{"Brick=0", "O'Brien's arch=1"}));
        QCOMPARE(Rows(QStringLiteral("SELECT ElementID, ElementName, ElementCategory FROM AvailableElements")),
                 (QStringList{"0|Brick|" + QString::number(walls), "1|O'Brien's arch|" + QString::number(walls)}));
        QCOMPARE(f->txtName->text(), QStringLiteral("O'Brien's arch"));
        QCOMPARE(f->lstEle->currentRow(), -1);

        // A name that differs only in case counts as present.
        f->txtName->setText(QStringLiteral("BRICK"));
        f->cmdAdd->click();
        QCOMPARE(m_prompt->calls.last().text, QStringLiteral("Unable to add item.  BRICK already exists in the database."));
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Add Element"));
        QCOMPARE(CountRows(QStringLiteral("AvailableElements")), 2);
        QCOMPARE(f->lstEle->count(), 2);
    }

    // Letters beyond ASCII fold too, in each of the window's three lists.
    void aNameInAnotherCaseIsRefused_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("message");
        QTest::newRow("element") << "element" << "Unable to add item.  überbau already exists in the database.";
        QTest::newRow("expenditure category")
            << "expenditure" << "Unable to add item.  überbau already exists in the database.";
        QTest::newRow("element category")
            << "category" << "Unable to add element category.  überbau already exists in the database.";
    }
    void aNameInAnotherCaseIsRefused()
    {
        QFETCH(QString, list);
        QFETCH(QString, message);
        addCategory(QStringLiteral("Walls"), 1);
        frmEleDef* f = list == QLatin1String("expenditure") ? openExpCats() : openElements();
        f->cboEleCat->setCurrentIndex(0);
        QLineEdit* box = list == QLatin1String("category") ? f->txtEleCatName : f->txtName;
        QPushButton* add = list == QLatin1String("category") ? f->cmdAddCat : f->cmdAdd;
        const QString table = list == QLatin1String("element")       ? QStringLiteral("AvailableElements")
                              : list == QLatin1String("expenditure") ? QStringLiteral("ExpenditureCats")
                                                                     : QStringLiteral("ElementCategory");
        box->setText(QStringLiteral("Überbau"));
        add->click();
        const int rows = CountRows(table);
        box->setText(QStringLiteral("überbau"));
        add->click();
        QCOMPARE(m_prompt->messages(), QStringList{message});
        QCOMPARE(CountRows(table), rows);
    }

    // A removed element's posted ratings, pictures and clips stay behind under its key; a
    // new element must never take that key over.
    void nextElementIdPassesKeysStillInUse_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("columns");
        QTest::newRow("panel elements") << "PanelElements" << "PanelID, ElementID";
        QTest::newRow("ratings") << "Ratings" << "InspectionID, PanelID, ElementID";
        QTest::newRow("posted ratings") << "RatingsPosted" << "InspectionID, PanelID, ElementID";
        QTest::newRow("pictures") << "ImagePaths" << "InspectionID, PanelID, ElementID";
        QTest::newRow("posted pictures") << "ImagePathsPosted" << "InspectionID, PanelID, ElementID";
        QTest::newRow("clips") << "Videos" << "InspectionID, PanelID, ElementID";
        QTest::newRow("posted clips") << "VideosPosted" << "InspectionID, PanelID, ElementID";
        QTest::newRow("saved report choices") << "TunnelRptElements" << "ID, Include, ElementID";
    }
    void nextElementIdPassesKeysStillInUse()
    {
        QFETCH(QString, table);
        QFETCH(QString, columns);
        QCOMPARE(frmEleDef::NextElementID(), 0);
        FixtureElement(2, QStringLiteral("Brick"));
        QCOMPARE(frmEleDef::NextElementID(), 3);
        const int n = columns.count(QLatin1Char(',')) + 1;
        QVariantList values(n, 1);
        values[n - 1] = 40;
        gConn.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (?%3)").arg(table, columns, QStringLiteral(", ?").repeated(n - 1)),
                   values);
        QCOMPARE(frmEleDef::NextElementID(), 41);
    }

    void removedElementsKeyIsNotGivenAgain()
    {
        const qint32 walls = addCategory(QStringLiteral("Walls"), 1);
        FixtureElement(0, QStringLiteral("Brick"), walls);
        FixtureElement(1, QStringLiteral("Mortar"), walls);
        gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) VALUES (1, 1, 1, 4)"));
        FixtureClip(1, 1, 1, QStringLiteral("crack.avi"), true);
        frmEleDef* f = openElements();
        select(f->lstEle, QStringLiteral("Mortar"));
        f->cmdRemove->click();  // the final question's default is Yes
        QCOMPARE(entries(f->lstEle), QStringList{"Brick=0"});

        f->txtName->setText(QStringLiteral("Grout"));
        f->cboEleCat->setCurrentIndex(0);
        f->cmdAdd->click();
        QCOMPARE(entries(f->lstEle), (QStringList{"Brick=0", "Grout=2"}));
        QCOMPARE(CountRows(QStringLiteral("RatingsPosted"), QStringLiteral("ElementID = 2")), 0);
    }

    void keysRunOutWithAnError()
    {
        const qint32 walls = addCategory(QStringLiteral("Walls"), 1);
        FixtureElement(std::numeric_limits<qint32>::max(), QStringLiteral("Last"), walls);
        frmEleDef* f = openElements();
        f->txtName->setText(QStringLiteral("One more"));
        f->cboEleCat->setCurrentIndex(0);
        f->cmdAdd->click();
        QCOMPARE(m_prompt->messages(), QStringList{"Error: Unable to add item"});
        QCOMPARE(CountRows(QStringLiteral("AvailableElements")), 1);
        QCOMPARE(f->lstEle->count(), 1);
    }

    void removeElementAsksThenDeletesItsWorkingRows_data()
    {
        QTest::addColumn<bool>("ratings");
        QTest::addColumn<bool>("pictures");
        QTest::addColumn<QList<int>>("answers");  // MsgAnswer per question, in order
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("removed");
        const int yes = int(MsgAnswer::Yes), no = int(MsgAnswer::No);
        QTest::newRow("bare, yes") << false << false << QList<int>{yes} << 1 << true;
        QTest::newRow("bare, no") << false << false << QList<int>{no} << 1 << false;
        QTest::newRow("all, yes yes yes") << true << true << QList<int>{yes, yes, yes} << 3 << true;
        QTest::newRow("all, no to ratings") << true << true << QList<int>{no} << 1 << false;
        QTest::newRow("all, no to pictures") << true << true << QList<int>{yes, no} << 2 << false;
        QTest::newRow("all, no at the end") << true << true << QList<int>{yes, yes, no} << 3 << false;
        QTest::newRow("pictures only") << false << true << QList<int>{yes, yes} << 2 << true;
    }
    void removeElementAsksThenDeletesItsWorkingRows()
    {
        QFETCH(bool, ratings);
        QFETCH(bool, pictures);
        QFETCH(QList<int>, answers);
        QFETCH(int, questions);
        QFETCH(bool, removed);
        const qint32 walls = addCategory(QStringLiteral("Walls"), 1);
        FixtureElement(4, QStringLiteral("Brick"), walls);
        FixtureElement(5, QStringLiteral("Mortar"), walls);
        for (int e : {4, 5}) {
            gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (1, ?)"), {e});
            if (ratings || e == 5)
                gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) "
                                          "VALUES (1, 1, ?, 5)"),
                           {e});
            if (pictures || e == 5)
                FixturePicture(1, e, 1, QStringLiteral("p%1.jpg").arg(e), false);
            gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) "
                                      "VALUES (1, 1, ?, 5)"),
                       {e});
            gConn.exec(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, InspectionID) "
                                      "VALUES (1, ?, 'x.jpg', 1)"),
                       {e});
            FixtureClip(1, e, 1, QStringLiteral("v.avi"));
            gConn.exec(QStringLiteral("INSERT INTO VideosPosted (PanelID, ElementID, VideoFile, InspectionID) "
                                      "VALUES (1, ?, 'v.avi', 1)"),
                       {e});
        }
        frmEleDef* f = openElements();
        for (int a : answers)
            m_prompt->answer(MsgAnswer(a));
        select(f->lstEle, QStringLiteral("Brick"));
        f->cmdRemove->click();

        QCOMPARE(m_prompt->calls.size(), questions);
        int q = 0;
        if (ratings) {
            QCOMPARE(m_prompt->calls[q].text,
                     QStringLiteral("Ratings data exists for this element.  Removing this element will remove all "
                                    "ratings associated with the element.  \nAre you sure you want to delete it?"));
            QCOMPARE(m_prompt->calls[q].icon, MsgIcon::Warning);
            QCOMPARE(m_prompt->calls[q].title, QStringLiteral("Delete Element"));
            ++q;
        }
        if (pictures && q < questions) {
            QCOMPARE(m_prompt->calls[q].text, QStringLiteral("Field sketches and photographs exist for this element.  "
                                                             "Are you sure you want to delete the element?"));
            QCOMPARE(m_prompt->calls[q].icon, MsgIcon::Question);
            ++q;
        }
        if (q < questions) {
            QCOMPARE(m_prompt->calls[q].text, QStringLiteral("Are you sure you want to delete this item?"));
            QCOMPARE(m_prompt->calls[q].title, QStringLiteral("Delete"));
            QCOMPARE(m_prompt->calls[q].icon, MsgIcon::None);
            QCOMPARE(m_prompt->calls[q].buttons, MsgButtons::YesNo);
        }

        const QString brick = QStringLiteral("ElementID = 4");
        QCOMPARE(CountRows(QStringLiteral("AvailableElements"), brick), removed ? 0 : 1);
        QCOMPARE(CountRows(QStringLiteral("PanelElements"), brick), removed ? 0 : 1);
        QCOMPARE(CountRows(QStringLiteral("Ratings"), brick), removed || !ratings ? 0 : 1);
        QCOMPARE(CountRows(QStringLiteral("ImagePaths"), brick), removed || !pictures ? 0 : 1);
        // Posted rows and clips stay; the other element keeps everything.
        for (const char* kept : {"RatingsPosted", "ImagePathsPosted", "Videos", "VideosPosted"})
            QCOMPARE(CountRows(QLatin1String(kept), brick), 1);
        for (const char* table : {"AvailableElements", "PanelElements", "Ratings", "ImagePaths"})
            QCOMPARE(CountRows(QLatin1String(table), QStringLiteral("ElementID = 5")), 1);
        QCOMPARE(entries(f->lstEle), removed ? QStringList{"Mortar=5"} : (QStringList{"Brick=4", "Mortar=5"}));
    }

    void removalIsAllOrNothing()
    {
        const qint32 walls = addCategory(QStringLiteral("Walls"), 1);
        FixtureElement(4, QStringLiteral("Brick"), walls);
        gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (1, 4)"));
        gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 1, 4, 5)"));
        FailWhen(QStringLiteral("nodelete"), QStringLiteral("DELETE"), QStringLiteral("Ratings"), QStringLiteral("1"));
        frmEleDef* f = openElements();
        f->cmdRemove->click();  // Yes to both questions by default
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("Error: Unable to remove item."));
        QCOMPARE(CountRows(QStringLiteral("AvailableElements")), 1);
        QCOMPARE(CountRows(QStringLiteral("PanelElements")), 1);
        QCOMPARE(f->lstEle->count(), 1);
        QCOMPARE(m_install->read(QStringLiteral("err.log")).contains("frmEleDef"), true);
    }

    void updateElement()
    {
        const qint32 walls = addCategory(QStringLiteral("Walls"), 1);
        const qint32 floors = addCategory(QStringLiteral("Floors"), 2);
        FixtureElement(0, QStringLiteral("Brick"), walls);
        FixtureElement(1, QStringLiteral("Mortar"), walls);
        frmEleDef* f = openElements();

        select(f->lstEle, QStringLiteral("Mortar"));
        f->txtName->setText(QStringLiteral("Mortar 'lime'"));
        f->cboEleCat->setCurrentIndex(1);
        f->cmdUpdate->click();
        QCOMPARE(Rows(QStringLiteral("SELECT ElementName, ElementCategory FROM AvailableElements WHERE ElementID = 1")),
                 QStringList{"Mortar 'lime'|" + QString::number(floors)});
        QCOMPARE(entries(f->lstEle), (QStringList{"Brick=0", "Mortar 'lime'=1"}));

        // No check of its own: another item's name, or none, goes to the database as typed.
        f->txtName->setText(QStringLiteral("Brick"));
        f->cmdUpdate->click();
        f->lstEle->setCurrentRow(0);
        f->txtName->clear();
        f->cmdUpdate->click();
        QCOMPARE(Rows(QStringLiteral("SELECT ElementName FROM AvailableElements ORDER BY ElementID")),
                 (QStringList{"", "Brick"}));
        QVERIFY(m_prompt->calls.isEmpty());

        // An element whose category is gone leaves the category box empty: Update fails.
        gConn.exec(QStringLiteral("DELETE FROM ElementCategory"));
        auto* g = openElements();
        g->lstEle->setCurrentRow(0);
        g->txtName->setText(QStringLiteral("Again"));
        g->cmdUpdate->click();
        QCOMPARE(m_prompt->messages(), QStringList{"Error: Unable to update item."});
        QCOMPARE(g->lstEle->item(0)->text(), QString());
    }

    // A change typed for the selected entry and not yet applied with Update is asked about when
    // the window closes: Yes updates, No drops it, Cancel keeps the window open with the text.
    void closingAsksAboutAChangeNotUpdated_data()
    {
        QTest::addColumn<QString>("edit");  // name, category, category name
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("stored");  // what the database holds afterwards
        QTest::addColumn<bool>("open");
        const QString before = QStringLiteral("Mortar|Walls|Walls");
        for (const char* edit : {"name", "category", "category name"}) {
            const QString e = QString::fromLatin1(edit);
            const QString after = e == "name"       ? QStringLiteral("Lime mortar|Walls|Walls")
                                  : e == "category" ? QStringLiteral("Mortar|Floors|Walls")
                                                    : QStringLiteral("Mortar|Masonry|Masonry");
            QTest::newRow(qPrintable(e + ", Yes")) << e << int(MsgAnswer::Yes) << after << false;
            QTest::newRow(qPrintable(e + ", No")) << e << int(MsgAnswer::No) << before << false;
            QTest::newRow(qPrintable(e + ", Cancel")) << e << int(MsgAnswer::Cancel) << before << true;
        }
    }
    void closingAsksAboutAChangeNotUpdated()
    {
        QFETCH(QString, edit);
        QFETCH(int, answer);
        QFETCH(QString, stored);
        QFETCH(bool, open);
        const qint32 walls = addCategory(QStringLiteral("Walls"), 1);
        addCategory(QStringLiteral("Floors"), 2);
        FixtureElement(1, QStringLiteral("Mortar"), walls);
        QPointer<frmEleDef> f = openElements();
        select(f->lstEle, QStringLiteral("Mortar"));
        select(f->lstEleCat, QStringLiteral("Walls"));
        f->txtEleCatName->setText(QStringLiteral("Walls"));  // as the click on it shows it
        if (edit == "name")
            f->txtName->setText(QStringLiteral("Lime mortar"));
        else if (edit == "category")
            f->cboEleCat->setCurrentIndex(f->cboEleCat->findText(QStringLiteral("Floors")));
        else
            f->txtEleCatName->setText(QStringLiteral("Masonry"));
        m_prompt->answer(MsgAnswer(answer));
        m_prompt->answer(MsgAnswer::Yes);  // the rename question of a category
        QCOMPARE(f->close(), !open);
        QCOMPARE(m_prompt->calls.value(0).text,
                 QStringLiteral("The changes typed for the %1 have not been saved.\r\nSave them now?")
                     .arg(edit == "category name" ? "element category \"Walls\"" : "element \"Mortar\""));
        QCOMPARE(Rows(QStringLiteral("SELECT e.ElementName, c.EleCategoryName, (SELECT EleCategoryName FROM "
                                     "ElementCategory WHERE EleCategoryID = ?) FROM AvailableElements e JOIN "
                                     "ElementCategory c ON c.EleCategoryID = e.ElementCategory"),
                      {walls}),
                 QStringList{stored});
        QCOMPARE(f->isVisible(), open);
        if (open) {
            // Still there to finish; without a change the next close asks nothing.
            m_prompt->calls.clear();
            f->cmdUpdate->click();
            f->cmdUpdateCat->click();
            m_prompt->answer(MsgAnswer::Yes);
            QVERIFY(f->close());
        }
    }

    // Without a change, or with a name that went in with Add or stayed after Remove, closing
    // asks nothing.
    void closingWithoutAPendingChangeAsksNothing()
    {
        const qint32 walls = addCategory(QStringLiteral("Walls"), 1);
        addCategory(QStringLiteral("Floors"), 2);
        FixtureElement(1, QStringLiteral("Mortar"), walls);
        FixtureElement(2, QStringLiteral("Brick"), walls);
        addExpCat(QStringLiteral("Repairs"));
        for (frmEleDef* f : {openElements(), openExpCats()})
            QVERIFY(f->close());
        frmEleDef* f = openElements();
        select(f->lstEle, QStringLiteral("Mortar"));
        f->cboEleCat->setCurrentIndex(f->cboEleCat->findText(QStringLiteral("Floors")));
        f->txtName->setText(QStringLiteral("Grout"));
        f->cmdAdd->click();
        QVERIFY(f->close());
        f = openElements();
        select(f->lstEle, QStringLiteral("Brick"));
        m_prompt->answer(MsgAnswer::Yes);
        f->cmdRemove->click();
        QVERIFY(f->close());
        QCOMPARE(m_prompt->calls.size(), 1);  // Remove's own question only
        QCOMPARE(Rows(QStringLiteral("SELECT ElementName FROM AvailableElements ORDER BY ElementID")),
                 (QStringList{"Mortar", "Grout"}));
    }

    void expenditureCategories()
    {
        const qint32 repairs = addExpCat(QStringLiteral("Repairs"));
        const qint32 misc = addExpCat(QStringLiteral("Misc"));
        const qint32 tunnel = FixtureTunnel(QStringLiteral("North"));
        for (qint32 c : {repairs, repairs, misc})
            gConn.exec(QStringLiteral("INSERT INTO Expenditures (TunnelID, Cost, CategoryID) VALUES (?, 10, ?)"),
                       {tunnel, c});
        frmEleDef* f = openExpCats();

        // Added with the key the database gives; a name present in any case is refused.
        f->txtName->setText(QStringLiteral("Cleaning"));
        f->cmdAdd->click();
        const qint32 cleaning = gConn.scalar(QStringLiteral("SELECT CategoryID FROM ExpenditureCats WHERE Category = 'Cleaning'")).toInt();
        QVERIFY(cleaning > misc);
        QCOMPARE(f->lstEle->item(2)->data(Qt::UserRole).toInt(), cleaning);
        f->txtName->setText(QStringLiteral("misc"));
        f->cmdAdd->click();
        QCOMPARE(m_prompt->calls.last().text, QStringLiteral("Unable to add item.  misc already exists in the database."));
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Add Element"));

        // Renamed by key: once two categories share a name, renaming one leaves the other.
        select(f->lstEle, QStringLiteral("Cleaning"));
        f->txtName->setText(QStringLiteral("Misc"));
        f->cmdUpdate->click();
        f->txtName->setText(QStringLiteral("Sundry"));
        f->cmdUpdate->click();
        QCOMPARE(Rows(QStringLiteral("SELECT Category FROM ExpenditureCats ORDER BY CategoryID")),
                 (QStringList{"Repairs", "Misc", "Sundry"}));
        QCOMPARE(f->lstEle->item(2)->text(), QStringLiteral("Sundry"));

        // Removing a category with expenditures asks twice, then deletes them all.
        m_prompt->calls.clear();
        select(f->lstEle, QStringLiteral("Repairs"));
        f->cmdRemove->click();
        QCOMPARE(m_prompt->messages(),
                 (QStringList{"Expenditure data exists for this element.  Removing this element will remove all "
                              "expenditures associated with the element.  \nAre you sure you want to delete it?",
                              "Are you sure you want to delete this item?"}));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Delete Element"));
        QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Warning);
        QCOMPARE(CountRows(QStringLiteral("Expenditures"), QStringLiteral("CategoryID = ?"), {repairs}), 0);
        QCOMPARE(CountRows(QStringLiteral("Expenditures"), QStringLiteral("CategoryID = ?"), {misc}), 1);
        QCOMPARE(CountRows(QStringLiteral("ExpenditureCats"), QStringLiteral("CategoryID = ?"), {repairs}), 0);
        QCOMPARE(entries(f->lstEle).size(), 2);
    }

    void failedWritesAreShownAndNotDisplayed()
    {
        addExpCat(QStringLiteral("Repairs"));
        frmEleDef* f = openExpCats();
        FailWhen(QStringLiteral("noupdate"), QStringLiteral("UPDATE"), QStringLiteral("ExpenditureCats"),
                 QStringLiteral("1"));
        FailWhen(QStringLiteral("noinsert"), QStringLiteral("INSERT"), QStringLiteral("ExpenditureCats"),
                 QStringLiteral("1"));
        f->txtName->setText(QStringLiteral("Labour"));
        f->cmdUpdate->click();
        QCOMPARE(m_prompt->calls.size(), 1);
        QVERIFY(m_prompt->calls[0].text.contains(QStringLiteral("disk I/O error")));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Corvane Quorrel"));
        // The list still shows what is stored.
        QCOMPARE(f->lstEle->item(0)->text(), QStringLiteral("Repairs"));

        f->cmdAdd->click();
        QCOMPARE(m_prompt->calls.size(), 2);
        QCOMPARE(m_prompt->calls[1].title, QStringLiteral("Add Expenditure Lookup"));
        QCOMPARE(m_prompt->calls[1].icon, MsgIcon::Critical);
        QCOMPARE(f->lstEle->count(), 1);
    }

    void elementCategories()
    {
        frmEleDef* f = openElements();
        // The first category is sorted 1; each new one is listed last and chosen.
        for (const char* name : {"Walls", "Floors", "Drains"}) {
            f->txtEleCatName->setText(QLatin1String(name));
            f->cmdAddCat->click();
            QCOMPARE(f->lstEleCat->currentItem()->text(), QLatin1String(name));
        }
        QCOMPARE(Rows(QStringLiteral("SELECT EleCategoryName, EleCategorySort FROM ElementCategory ORDER BY EleCategoryID")),
                 (QStringList{"Walls|1", "Floors|2", "Drains|3"}));
        QCOMPARE(f->cboEleCat->count(), 3);
        f->txtEleCatName->setText(QStringLiteral("FLOORS"));
        f->cmdAddCat->click();
        QCOMPARE(m_prompt->calls.last().text,
                 QStringLiteral("Unable to add element category.  FLOORS already exists in the database."));
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Add Element Category"));

        // Rename: asked first; No changes nothing.
        m_prompt->calls.clear();
        select(f->lstEleCat, QStringLiteral("Floors"));
        f->txtEleCatName->setText(QStringLiteral("Floor's"));
        m_prompt->answer(MsgAnswer::No);
        f->cmdUpdateCat->click();
        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Are you sure you want to rename this Element Category?\n"
                                                         "All elements in the Floors element category will be moved "
                                                         "to the Floor's element category."));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Change Category Name?"));
        QCOMPARE(m_prompt->calls[0].buttons, MsgButtons::YesNo);
        QCOMPARE(categoryOrder(), (QStringList{"Walls", "Floors", "Drains"}));
        f->cmdUpdateCat->click();
        QCOMPARE(categoryOrder(), (QStringList{"Walls", "Floor's", "Drains"}));
        QCOMPARE(f->lstEleCat->currentRow(), 1);
        QCOMPARE(f->cboEleCat->itemText(1), QStringLiteral("Floor's"));

        // Remove: refused while elements of it exist, after the question.
        FixtureElement(0, QStringLiteral("Brick"), f->lstEleCat->item(0)->data(Qt::UserRole).toInt());
        m_prompt->calls.clear();
        f->lstEleCat->setCurrentRow(0);
        f->cmdRemoveCat->click();
        QCOMPARE(m_prompt->messages(), (QStringList{"Are you sure you want to remove this Element Category?",
                                                    "Elements of this category exist.  Remove those elements before "
                                                    "attempting to remove this category."}));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Remove Category"));
        QCOMPARE(m_prompt->calls[1].title, QStringLiteral("Corvane Quorrel"));
        QCOMPARE(CountRows(QStringLiteral("ElementCategory")), 3);

        f->lstEleCat->setCurrentRow(2);
        f->cmdRemoveCat->click();
        QCOMPARE(categoryOrder(), (QStringList{"Walls", "Floor's"}));
        QVERIFY(f->txtEleCatName->text().isEmpty());
        QCOMPARE(f->lstEleCat->count(), 2);

        // Without a selection each asks for one.
        f->lstEleCat->setCurrentRow(-1);
        m_prompt->calls.clear();
        f->cmdUpdateCat->click();
        f->cmdRemoveCat->click();
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Update Element Category"));
        QCOMPARE(m_prompt->calls[1].title, QStringLiteral("Remove Element Category"));
        QCOMPARE(m_prompt->messages(), (QStringList{"Please select an element category from the list",
                                                    "Please select an element category from the list"}));
    }

    // After a rename two categories may share a name: removal goes by the chosen entry.
    void removeCategoryByItsKey()
    {
        const qint32 first = addCategory(QStringLiteral("Walls"), 1);
        const qint32 second = addCategory(QStringLiteral("Walls"), 2);
        FixtureElement(0, QStringLiteral("Brick"), second);
        frmEleDef* f = openElements();
        f->lstEleCat->setCurrentRow(1);
        f->cmdRemoveCat->click();
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("Elements of this category exist.  Remove those elements "
                                                             "before attempting to remove this category."));
        QCOMPARE(CountRows(QStringLiteral("ElementCategory")), 2);
        f->lstEleCat->setCurrentRow(0);
        f->cmdRemoveCat->click();
        QCOMPARE(Rows(QStringLiteral("SELECT EleCategoryID FROM ElementCategory")), QStringList{QString::number(second)});
        Q_UNUSED(first);
    }

    void dragSetsTheOrderWrittenOnClose()
    {
        for (const char* name : {"Walls", "Floors", "Drains", "Roof"})
            addCategory(QLatin1String(name), CountRows(QStringLiteral("ElementCategory")) * 2 + 5);
        frmEleDef* f = openElements();
        QListWidget* list = f->lstEleCat;
        QVERIFY(QTest::qWaitForWindowExposed(f));

        // Walls, pressed and carried past two entries; the combo keeps its order.
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, centre(list, 0));
        QTest::mouseMove(list->viewport(), centre(list, 1));
        QTest::mouseMove(list->viewport(), centre(list, 2));
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, centre(list, 2));
        QCOMPARE(entries(list).join(QLatin1Char(' ')).remove(QRegularExpression(QStringLiteral("=\\d+"))),
                 QStringLiteral("Floors Drains Walls Roof"));
        QCOMPARE(list->currentItem()->text(), QStringLiteral("Walls"));
        QCOMPARE(f->cboEleCat->itemText(0), QStringLiteral("Walls"));
        // Moving without a held button carries nothing.
        QTest::mouseMove(list->viewport(), centre(list, 0));
        QCOMPARE(list->item(2)->text(), QStringLiteral("Walls"));

        // Each moved category takes the sort value its new place had; Roof kept its place.
        QVERIFY(f->Unload());
        QCOMPARE(Rows(QStringLiteral("SELECT EleCategoryName, EleCategorySort FROM ElementCategory ORDER BY EleCategorySort")),
                 (QStringList{"Floors|5", "Drains|7", "Walls|9", "Roof|11"}));

        // Opened and closed again without a drag: the order is as stored, nothing is written.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        WriteCount writes;
        QVERIFY(openElements()->Unload());
        QCOMPARE(writes.rows(), 0);
        // One entry dragged one place: the two that changed places are written, no other.
        frmEleDef* g = openElements();
        QVERIFY(QTest::qWaitForWindowExposed(g));
        QTest::mousePress(g->lstEleCat->viewport(), Qt::LeftButton, {}, centre(g->lstEleCat, 2));
        QTest::mouseMove(g->lstEleCat->viewport(), centre(g->lstEleCat, 3));
        QTest::mouseRelease(g->lstEleCat->viewport(), Qt::LeftButton, {}, centre(g->lstEleCat, 3));
        writes.restart();
        QVERIFY(g->Unload());
        QCOMPARE(writes.rows(), 2);
        QCOMPARE(categoryOrder(), (QStringList{"Floors", "Drains", "Roof", "Walls"}));
    }

    void aCategoryChangeReloadsTheStoredOrder()
    {
        for (const char* name : {"Walls", "Floors", "Drains"})
            addCategory(QLatin1String(name), CountRows(QStringLiteral("ElementCategory")) + 1);
        frmEleDef* f = openElements();
        f->lstEleCat->setCurrentRow(0);
        f->lstEleCat_MouseDown();
        f->lstEleCat->setCurrentRow(2);
        f->lstEleCat_MouseMove();
        f->lstEleCat_MouseUp();
        QCOMPARE(f->lstEleCat->item(2)->text(), QStringLiteral("Walls"));
        // Adding a category before closing drops the dragged order.
        f->txtEleCatName->setText(QStringLiteral("Roof"));
        f->cmdAddCat->click();
        QCOMPARE(f->lstEleCat->item(0)->text(), QStringLiteral("Walls"));
        QVERIFY(f->Unload());
        QCOMPARE(categoryOrder(), (QStringList{"Walls", "Floors", "Drains", "Roof"}));
    }

    // Only the element editor shows the order: an expenditure editor closing later does
    // not put back the order it read when it opened.
    void expenditureEditorLeavesTheOrderAlone()
    {
        for (const char* name : {"Walls", "Floors"})
            addCategory(QLatin1String(name), CountRows(QStringLiteral("ElementCategory")) + 1);
        frmEleDef* exp = openExpCats();
        frmEleDef* ele = openElements();
        QVERIFY(FormIsOpen(kElementCaption, true));
        QVERIFY(FormIsOpen(kExpCaption, true));
        ele->lstEleCat->setCurrentRow(1);
        ele->lstEleCat_MouseDown();
        ele->lstEleCat->setCurrentRow(0);
        ele->lstEleCat_MouseMove();
        ele->lstEleCat_MouseUp();
        QVERIFY(ele->Unload());
        QCOMPARE(categoryOrder(), (QStringList{"Floors", "Walls"}));
        QVERIFY(exp->Unload());
        QCOMPARE(categoryOrder(), (QStringList{"Floors", "Walls"}));
    }

    // Another program changes the element between the window reading it and Update: only the
    // column typed into is written, a value both changed is asked about, a removal is told.
    void updatesWriteOnlyWhatChanged_data()
    {
        QTest::addColumn<QString>("theirs");  // the other program's statement; ? stands for Floors' key
        QTest::addColumn<QString>("edit");    // name or category
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("stored");  // name|category name
        QTest::addColumn<QString>("shown");       // the name box afterwards
        const QString rename = QStringLiteral("UPDATE AvailableElements SET ElementName = 'Grout' WHERE ElementID = 1");
        const QString moved = QStringLiteral("UPDATE AvailableElements SET ElementCategory = ? WHERE ElementID = 1");
        const QString asked = changedText(QStringLiteral("The name of the element Mortar"), QStringLiteral("\"Grout\""),
                                          QStringLiteral("\"Lime mortar\""));
        const int none = int(MsgAnswer::Default);
        QTest::newRow("we rename, they move it") << moved << "name" << none << QStringList()
                                                 << QStringList{"Lime mortar|Floors"} << "Lime mortar";
        QTest::newRow("we move it, they rename") << rename << "category" << none << QStringList()
                                                 << QStringList{"Grout|Floors"} << "Grout";
        QTest::newRow("both rename, yes") << rename << "name" << int(MsgAnswer::Yes) << QStringList{asked}
                                          << QStringList{"Lime mortar|Walls"} << "Lime mortar";
        QTest::newRow("both rename, no") << rename << "name" << int(MsgAnswer::No) << QStringList{asked}
                                         << QStringList{"Grout|Walls"} << "Grout";
        QTest::newRow("both rename, cancel") << rename << "name" << int(MsgAnswer::Cancel) << QStringList{asked}
                                             << QStringList{"Grout|Walls"} << "Lime mortar";
        QTest::newRow("element removed")
            << "DELETE FROM AvailableElements WHERE ElementID = 1" << "name" << none
            << QStringList{removedText(QStringLiteral("The element Mortar"))} << QStringList() << "Lime mortar";
        QTest::newRow("new category removed")
            << "DELETE FROM ElementCategory WHERE EleCategoryID = ?" << "category" << none
            << QStringList{removedText(QStringLiteral("The element category Floors"))} << QStringList{"Mortar|Walls"}
            << "Mortar";
    }
    void updatesWriteOnlyWhatChanged()
    {
        QFETCH(QString, theirs);
        QFETCH(QString, edit);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, stored);
        QFETCH(QString, shown);
        const qint32 walls = addCategory(QStringLiteral("Walls"), 1);
        const qint32 floors = addCategory(QStringLiteral("Floors"), 2);
        FixtureElement(1, QStringLiteral("Mortar"), walls);
        frmEleDef* f = openElements();
        select(f->lstEle, QStringLiteral("Mortar"));
        QCOMPARE(RunSqliteShell(m_install->dbPath(), theirs.replace(QLatin1Char('?'), QString::number(floors))), QString());
        if (edit == QLatin1String("name"))
            f->txtName->setText(QStringLiteral("Lime mortar"));
        else
            f->cboEleCat->setCurrentIndex(f->cboEleCat->findText(QStringLiteral("Floors")));
        if (answer != int(MsgAnswer::Default))
            m_prompt->answer(MsgAnswer(answer));
        f->cmdUpdate->click();
        QCOMPARE(m_prompt->messages(), messages);
        QCOMPARE(Rows(QStringLiteral("SELECT e.ElementName, c.EleCategoryName FROM AvailableElements e "
                                     "JOIN ElementCategory c ON c.EleCategoryID = e.ElementCategory")),
                 stored);
        QCOMPARE(f->txtName->text(), shown);
        // The list shows the element as stored, and no element that is gone.
        QStringList listed;
        for (const QString& row : stored)
            listed << row.section(QLatin1Char('|'), 0, 0) + QStringLiteral("=1");
        if (answer == int(MsgAnswer::Cancel))
            listed = QStringList{"Mortar=1"};
        QCOMPARE(entries(f->lstEle), listed);
    }

    // An element name stored otherwise than the name box shows it (line ends, a no-break space,
    // trailing blanks): Update with the name untouched writes no name and asks nothing, nor
    // overwrites another user's rename meanwhile; a category changed beside it is written.
    void anUntouchedNameIsNotWritten_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("theirs");  // another program renames it to Grout meanwhile
        QTest::addColumn<bool>("move");    // this user moves it to Floors
        const QStringList names{QStringLiteral("Mor\r\ntar"), QStringLiteral("Mor\u00A0tar"), QStringLiteral("Mortar  ")};
        const QStringList tags{"line ends", "no-break space", "trailing blanks"};
        for (int i = 0; i < names.size(); ++i)
            for (const bool theirs : {false, true})
                for (const bool move : {false, true})
                    QTest::newRow(qPrintable(tags[i] + (theirs ? ", theirs" : "") + (move ? ", moved" : "")))
                        << names[i] << theirs << move;
    }
    void anUntouchedNameIsNotWritten()
    {
        QFETCH(QString, name);
        QFETCH(bool, theirs);
        QFETCH(bool, move);
        const qint32 walls = addCategory(QStringLiteral("Walls"), 1);
        addCategory(QStringLiteral("Floors"), 2);
        FixtureElement(1, name, walls);
        frmEleDef* f = openElements();
        f->lstEle->setCurrentRow(0);
        if (theirs)
            QCOMPARE(RunSqliteShell(m_install->dbPath(),
                                    QStringLiteral("UPDATE AvailableElements SET ElementName = 'Grout' WHERE ElementID = 1")),
                     QString());
        const qint64 changes = gConn.scalar(QStringLiteral("SELECT total_changes()")).toLongLong();
        if (move)
            f->cboEleCat->setCurrentIndex(f->cboEleCat->findText(QStringLiteral("Floors")));
        f->cmdUpdate->click();
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT ElementName FROM AvailableElements WHERE ElementID = 1")).toString(),
                 theirs ? QStringLiteral("Grout") : name);
        QCOMPARE(Rows(QStringLiteral("SELECT c.EleCategoryName FROM AvailableElements e "
                                     "JOIN ElementCategory c ON c.EleCategoryID = e.ElementCategory")),
                 QStringList{move ? QStringLiteral("Floors") : QStringLiteral("Walls")});
        if (!move)
            QCOMPARE(gConn.scalar(QStringLiteral("SELECT total_changes()")).toLongLong(), changes);
    }

    // A category rename, and an expenditure category rename, checked against the stored name.
    void renamesOfCategoriesAskOrTell_data()
    {
        QTest::addColumn<bool>("expenditure");
        QTest::addColumn<bool>("removed");  // else renamed to "Theirs"
        QTest::addColumn<QStringList>("names");
        QTest::newRow("element category renamed") << false << false << QStringList{"Theirs"};
        QTest::newRow("element category removed") << false << true << QStringList();
        QTest::newRow("expenditure category renamed") << true << false << QStringList{"Theirs"};
        QTest::newRow("expenditure category removed") << true << true << QStringList();
    }
    void renamesOfCategoriesAskOrTell()
    {
        QFETCH(bool, expenditure);
        QFETCH(bool, removed);
        QFETCH(QStringList, names);
        const QString table = expenditure ? QStringLiteral("ExpenditureCats") : QStringLiteral("ElementCategory");
        const QString nameColumn = expenditure ? QStringLiteral("Category") : QStringLiteral("EleCategoryName");
        const qint32 id = expenditure ? addExpCat(QStringLiteral("Repairs")) : addCategory(QStringLiteral("Repairs"), 1);
        frmEleDef* f = expenditure ? openExpCats() : openElements();
        QListWidget* list = expenditure ? f->lstEle : f->lstEleCat;
        QLineEdit* box = expenditure ? f->txtName : f->txtEleCatName;
        select(list, QStringLiteral("Repairs"));
        const QString idColumn = expenditure ? QStringLiteral("CategoryID") : QStringLiteral("EleCategoryID");
        QCOMPARE(RunSqliteShell(m_install->dbPath(),
                                removed ? QStringLiteral("DELETE FROM %1 WHERE %2 = %3").arg(table, idColumn).arg(id)
                                        : QStringLiteral("UPDATE %1 SET %2 = 'Theirs'").arg(table, nameColumn)),
                 QString());
        box->setText(QStringLiteral("Mine"));
        if (!expenditure)
            m_prompt->answer(MsgAnswer::Yes);  // the rename question of an element category
        m_prompt->answer(MsgAnswer::No);       // keep theirs
        (expenditure ? f->cmdUpdate : f->cmdUpdateCat)->click();
        const QString what = expenditure ? QStringLiteral("The expenditure category Repairs")
                                         : QStringLiteral("The element category Repairs");
        QCOMPARE(m_prompt->messages().last(),
                 removed ? removedText(what)
                         : changedText(QStringLiteral("The name of the ") + what.mid(4), QStringLiteral("\"Theirs\""),
                                       QStringLiteral("\"Mine\"")));
        QCOMPARE(Rows(QStringLiteral("SELECT %1 FROM %2").arg(nameColumn, table)), names);
        // The list shows what is stored; a name not saved stays typed.
        QStringList listed;
        for (int i = 0; i < list->count(); ++i)
            listed << list->item(i)->text();
        QCOMPARE(listed, names);
        QCOMPARE(box->text(), removed ? QStringLiteral("Mine") : QStringLiteral("Theirs"));
    }

    // One window removes a category while another adds an element into it: refused, told, and
    // no element is left in a category that is gone.
    void addingIntoACategoryRemovedMeanwhileIsRefused()
    {
        addCategory(QStringLiteral("Walls"), 1);
        addCategory(QStringLiteral("Floors"), 2);
        frmEleDef* adding = openElements();
        frmEleDef* removing = openElements();
        select(removing->lstEleCat, QStringLiteral("Floors"));
        removing->cmdRemoveCat->click();
        QVERIFY(removing->Unload());
        adding->cboEleCat->setCurrentIndex(adding->cboEleCat->findText(QStringLiteral("Floors")));
        adding->txtName->setText(QStringLiteral("Grout"));
        m_prompt->calls.clear();
        adding->cmdAdd->click();
        QCOMPARE(m_prompt->messages(), QStringList{removedText(QStringLiteral("The element category Floors"))});
        QCOMPARE(CountRows(QStringLiteral("AvailableElements")), 0);
        QCOMPARE(entries(adding->lstEleCat).size(), 1);
        QCOMPARE(adding->cboEleCat->count(), 1);
        QCOMPARE(adding->txtName->text(), QStringLiteral("Grout"));
        // Into a category still there it goes in.
        adding->cboEleCat->setCurrentIndex(0);
        adding->cmdAdd->click();
        QCOMPARE(Rows(QStringLiteral("SELECT ElementName FROM AvailableElements")), QStringList{"Grout"});
    }

    // The order written on close: only the categories this window moved, checked against their
    // stored place. Walls is dragged below Floors while the other program writes.
    void theOrderWritesOnlyTheMovedCategories_data()
    {
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("order");
        QTest::addColumn<bool>("open");
        const QString asked = changedText(QStringLiteral("The place of the element category Walls"), QStringLiteral("4"),
                                          QStringLiteral("2"));
        const QString moveWalls = QStringLiteral("UPDATE ElementCategory SET EleCategorySort = 10 WHERE EleCategoryName = 'Walls'");
        const int none = int(MsgAnswer::Default);
        QTest::newRow("their reorder of others stays")
            << "UPDATE ElementCategory SET EleCategorySort = 7 - EleCategorySort WHERE EleCategorySort > 2" << none
            << QStringList() << "Floors Walls Roof Drains" << false;
        QTest::newRow("both moved walls, yes") << moveWalls << int(MsgAnswer::Yes) << QStringList{asked}
                                               << "Floors Walls Drains Roof" << false;
        QTest::newRow("both moved walls, no") << moveWalls << int(MsgAnswer::No) << QStringList{asked}
                                              << "Floors Drains Roof Walls" << false;
        QTest::newRow("both moved walls, cancel") << moveWalls << int(MsgAnswer::Cancel) << QStringList{asked}
                                                  << "Floors Drains Roof Walls" << true;
        QTest::newRow("walls removed") << "DELETE FROM ElementCategory WHERE EleCategoryName = 'Walls'" << none
                                       << QStringList{removedText(QStringLiteral("The element category Walls"))}
                                       << "Floors Drains Roof" << false;
    }
    void theOrderWritesOnlyTheMovedCategories()
    {
        QFETCH(QString, theirs);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(QString, order);
        QFETCH(bool, open);
        for (const char* name : {"Walls", "Floors", "Drains", "Roof"})
            addCategory(QLatin1String(name), CountRows(QStringLiteral("ElementCategory")) + 1);
        QPointer<frmEleDef> f = openElements();
        drag(f, 0, 1);
        QCOMPARE(RunSqliteShell(m_install->dbPath(), theirs), QString());
        if (answer != int(MsgAnswer::Default))
            m_prompt->answer(MsgAnswer(answer));
        QCOMPARE(f->close(), !open);
        QCOMPARE(m_prompt->messages(), messages);
        QCOMPARE(categoryOrder().join(QLatin1Char(' ')), order);
        if (open)
            QCOMPARE(f->lstEleCat->item(1)->text(), QStringLiteral("Walls"));  // still as dragged
    }

    // Rows saved while the removal's questions are open are not deleted unasked: their
    // question comes before anything goes.
    void removalAsksAboutRowsSavedDuringItsQuestions_data()
    {
        QTest::addColumn<bool>("expenditure");
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<QString>("question");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("kept");  // a table that keeps its row, "" when all went
        const QString ratings = QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (1, 1, 4, 5)");
        const QString ratingsAsked = QStringLiteral("Ratings data exists for this element.  Removing this element will "
                                                    "remove all ratings associated with the element.  \nAre you sure "
                                                    "you want to delete it?");
        QTest::newRow("rating, no") << false << ratings << ratingsAsked << int(MsgAnswer::No) << "Ratings";
        QTest::newRow("rating, yes") << false << ratings << ratingsAsked << int(MsgAnswer::Yes) << "";
        QTest::newRow("picture, no")
            << false << "INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, InspectionID) VALUES (1, 4, 'p.jpg', 1)"
            << "Field sketches and photographs exist for this element.  Are you sure you want to delete the element?"
            << int(MsgAnswer::No) << "ImagePaths";
        QTest::newRow("expenditure, no")
            << true << "INSERT INTO Expenditures (TunnelID, Cost, CategoryID) VALUES (1, 10, 4)"
            << "Expenditure data exists for this element.  Removing this element will remove all expenditures "
               "associated with the element.  \nAre you sure you want to delete it?"
            << int(MsgAnswer::No) << "Expenditures";
    }
    void removalAsksAboutRowsSavedDuringItsQuestions()
    {
        QFETCH(bool, expenditure);
        QFETCH(QString, theirs);
        QFETCH(QString, question);
        QFETCH(int, answer);
        QFETCH(QString, kept);
        if (expenditure) {
            gConn.exec(QStringLiteral("INSERT INTO ExpenditureCats (CategoryID, Category) VALUES (4, 'Repairs')"));
        } else {
            FixtureElement(4, QStringLiteral("Brick"), addCategory(QStringLiteral("Walls"), 1));
            gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (1, 4)"));
        }
        frmEleDef* f = expenditure ? openExpCats() : openElements();
        const QString sure = QStringLiteral("Are you sure you want to delete this item?");
        m_prompt->handler = [&](const PromptCall& call) {
            if (call.text == sure) {
                const QString err = RunSqliteShell(m_install->dbPath(), theirs);
                if (!err.isEmpty())
                    qWarning("%s", qPrintable(err));
                return QVariant::fromValue(int(MsgAnswer::Yes));
            }
            return QVariant::fromValue(answer);
        };
        f->cmdRemove->click();
        QCOMPARE(m_prompt->messages(), (QStringList{sure, question}));
        const QString table = expenditure ? QStringLiteral("ExpenditureCats") : QStringLiteral("AvailableElements");
        QCOMPARE(CountRows(table), kept.isEmpty() ? 0 : 1);
        if (kept.isEmpty()) {
            for (const char* dependent : {"Ratings", "ImagePaths", "Expenditures", "PanelElements"})
                QCOMPARE(CountRows(QLatin1String(dependent)), 0);
        } else {
            QCOMPARE(CountRows(kept), 1);
        }
        QCOMPARE(f->lstEle->count(), kept.isEmpty() ? 0 : 1);
    }

    void keepsItsPlacement()
    {
        frmEleDef* f = openExpCats();
        f->move(120, 90);
        f->resize(f->width(), 400);
        const QPoint pos = f->pos();
        QVERIFY(f->Unload());
        frmEleDef* g = openExpCats();
        QCOMPARE(g->pos(), pos);
        QCOMPARE(g->height(), 400);
        QCOMPARE(g->width(), TwipsToPixels(4290));
    }

    void modalForAnOpenerThatWaits()
    {
        addExpCat(QStringLiteral("Repairs"));
        QPointer<frmEleDef> f = openExpCats();
        f->hide();
        bool wasModal = false;
        QTimer::singleShot(0, f, [&] {
            wasModal = f->isModal() && f->isVisible();
            f->txtName->setText(QStringLiteral("Labour"));
            f->cmdAdd->click();
            f->cmdClose->click();
        });
        f->exec();
        QVERIFY(wasModal);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmEleDef")));
        QCOMPARE(Rows(QStringLiteral("SELECT Category FROM ExpenditureCats ORDER BY CategoryID")),
                 (QStringList{"Repairs", "Labour"}));
    }

    void logoShowsTheAboutBox()
    {
        frmEleDef* f = openElements();
        QStringList shown;
        for (ClickLabel* l : {f->Image1, f->Label2}) {
            QTimer::singleShot(0, [&] {
                for (QWidget* w : LoadedForms())
                    if (w->objectName() == QStringLiteral("frmAbout")) {
                        shown << (w->isModal() ? "modal" : "modeless");
                        UnloadForm(w);
                    }
            });
            emit l->clicked();
        }
        QCOMPARE(shown, (QStringList{"modal", "modal"}));
    }

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
};

QTEST_MAIN(TestEleDef)
#include "tst_eledef.moc"
