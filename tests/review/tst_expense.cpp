// The expenditures window: the list and its sorting, the editor and its modes, the
// questions and refusals, the category editor and the report.
#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmEleDef.h"
#include "frmExpense.h"
#include "frmExpense_controls.h"
#include "globals.h"
#include "helpers.h"
#include "entryways.h"
#include "otherprogram.h"
#include "scriptedprompt.h"
#include "settings.h"
#include "testinstall.h"

#include <QApplication>
#include <QClipboard>
#include <QScopeGuard>
#include <QDateEdit>
#include <QGuiApplication>
#include <QDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

namespace {

QStringList gReportCalls;

// Stands in for the report window.
class FakeReport : public KrvForm<QDialog> {
    Q_OBJECT
public:
    FakeReport() : KrvForm<QDialog>(QStringLiteral("frmReport")) {}
    Q_INVOKABLE QString GetFormType(QString& kind)
    {
        gReportCalls << QStringLiteral("GetFormType(%1)").arg(kind);
        return QString();
    }
    int exec() override
    {
        gReportCalls << QStringLiteral("exec");
        Unload();
        return 0;
    }
};

qint32 addCategory(const QString& name)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("ExpenditureCats"), {{QStringLiteral("Category"), name}}));
}

qint32 addExpense(qint32 tunnel, qint32 category, const QDate& date, double cost, const QString& comments)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("Expenditures"),
                                         {{QStringLiteral("TunnelID"), tunnel},
                                          {QStringLiteral("CategoryID"), category},
                                          {QStringLiteral("Date"), date},
                                          {QStringLiteral("Cost"), cost},
                                          {QStringLiteral("Comments"), comments}}));
}

// Each row as "key|category|date|cost|tunnel|comments".
QStringList rows(const QTreeWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* it = list->topLevelItem(i);
        QStringList parts{it->data(0, Qt::UserRole).toString()};
        for (int c = 0; c < 5; ++c)
            parts << it->text(c);
        out << parts.join(QLatin1Char('|'));
    }
    return out;
}

QStringList column(const QTreeWidget* list, int c)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(c);
    return out;
}

QString d(int y, int m, int day) { return ShortDateText(QDate(y, m, day)); }

void clickRow(frmExpense* w, int row)
{
    QTreeWidgetItem* item = w->lvExp->topLevelItem(row);
    QVERIFY(item);
    QTest::mouseClick(w->lvExp->viewport(), Qt::LeftButton, {}, w->lvExp->visualItemRect(item).center());
}

void clickHeader(frmExpense* w, int column)
{
    QHeaderView* h = w->lvExp->header();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(column - 1) + 5, h->height() / 2));
}

void click(QPushButton* b)
{
    QVERIFY2(b->isVisible() && b->isEnabled(), qPrintable(b->objectName()));
    QTest::mouseClick(b, Qt::LeftButton);
}

// The listed row of the expenditure as "cost|tunnel|comments", "" when it is not listed.
QString listed(const frmExpense* w, qint32 expId)
{
    for (int i = 0; i < w->lvExp->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* it = w->lvExp->topLevelItem(i);
        if (it->data(0, Qt::UserRole).toString() == QStringLiteral("x%1").arg(expId))
            return QStringList{it->text(2), it->text(3), it->text(4)}.join(QLatin1Char('|'));
    }
    return QString();
}

// The stored expenditure as "cost|comments|tunnel|category" ("-" for a gone one), "" when none.
QString storedExpense(qint32 expId)
{
    return Rows(QStringLiteral("SELECT e.Cost, e.Comments, coalesce(t.TunnelName, '-'), coalesce(c.Category, '-') "
                               "FROM Expenditures e LEFT JOIN Tunnels t ON t.TunnelID = e.TunnelID "
                               "LEFT JOIN ExpenditureCats c ON c.CategoryID = e.CategoryID WHERE e.ExpID = ?"),
                {expId})
        .value(0);
}

QString removedText(const QString& what)
{
    return what + QStringLiteral(" was removed by another user; nothing was saved for it.");
}

// A box looks read-only when its face is the window's, not the white of one that takes typing.
bool looksReadOnly(const QWidget* box)
{
    return box->palette().color(QPalette::Base) == box->palette().color(QPalette::Window) &&
           box->palette().color(QPalette::Base) != QApplication::palette(box).color(QPalette::Base);
}

bool inEditMode(const frmExpense* w)
{
    return !w->txtCost->isReadOnly() && !w->txtComments->isReadOnly() && !w->cboTunnel->locked() &&
           !w->cboCategory->locked() && w->dtp->isEnabled() && !w->lvExp->isEnabled() &&
           !looksReadOnly(w->txtCost) && !looksReadOnly(w->txtComments);
}

// The detail fields show no expenditure.
bool fieldsBlank(const frmExpense* w)
{
    return w->txtCost->text().isEmpty() && w->txtComments->toPlainText().isEmpty() &&
           w->cboTunnel->currentIndex() < 0 && w->cboCategory->currentIndex() < 0;
}

bool inViewMode(const frmExpense* w)
{
    return w->txtCost->isReadOnly() && w->txtComments->isReadOnly() && w->cboTunnel->locked() &&
           w->cboCategory->locked() && !w->dtp->isEnabled() && w->lvExp->isEnabled() && looksReadOnly(w->txtCost) &&
           looksReadOnly(w->txtComments);
}

}  // namespace

class TestExpense : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 m_alder = 0, m_birch = 0, m_cedar = 0, m_elsewhere = 0;
    qint32 m_lighting = 0, m_drainage = 0, m_structural = 0;
    qint32 e1 = 0, e2 = 0, e3 = 0, e6 = 0, eOther = 0;

    QString key(qint32 id) const { return QStringLiteral("x%1").arg(id); }

    frmExpense* open()
    {
        auto* w = new frmExpense;
        w->show();
        if (!QTest::qWaitForWindowExposed(w))
            qWarning("window not exposed");
        return w;
    }

private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        gReportCalls.clear();
        gIsWizard = true;
        gIsDataEntry = true;
        RegisterFormFactory(QStringLiteral("frmReport"), {});

        FixtureSystem();
        m_cedar = FixtureTunnel(QStringLiteral("Cedar"));
        m_alder = FixtureTunnel(QStringLiteral("Alder"));
        m_birch = FixtureTunnel(QStringLiteral("birch"));
        m_lighting = addCategory(QStringLiteral("Lighting"));
        m_structural = addCategory(QStringLiteral("Structural"));
        m_drainage = addCategory(QStringLiteral("drainage"));
        e1 = addExpense(m_alder, m_lighting, QDate(2024, 3, 5), 1234.5, QStringLiteral("Lamps replaced"));
        e2 = addExpense(m_birch, m_drainage, QDate(2023, 11, 20), 0.25, QStringLiteral("grate"));
        e3 = addExpense(m_cedar, m_structural, QDate(2025, 1, 10), 560, QStringLiteral("Crack repair"));
        e6 = addExpense(m_cedar, m_lighting, QDate(2022, 6, 1), 99, QStringLiteral("annual check"));
        // Neither listed: the tunnel and the category are gone.
        addExpense(9999, m_lighting, QDate(2021, 1, 1), 10, QStringLiteral("no tunnel"));
        addExpense(m_alder, 9999, QDate(2021, 1, 2), 11, QStringLiteral("no category"));
    }

    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
        RegisterFormFactory(QStringLiteral("frmReport"), {});
        m_prompt.reset();
        m_install.reset();
    }

    void load_listsEveryExpenditureByDateAndShowsTheFirst()
    {
        frmExpense* w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("Expenditures"));
        QCOMPARE(rows(w->lvExp),
                 (QStringList{key(e6) + "|Lighting|" + d(2022, 6, 1) + "|99.00|Cedar|annual check",
                              key(e2) + "|drainage|" + d(2023, 11, 20) + "|.25|birch|grate",
                              key(e1) + "|Lighting|" + d(2024, 3, 5) + "|1234.50|Alder|Lamps replaced",
                              key(e3) + "|Structural|" + d(2025, 1, 10) + "|560.00|Cedar|Crack repair"}));
        QStringList tunnels, categories;
        for (int i = 0; i < w->cboTunnel->count(); ++i)
            tunnels << w->cboTunnel->itemText(i) + "=" + w->cboTunnel->itemData(i).toString();
        for (int i = 0; i < w->cboCategory->count(); ++i)
            categories << w->cboCategory->itemText(i) + "=" + w->cboCategory->itemData(i).toString();
        QCOMPARE(tunnels, (QStringList{"Alder=" + QString::number(m_alder), "birch=" + QString::number(m_birch),
                                       "Cedar=" + QString::number(m_cedar)}));
        QCOMPARE(categories,
                 (QStringList{"drainage=" + QString::number(m_drainage), "Lighting=" + QString::number(m_lighting),
                              "Structural=" + QString::number(m_structural)}));

        // The first row is selected and in the editor.
        QCOMPARE(w->lvExp->selectedItems().value(0), w->lvExp->topLevelItem(0));
        QCOMPARE(w->cboCategory->currentText(), QStringLiteral("Lighting"));
        QCOMPARE(w->dtp->date(), QDate(2022, 6, 1));
        QCOMPARE(w->txtCost->text(), QStringLiteral("99.00"));
        QCOMPARE(w->cboTunnel->currentText(), QStringLiteral("Cedar"));
        QCOMPARE(w->txtComments->toPlainText(), QStringLiteral("annual check"));
        QVERIFY(w->cmdDelete->isEnabled());
        QVERIFY(inViewMode(w));
        QVERIFY(w->cmdNew->isVisible() && w->cmdEdit->isVisible() && !w->cmdSave->isVisible() &&
                !w->cmdCancel->isVisible());
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void load_noExpenditures()
    {
        gConn.exec(QStringLiteral("DELETE FROM Expenditures"));
        frmExpense* w = open();
        QCOMPARE(w->lvExp->topLevelItemCount(), 0);
        QCOMPARE(w->cboTunnel->currentIndex(), -1);
        QCOMPARE(w->cboCategory->currentIndex(), -1);
        QVERIFY(w->txtCost->text().isEmpty());
        QVERIFY(w->txtComments->toPlainText().isEmpty());
        QVERIFY(!w->cmdDelete->isEnabled());
        click(w->cmdEdit);
        QCOMPARE(m_prompt->calls.size(), 1);
        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Please select an expenditure from the list."));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Edit Expenditure"));
        QVERIFY(inViewMode(w));

        // The first one added is selected without running the row selection: Delete stays
        // disabled until the row is clicked.
        click(w->cmdNew);
        w->cboTunnel->setCurrentIndex(0);
        w->cboCategory->setCurrentIndex(0);
        QTest::keyClicks(w->txtCost, QStringLiteral("12.5"));
        click(w->cmdSave);
        QCOMPARE(w->lvExp->topLevelItemCount(), 1);
        QCOMPARE(w->lvExp->topLevelItem(0)->text(2), QStringLiteral("12.50"));
        QVERIFY(w->lvExp->topLevelItem(0)->isSelected());
        QVERIFY(!w->cmdDelete->isEnabled());
        clickRow(w, 0);
        QVERIFY(w->cmdDelete->isEnabled());
    }

    void rights_data()
    {
        QTest::addColumn<bool>("wizard");
        QTest::addColumn<bool>("dataEntry");
        QTest::newRow("viewer") << false << false;
        QTest::newRow("wizard only") << true << false;
        QTest::newRow("data entry only") << false << true;
        QTest::newRow("both") << true << true;
    }
    void rights()
    {
        QFETCH(bool, wizard);
        QFETCH(bool, dataEntry);
        gIsWizard = wizard;
        gIsDataEntry = dataEntry;
        frmExpense* w = open();
        QCOMPARE(w->cmdCategories->isVisible(), wizard);
        QCOMPARE(w->cmdNew->isVisible(), dataEntry);
        QCOMPARE(w->cmdEdit->isVisible(), dataEntry);
        QCOMPARE(w->cmdDelete->isVisible(), dataEntry);
        QVERIFY(!w->cmdSave->isVisible() && !w->cmdCancel->isVisible());
        QVERIFY(w->cmdReport->isVisible() && w->cmdClose->isVisible());
        QVERIFY(inViewMode(w));
    }

    void newAndSave_appendsTheStoredExpenditure()
    {
        frmExpense* w = open();
        clickRow(w, 2);
        QVERIFY(w->cmdDelete->isEnabled());
        click(w->cmdNew);
        QVERIFY(w->IsNewExpenditure);
        QVERIFY(inEditMode(w));
        QVERIFY(w->cmdSave->isVisible() && w->cmdCancel->isVisible() && !w->cmdNew->isVisible() &&
                !w->cmdEdit->isVisible() && !w->cmdDelete->isVisible() && !w->cmdCategories->isEnabled());
        QVERIFY(w->txtCost->text().isEmpty() && w->txtComments->toPlainText().isEmpty());
        QCOMPARE(w->cboTunnel->currentIndex(), -1);
        QCOMPARE(w->cboCategory->currentIndex(), -1);
        QCOMPARE(w->dtp->date(), QDate::currentDate());

        const QStringList before = rows(w->lvExp);
        w->dtp->setDate(QDate(2020, 2, 29));  // older than every listed one
        w->cboTunnel->setCurrentIndex(w->cboTunnel->findText(QStringLiteral("birch")));
        w->cboCategory->setCurrentIndex(w->cboCategory->findText(QStringLiteral("Structural")));
        QTest::keyClicks(w->txtCost, QStringLiteral("5$"));
        QTest::keyClicks(w->txtComments, QStringLiteral("O'Brien's crew"));
        click(w->cmdSave);

        QVERIFY(m_prompt->calls.isEmpty());
        const QStringList stored = Rows(QStringLiteral("SELECT ExpID, TunnelID, CategoryID, Cost, [Date], Comments "
                                                       "FROM Expenditures WHERE Comments = ?"),
                                        {QStringLiteral("O'Brien's crew")});
        QCOMPARE(stored.size(), 1);
        const QString newId = stored[0].section(QLatin1Char('|'), 0, 0);
        QCOMPARE(stored[0], newId + "|" + QString::number(m_birch) + "|" + QString::number(m_structural) +
                                "|5|2020-02-29|O'Brien's crew");
        // At the end whatever its date, showing the cost as stored, and selected.
        QCOMPARE(rows(w->lvExp), before + QStringList{"x" + newId + "|Structural|" + d(2020, 2, 29) +
                                                      "|5.00|birch|O'Brien's crew"});
        QCOMPARE(w->lvExp->selectedItems().value(0), w->lvExp->topLevelItem(4));
        QVERIFY(inViewMode(w));
        QVERIFY(w->cmdNew->isVisible() && !w->cmdSave->isVisible());
    }

    void validation_data()
    {
        QTest::addColumn<QString>("tunnel");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("cost");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("no tunnel") << "" << "" << "" << "Please select a tunnel";
        QTest::newRow("no category") << "Alder" << "" << "12" << "Please select a category";
        QTest::newRow("empty cost") << "Alder" << "Lighting" << "" << "Please enter a valid cost value.";
        QTest::newRow("zero cost") << "Alder" << "Lighting" << "0.00" << "Please enter a valid cost value.";
        QTest::newRow("dollar first") << "Alder" << "Lighting" << "$12" << "Please enter a valid cost value.";
    }
    void validation()
    {
        QFETCH(QString, tunnel);
        QFETCH(QString, category);
        QFETCH(QString, cost);
        QFETCH(QString, refusal);
        frmExpense* w = open();
        click(w->cmdNew);
        w->cboTunnel->setCurrentIndex(w->cboTunnel->findText(tunnel));
        w->cboCategory->setCurrentIndex(w->cboCategory->findText(category));
        QTest::keyClicks(w->txtCost, cost);
        const int count = CountRows(QStringLiteral("Expenditures"));
        click(w->cmdSave);
        QCOMPARE(m_prompt->calls.size(), 1);
        QCOMPARE(m_prompt->calls[0].text, refusal);
        QCOMPARE(m_prompt->calls[0].title, QString());
        QCOMPARE(m_prompt->calls[0].buttons, MsgButtons::Ok);
        QCOMPARE(CountRows(QStringLiteral("Expenditures")), count);
        QCOMPARE(w->lvExp->topLevelItemCount(), 4);
        QVERIFY(inEditMode(w));
    }

    // A pasted amount is read whole, with the locale's group separators, or refused with
    // the message a bad typed cost gets; the box keeps its text then.
    void pastedCostIsReadWhole_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("stored");  // "" when refused
        QTest::newRow("group separator") << "en_US" << "1,200.50" << "1200.5";
        QTest::newRow("plain") << "en_US" << " 75.25 " << "75.25";
        QTest::newRow("German separators") << "de_DE" << "1.200,50" << "1200.5";
        QTest::newRow("a word") << "en_US" << "twelve" << "";
        QTest::newRow("a dollar sign") << "en_US" << "$1,200" << "";
        QTest::newRow("negative") << "en_US" << "-5" << "";
        QTest::newRow("two points") << "en_US" << "1.2.3" << "";
    }
    void pastedCostIsReadWhole()
    {
        QFETCH(QString, locale);
        QFETCH(QString, pasted);
        QFETCH(QString, stored);
        QLocale::setDefault(QLocale(locale));
        frmExpense* w = open();
        click(w->cmdNew);
        w->cboTunnel->setCurrentIndex(w->cboTunnel->findText(QStringLiteral("Alder")));
        w->cboCategory->setCurrentIndex(w->cboCategory->findText(QStringLiteral("Lighting")));
        QGuiApplication::clipboard()->setText(pasted);
        w->txtCost->setFocus();
        QTest::keyClick(w->txtCost, Qt::Key_V, Qt::ControlModifier);
        QLocale::setDefault(QLocale::c());
        if (stored.isEmpty()) {
            QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Please enter a valid cost value.")});
            QVERIFY(w->txtCost->text().isEmpty());
            return;
        }
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(w->txtCost->text(), stored);
        const int count = CountRows(QStringLiteral("Expenditures"));
        click(w->cmdSave);
        QCOMPARE(CountRows(QStringLiteral("Expenditures"), QStringLiteral("Cost = ?"), {stored.toDouble()}), 1);
        QCOMPARE(CountRows(QStringLiteral("Expenditures")), count + 1);
    }

    // Whichever way a text reaches the cost box (shortcut, the box's own menu, a drop, an
    // insert), it is read whole or refused; "1,200.50" is never stored as 1.
    void costTakesEveryWayInWhole_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("stored");  // "" when refused
        for (const QString& way : EntryWays()) {
            QTest::addRow("%s, group separator", qPrintable(way)) << way << "1,200.50" << "1200.5";
            QTest::addRow("%s, plain", qPrintable(way)) << way << "75.25" << "75.25";
            QTest::addRow("%s, a word", qPrintable(way)) << way << "12 dollars" << "";
        }
    }
    void costTakesEveryWayInWhole()
    {
        QFETCH(QString, way);
        QFETCH(QString, pasted);
        QFETCH(QString, stored);
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
        frmExpense* w = open();
        click(w->cmdNew);
        w->cboTunnel->setCurrentIndex(w->cboTunnel->findText(QStringLiteral("Alder")));
        w->cboCategory->setCurrentIndex(w->cboCategory->findText(QStringLiteral("Lighting")));
        EnterByWay(w->txtCost, way, pasted);
        if (stored.isEmpty()) {
            QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Please enter a valid cost value.")});
            QVERIFY(w->txtCost->text().isEmpty());
            return;
        }
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(w->txtCost->text(), stored);
        const int count = CountRows(QStringLiteral("Expenditures"));
        click(w->cmdSave);
        QCOMPARE(CountRows(QStringLiteral("Expenditures"), QStringLiteral("Cost = ?"), {stored.toDouble()}), 1);
        QCOMPARE(CountRows(QStringLiteral("Expenditures")), count + 1);
    }

    void costBox_takesDigitsAndFivePunctuationCharacters()
    {
        frmExpense* w = open();
        click(w->cmdNew);
        QTest::keyClicks(w->txtCost, QStringLiteral("a1b2#$%'.,x-3 "));
        QCOMPARE(w->txtCost->text(), QStringLiteral("12#$%'.3"));
        QTest::keyClick(w->txtCost, Qt::Key_Backspace);
        QCOMPARE(w->txtCost->text(), QStringLiteral("12#$%'."));
        // Locked in view mode: nothing typed lands.
        click(w->cmdCancel);
        QTest::keyClicks(w->txtCost, QStringLiteral("9"));
        QCOMPARE(w->txtCost->text(), QStringLiteral("12#$%'."));
    }

    void editAndSave_changesTheSelectedExpenditure()
    {
        frmExpense* w = open();
        clickRow(w, 1);  // e2
        QCOMPARE(w->txtComments->toPlainText(), QStringLiteral("grate"));
        click(w->cmdEdit);
        QVERIFY(!w->IsNewExpenditure);
        QVERIFY(inEditMode(w));
        QCOMPARE(w->txtCost->text(), QStringLiteral(".25"));  // kept, not cleared
        w->txtCost->selectAll();
        QTest::keyClicks(w->txtCost, QStringLiteral("99.5"));
        w->cboTunnel->setCurrentIndex(w->cboTunnel->findText(QStringLiteral("Cedar")));
        w->txtComments->setPlainText(QStringLiteral("grate's frame"));
        w->dtp->setDate(QDate(2023, 12, 1));
        click(w->cmdSave);
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(Rows(QStringLiteral("SELECT TunnelID, CategoryID, Cost, [Date], Comments FROM Expenditures "
                                     "WHERE ExpID = ?"),
                      {e2}),
                 QStringList{QString::number(m_cedar) + "|" + QString::number(m_drainage) +
                             "|99.5|2023-12-01|grate's frame"});
        QCOMPARE(rows(w->lvExp).at(1),
                 key(e2) + "|drainage|" + d(2023, 12, 1) + "|99.50|Cedar|grate's frame");
        QCOMPARE(w->lvExp->topLevelItemCount(), 4);
        QVERIFY(inViewMode(w));
    }

    void cancel_leavesEditorAsItIs()
    {
        frmExpense* w = open();
        const QStringList before = rows(w->lvExp);
        click(w->cmdNew);
        click(w->cmdCancel);
        QVERIFY(inViewMode(w));
        QVERIFY(w->txtCost->text().isEmpty() && w->txtComments->toPlainText().isEmpty());
        QCOMPARE(w->cboTunnel->currentIndex(), -1);
        QCOMPARE(rows(w->lvExp), before);

        clickRow(w, 3);
        click(w->cmdEdit);
        w->txtCost->selectAll();
        QTest::keyClicks(w->txtCost, QStringLiteral("1"));
        click(w->cmdCancel);
        QCOMPARE(w->txtCost->text(), QStringLiteral("1"));
        QCOMPARE(rows(w->lvExp), before);
        QCOMPARE(Rows(QStringLiteral("SELECT Cost FROM Expenditures WHERE ExpID = ?"), {e3}), QStringList{"560"});
        // Clicking the row again shows what is stored.
        clickRow(w, 3);
        QCOMPARE(w->txtCost->text(), QStringLiteral("560.00"));
    }

    void delete_asksAndRemoves_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void delete_asksAndRemoves()
    {
        QFETCH(bool, yes);
        frmExpense* w = open();
        clickRow(w, 2);  // e1
        const QStringList before = rows(w->lvExp);
        m_prompt->answer(yes ? MsgAnswer::Yes : MsgAnswer::No);
        click(w->cmdDelete);
        QCOMPARE(m_prompt->calls.size(), 1);
        const PromptCall& q = m_prompt->calls[0];
        QCOMPARE(q.text, QStringLiteral("Are you sure you want to remove the selected expenditure?"));
        QCOMPARE(q.title, QStringLiteral("Delete Expenditure"));
        QCOMPARE(q.buttons, MsgButtons::YesNo);
        QCOMPARE(q.defaultButton, MsgAnswer::Yes);
        if (!yes) {
            QCOMPARE(rows(w->lvExp), before);
            QCOMPARE(CountRows(QStringLiteral("Expenditures"), QStringLiteral("ExpID = ?"), {e1}), 1);
            return;
        }
        QCOMPARE(CountRows(QStringLiteral("Expenditures"), QStringLiteral("ExpID = ?"), {e1}), 0);
        QStringList after = before;
        after.removeAt(2);
        QCOMPARE(rows(w->lvExp), after);
        // The fields no longer show the removed one, and no other row is taken for it.
        QVERIFY(fieldsBlank(w));
        QVERIFY(!w->cmdDelete->isEnabled());
        QVERIFY(w->lvExp->selectedItems().isEmpty());
        click(w->cmdEdit);
        QCOMPARE(m_prompt->messages().mid(1), (QStringList{"Please select an expenditure from the list."}));
        QCOMPARE(m_prompt->calls[1].title, QStringLiteral("Edit Expenditure"));
        QCOMPARE(CountRows(QStringLiteral("Expenditures")), 5);
    }

    void columnSort_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        QTest::newRow("category, case ignored")
            << 1 << QStringList{"drainage", "Lighting", "Lighting", "Structural"}
            << QStringList{"Structural", "Lighting", "Lighting", "drainage"};
        QTest::newRow("date, newest first")
            << 2 << QStringList{d(2025, 1, 10), d(2024, 3, 5), d(2023, 11, 20), d(2022, 6, 1)}
            << QStringList{d(2022, 6, 1), d(2023, 11, 20), d(2024, 3, 5), d(2025, 1, 10)};
        QTest::newRow("cost by value") << 3 << QStringList{".25", "99.00", "560.00", "1234.50"}
                                       << QStringList{"1234.50", "560.00", "99.00", ".25"};
        QTest::newRow("tunnel, case ignored") << 4 << QStringList{"Alder", "birch", "Cedar", "Cedar"}
                                              << QStringList{"Cedar", "Cedar", "birch", "Alder"};
        QTest::newRow("comments") << 5 << QStringList{"annual check", "Crack repair", "grate", "Lamps replaced"}
                                  << QStringList{"Lamps replaced", "grate", "Crack repair", "annual check"};
    }
    void columnSort()
    {
        QFETCH(int, col);
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        frmExpense* w = open();
        QStringList whole = rows(w->lvExp);
        std::sort(whole.begin(), whole.end());
        clickHeader(w, col);
        QCOMPARE(column(w->lvExp, col - 1), first);
        QStringList after = rows(w->lvExp);
        std::sort(after.begin(), after.end());
        QCOMPARE(after, whole);  // rows move whole, keys with them
        clickHeader(w, col);
        QCOMPARE(column(w->lvExp, col - 1), second);
        QVERIFY(m_prompt->calls.isEmpty());
        // The editor follows a sorted row's own key.
        clickRow(w, 0);
        click(w->cmdEdit);
        w->txtComments->setPlainText(QStringLiteral("after sort"));
        click(w->cmdSave);
        const QString firstKey = w->lvExp->topLevelItem(0)->data(0, Qt::UserRole).toString();
        QCOMPARE(Rows(QStringLiteral("SELECT Comments FROM Expenditures WHERE ExpID = ?"), {firstKey.mid(1).toInt()}),
                 QStringList{"after sort"});
    }

    // The clicked expenditure stays selected when a sort moves it: Save and Delete act on it,
    // never on the row that took its place.
    void sortAfterSelection_saveAndDeleteActOnTheShownExpenditure_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("remove");
        QTest::newRow("date, save") << 2 << false;
        QTest::newRow("date, delete") << 2 << true;
        QTest::newRow("cost, save") << 3 << false;
        QTest::newRow("cost, delete") << 3 << true;
    }
    void sortAfterSelection_saveAndDeleteActOnTheShownExpenditure()
    {
        QFETCH(int, col);
        QFETCH(bool, remove);
        gConn.exec(QStringLiteral("DELETE FROM Expenditures"));
        const qint32 lights = addCategory(QStringLiteral("Lights"));
        const qint32 drain = addCategory(QStringLiteral("drain"));
        const qint32 a = addExpense(m_alder, lights, QDate(2021, 5, 1), 0.25, QStringLiteral("a"));
        const qint32 b = addExpense(m_alder, drain, QDate(2020, 1, 10), 1234.5, QStringLiteral("B"));
        const auto stored = [](qint32 id) {
            return Rows(QStringLiteral("SELECT Cost, [Date], Comments, CategoryID FROM Expenditures WHERE ExpID = ?"),
                        {id});
        };
        const QStringList bBefore = stored(b);
        frmExpense* w = open();
        QCOMPARE(column(w->lvExp, 4), (QStringList{"B", "a"}));
        clickRow(w, 1);
        QCOMPARE(w->txtComments->toPlainText(), QStringLiteral("a"));
        clickHeader(w, col);
        QCOMPARE(column(w->lvExp, 4), (QStringList{"a", "B"}));
        QCOMPARE(w->lvExp->selectedItems().size(), 1);
        QCOMPARE(w->lvExp->selectedItems().first()->text(4), QStringLiteral("a"));
        if (remove) {
            m_prompt->answer(MsgAnswer::Yes);
            click(w->cmdDelete);
            QCOMPARE(CountRows(QStringLiteral("Expenditures"), QStringLiteral("ExpID = ?"), {a}), 0);
            QCOMPARE(stored(b), bBefore);
            QCOMPARE(column(w->lvExp, 4), QStringList{"B"});
            return;
        }
        click(w->cmdEdit);
        w->txtComments->setPlainText(QStringLiteral("a, edited"));
        click(w->cmdSave);
        QCOMPARE(stored(b), bBefore);
        QCOMPARE(stored(a), QStringList{"0.25|2021-05-01|a, edited|" + QString::number(lights)});
        QCOMPARE(rows(w->lvExp), (QStringList{key(a) + "|Lights|" + d(2021, 5, 1) + "|.25|Alder|a, edited",
                                              key(b) + "|drain|" + d(2020, 1, 10) + "|1234.50|Alder|B"}));
    }

    void rowOfAnotherSystemsTunnel_keepsTunnelChoice()
    {
        gConn.exec(QStringLiteral("INSERT INTO System (SystemName) VALUES ('Other')"));
        const qint32 otherSystem = gConn.scalar(QStringLiteral("SELECT MAX(SystemID) FROM System")).toInt();
        const qint32 far = qint32(gConn.insertAutoNumber(
            QStringLiteral("Tunnels"),
            {{QStringLiteral("SystemID"), otherSystem}, {QStringLiteral("TunnelName"), QStringLiteral("Far")}}));
        addExpense(far, m_drainage, QDate(2026, 1, 1), 7, QStringLiteral("far away"));
        frmExpense* w = open();
        QCOMPARE(w->lvExp->topLevelItemCount(), 5);
        QCOMPARE(w->cboTunnel->findText(QStringLiteral("Far")), -1);
        clickRow(w, 1);
        QCOMPARE(w->cboTunnel->currentText(), QStringLiteral("birch"));
        clickRow(w, 4);
        QCOMPARE(w->txtComments->toPlainText(), QStringLiteral("far away"));
        QCOMPARE(w->cboCategory->currentText(), QStringLiteral("drainage"));
        QCOMPARE(w->cboTunnel->currentText(), QStringLiteral("birch"));
    }

    void categories_renameAndDeleteInTheEditor()
    {
        frmExpense* w = open();
        clickRow(w, 0);  // e6, Lighting
        QString caption;
        bool modal = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* f : LoadedForms())
                if (auto* ed = qobject_cast<frmEleDef*>(f)) {
                    caption = ed->windowTitle();
                    modal = ed->isModal() && ed->isVisible();
                    // What the editor does: a rename, and a removal with the category's expenditures.
                    gConn.exec(QStringLiteral("UPDATE ExpenditureCats SET Category = 'Lights' WHERE CategoryID = ?"),
                               {m_lighting});
                    gConn.exec(QStringLiteral("DELETE FROM Expenditures WHERE CategoryID = ?"), {m_structural});
                    gConn.exec(QStringLiteral("DELETE FROM ExpenditureCats WHERE CategoryID = ?"), {m_structural});
                    ed->Unload();
                }
        });
        click(w->cmdCategories);
        QCOMPARE(caption, QStringLiteral("Expenditure Category Definition"));
        QVERIFY(modal);
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(column(w->lvExp, 0), (QStringList{"Lights", "drainage", "Lights"}));
        QCOMPARE(column(w->lvExp, 4), (QStringList{"annual check", "grate", "Lamps replaced"}));
        QCOMPARE(w->cboCategory->currentText(), QStringLiteral("Lights"));
        QCOMPARE(w->cboCategory->count(), 2);

        // The removed category was the one chosen: none is chosen afterwards, and the row it
        // was on is gone from the list.
        clickRow(w, 1);
        QTimer::singleShot(0, [&] {
            for (QWidget* f : LoadedForms())
                if (auto* ed = qobject_cast<frmEleDef*>(f)) {
                    gConn.exec(QStringLiteral("DELETE FROM Expenditures WHERE CategoryID = ?"), {m_drainage});
                    gConn.exec(QStringLiteral("DELETE FROM ExpenditureCats WHERE CategoryID = ?"), {m_drainage});
                    ed->Unload();
                }
        });
        click(w->cmdCategories);
        QCOMPARE(w->cboCategory->currentIndex(), -1);
        QVERIFY(fieldsBlank(w));
        QCOMPARE(column(w->lvExp, 4), (QStringList{"annual check", "Lamps replaced"}));
        QVERIFY(w->lvExp->selectedItems().isEmpty());
        QVERIFY(m_prompt->calls.isEmpty());
    }

    // The window is closed while its category editor is open (a session end): nothing more
    // runs on it once the editor is gone.
    void categories_windowClosedMeanwhile()
    {
        QPointer<frmExpense> w = open();
        bool editorShown = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* f : LoadedForms())
                if (auto* ed = qobject_cast<frmEleDef*>(f)) {
                    editorShown = true;
                    delete w.data();
                    ed->Unload();
                }
        });
        w->cmdCategories->click();
        QVERIFY(editorShown);
        QVERIFY(!w);
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void categories_editorAlreadyOpen_isBroughtForward()
    {
        auto* existing = new frmEleDef;
        QVERIFY(existing->LoadForm(QStringLiteral("Expenditure Category"), QStringLiteral("ExpenditureCats"),
                                   QStringLiteral("CategoryID"), QStringLiteral("Category")));
        frmExpense* w = open();
        click(w->cmdCategories);  // returns at once: nothing modal was opened
        int editors = 0;
        for (QWidget* f : LoadedForms())
            editors += qobject_cast<frmEleDef*>(f) ? 1 : 0;
        QCOMPARE(editors, 1);
        QVERIFY(existing->isVisible());
    }

    void report()
    {
        frmExpense* w = open();
        QVERIFY(!w->cmdReport->isEnabled());  // the report window is not part of the program
        w->Unload();

        RegisterFormFactory(QStringLiteral("frmReport"), [] { return new FakeReport; });
        w = open();
        click(w->cmdReport);
        QCOMPARE(gReportCalls, (QStringList{"GetFormType(Expenditure)", "exec"}));
        QVERIFY(m_prompt->calls.isEmpty());

        // A report window without the method: the failure is reported and nothing stays loaded.
        RegisterFormFactory(QStringLiteral("frmReport"), [] { return new KrvForm<QDialog>(QStringLiteral("frmReport")); });
        click(w->cmdReport);
        QCOMPARE(m_prompt->messages(), QStringList{"Error loading expenditure report"});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmReport")));
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmExpense-Error loading expenditure report"));
    }

    void saveFails_staysInEditModeWithListUnchanged_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::newRow("new") << true;
        QTest::newRow("edit") << false;
    }
    void saveFails_staysInEditModeWithListUnchanged()
    {
        QFETCH(bool, adding);
        FailWhen(QStringLiteral("full"), adding ? QStringLiteral("INSERT") : QStringLiteral("UPDATE"),
                 QStringLiteral("Expenditures"), QStringLiteral("1"));
        frmExpense* w = open();
        const QStringList before = rows(w->lvExp);
        click(adding ? w->cmdNew : w->cmdEdit);
        w->cboTunnel->setCurrentIndex(0);
        w->cboCategory->setCurrentIndex(0);
        w->txtCost->setText(QStringLiteral("42"));
        click(w->cmdSave);
        QCOMPARE(m_prompt->messages(), QStringList{adding ? "Error adding expenditure" : "Error updating expenditure"});
        QVERIFY(inEditMode(w));
        QCOMPARE(rows(w->lvExp), before);
        QCOMPARE(CountRows(QStringLiteral("Expenditures")), 6);
        QCOMPARE(Rows(QStringLiteral("SELECT Cost FROM Expenditures WHERE ExpID = ?"), {e6}), QStringList{"99"});
    }

    void loadFails_reportsAndKeepsRights()
    {
        gConn.exec(QStringLiteral("ALTER TABLE Expenditures RENAME TO ExpendituresGone"));
        gIsDataEntry = false;
        frmExpense* w = open();
        QCOMPARE(m_prompt->messages(),
                 QStringList{"Error loading Expenditure screen\nThe database has no table Expenditures."});
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmExpense-Error loading Expenditure screen"));
        QCOMPARE(w->cboTunnel->count(), 3);  // what was loaded before the error stays
        QVERIFY(!w->cmdNew->isVisible() && !w->cmdEdit->isVisible() && !w->cmdDelete->isVisible());
        QVERIFY(inViewMode(w));
    }

    // Another program changes the file between Edit and Save of e2 (.25, "grate", birch,
    // drainage): only the field changed here is written, a field both changed asks, and a
    // save into what is gone writes nothing and says so.
    void editAgainstAnotherUser_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("editing");
        QTest::addColumn<QString>("shown");  // e2's listed row
        const QString theirs = QStringLiteral("UPDATE Expenditures SET Comments = 'theirs' WHERE Comments = 'grate'");
        const QString asked = QStringLiteral("The comment of the expenditure of %1 was changed by another user after "
                                             "you opened it: it is now \"theirs\", yours is \"mine\". Replace it with yours?")
                                  .arg(d(2023, 11, 20));
        const QString costAsked = QStringLiteral("The cost of the expenditure of %1 was changed by another user after "
                                                 "you opened it: it is now 11111.00, yours is 22222.00. Replace it with yours?")
                                      .arg(d(2023, 11, 20));
        const QString theirCost = QStringLiteral("UPDATE Expenditures SET Cost = 11111 WHERE Comments = 'grate'");
        QTest::newRow("their comment stays") << "cost" << theirs << MsgAnswer::Default << QString()
                                             << "99.5|theirs|birch|drainage" << false << "99.50|birch|theirs";
        QTest::newRow("same field: yes") << "comments" << theirs << MsgAnswer::Yes << asked
                                         << "0.25|mine|birch|drainage" << false << ".25|birch|mine";
        QTest::newRow("same field: no") << "comments" << theirs << MsgAnswer::No << asked
                                        << "0.25|theirs|birch|drainage" << false << ".25|birch|theirs";
        QTest::newRow("same field: cancel") << "comments" << theirs << MsgAnswer::Cancel << asked
                                            << "0.25|theirs|birch|drainage" << true << ".25|birch|grate";
        // Asked about the cost only: the comment nobody else changed is written either way.
        QTest::newRow("cost and comment, cost both: no") << "cost and comments" << theirCost << MsgAnswer::No << costAsked
                                                         << "11111|mine|birch|drainage" << false << "11111.00|birch|mine";
        QTest::newRow("cost and comment, cost both: yes") << "cost and comments" << theirCost << MsgAnswer::Yes << costAsked
                                                          << "22222|mine|birch|drainage" << false << "22222.00|birch|mine";
        QTest::newRow("removed") << "cost" << QStringLiteral("DELETE FROM Expenditures WHERE Comments = 'grate'")
                                 << MsgAnswer::Default << removedText(QStringLiteral("The expenditure of ") + d(2023, 11, 20))
                                 << QString() << false << QString();
        QTest::newRow("new tunnel removed") << "tunnel" << QStringLiteral("DELETE FROM Tunnels WHERE TunnelName = 'Cedar'")
                                            << MsgAnswer::Default << removedText(QStringLiteral("The tunnel Cedar"))
                                            << "0.25|grate|birch|drainage" << true << ".25|birch|grate";
        QTest::newRow("its tunnel removed") << "comments" << QStringLiteral("DELETE FROM Tunnels WHERE TunnelName = 'birch'")
                                            << MsgAnswer::Default << removedText(QStringLiteral("The tunnel birch"))
                                            << "0.25|grate|-|drainage" << true << ".25|birch|grate";
        QTest::newRow("new category removed")
            << "category" << QStringLiteral("DELETE FROM ExpenditureCats WHERE Category = 'Structural'")
            << MsgAnswer::Default << removedText(QStringLiteral("The category Structural"))
            << "0.25|grate|birch|drainage" << true << ".25|birch|grate";
    }
    void editAgainstAnotherUser()
    {
        QFETCH(QString, field);
        QFETCH(QString, sql);
        QFETCH(MsgAnswer, answer);
        QFETCH(QString, told);
        QFETCH(QString, stored);
        QFETCH(bool, editing);
        QFETCH(QString, shown);
        frmExpense* w = open();
        clickRow(w, 1);  // e2
        click(w->cmdEdit);
        if (field == QLatin1String("cost")) {
            w->txtCost->selectAll();
            QTest::keyClicks(w->txtCost, QStringLiteral("99.5"));
        } else if (field == QLatin1String("comments")) {
            w->txtComments->setPlainText(QStringLiteral("mine"));
        } else if (field == QLatin1String("cost and comments")) {
            w->txtCost->selectAll();
            QTest::keyClicks(w->txtCost, QStringLiteral("22222"));
            w->txtComments->setPlainText(QStringLiteral("mine"));
        } else if (field == QLatin1String("tunnel")) {
            w->cboTunnel->setCurrentIndex(w->cboTunnel->findText(QStringLiteral("Cedar")));
        } else {
            w->cboCategory->setCurrentIndex(w->cboCategory->findText(QStringLiteral("Structural")));
        }
        QCOMPARE(RunSqliteShell(m_install->dbPath(), sql), QString());
        m_prompt->answer(answer);
        click(w->cmdSave);
        QCOMPARE(m_prompt->messages(), told.isEmpty() ? QStringList() : QStringList{told});
        QCOMPARE(storedExpense(e2), stored);
        QCOMPARE(inEditMode(w), editing);
        QCOMPARE(listed(w, e2), shown);
        // A removed one leaves the fields.
        if (shown.isEmpty())
            QVERIFY(fieldsBlank(w));
        // The other expenditures are as they were.
        QCOMPARE(storedExpense(e1), QStringLiteral("1234.5|Lamps replaced|Alder|Lighting"));
    }

    // Two expenditure windows of this program on one file: each save keeps what the other
    // saved meanwhile, and an edit of one the other removed is told, never shown as saved.
    void twoWindowsOnOneFile()
    {
        frmExpense* a = open();
        frmExpense* b = open();
        clickRow(b, 1);  // e2
        click(b->cmdEdit);
        b->txtCost->selectAll();
        QTest::keyClicks(b->txtCost, QStringLiteral("3"));
        clickRow(a, 1);
        click(a->cmdEdit);
        a->txtComments->setPlainText(QStringLiteral("a's comment"));
        click(a->cmdSave);
        click(b->cmdSave);
        QVERIFY(m_prompt->calls.isEmpty());
        QCOMPARE(storedExpense(e2), QStringLiteral("3|a's comment|birch|drainage"));
        QCOMPARE(listed(b, e2), QStringLiteral("3.00|birch|a's comment"));

        click(b->cmdEdit);
        b->txtComments->setPlainText(QStringLiteral("b's comment"));
        m_prompt->answer(MsgAnswer::Yes);
        click(a->cmdDelete);
        click(b->cmdSave);
        QCOMPARE(m_prompt->messages().last(), removedText(QStringLiteral("The expenditure of ") + d(2023, 11, 20)));
        QCOMPARE(storedExpense(e2), QString());
        QCOMPARE(listed(b, e2), QString());
        QVERIFY(inViewMode(b));
        QVERIFY(fieldsBlank(b));
    }

    // A new expenditure into a tunnel or category another program removed is not stored.
    void newIntoWhatIsGone_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("told");
        QTest::newRow("tunnel") << "DELETE FROM Tunnels WHERE TunnelName = 'Alder'" << removedText("The tunnel Alder");
        QTest::newRow("category") << "DELETE FROM ExpenditureCats WHERE Category = 'Lighting'"
                                  << removedText("The category Lighting");
    }
    void newIntoWhatIsGone()
    {
        QFETCH(QString, sql);
        QFETCH(QString, told);
        frmExpense* w = open();
        const QStringList before = rows(w->lvExp);
        click(w->cmdNew);
        w->cboTunnel->setCurrentIndex(w->cboTunnel->findText(QStringLiteral("Alder")));
        w->cboCategory->setCurrentIndex(w->cboCategory->findText(QStringLiteral("Lighting")));
        QTest::keyClicks(w->txtCost, QStringLiteral("7"));
        QCOMPARE(RunSqliteShell(m_install->dbPath(), sql), QString());
        click(w->cmdSave);
        QCOMPARE(m_prompt->messages(), QStringList{told});
        QCOMPARE(CountRows(QStringLiteral("Expenditures")), 6);
        QCOMPARE(rows(w->lvExp), before);
        QVERIFY(inEditMode(w));
        QCOMPARE(w->txtCost->text(), QStringLiteral("7"));
    }

    // The other program changed or removed the expenditure after it was loaded; Delete was
    // already answered Yes.
    void deleteAgainstAnotherUser_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QString>("shown");
        const QString theirs = QStringLiteral("UPDATE Expenditures SET Comments = 'theirs' WHERE Comments = 'grate'");
        QTest::newRow("changed: yes") << theirs << MsgAnswer::Yes << 2 << QString();
        QTest::newRow("changed: no") << theirs << MsgAnswer::No << 2 << ".25|birch|theirs";
        QTest::newRow("removed already") << QStringLiteral("DELETE FROM Expenditures WHERE Comments = 'grate'")
                                         << MsgAnswer::Default << 1 << QString();
    }
    void deleteAgainstAnotherUser()
    {
        QFETCH(QString, sql);
        QFETCH(MsgAnswer, answer);
        QFETCH(int, questions);
        QFETCH(QString, shown);
        frmExpense* w = open();
        clickRow(w, 1);  // e2
        QCOMPARE(RunSqliteShell(m_install->dbPath(), sql), QString());
        m_prompt->answer(MsgAnswer::Yes);
        m_prompt->answer(answer);
        click(w->cmdDelete);
        QCOMPARE(m_prompt->calls.size(), questions);
        if (questions > 1)
            QCOMPARE(m_prompt->calls[1].text, QStringLiteral("The expenditure of %1 was changed by another user after "
                                                             "you opened it. Remove it all the same?")
                                                  .arg(d(2023, 11, 20)));
        QCOMPARE(listed(w, e2), shown);
        QCOMPARE(fieldsBlank(w), shown.isEmpty());
        QCOMPARE(storedExpense(e2).isEmpty(), shown.isEmpty());
        QCOMPARE(w->lvExp->topLevelItemCount(), shown.isEmpty() ? 3 : 4);
    }

    void layout_followsTheWindowSize()
    {
        frmExpense* w = open();
        w->resize(TwipsToPixels(12000), TwipsToPixels(7500));
        QCOMPARE(w->fraButtons->y(), TwipsToPixels(7500 - 1605));
        QCOMPARE(w->fraButtons->width(), TwipsToPixels(12000 - 120));
        QCOMPARE(w->lvExp->width(), TwipsToPixels(12000 - 210));
        QCOMPARE(w->lvExp->height(), TwipsToPixels(7500 - 1605 - 150));
        QCOMPARE(w->cmdClose->x(), TwipsToPixels(12000 - 120 - 1095 - 150));
        // Smaller than the least: the frame keeps its least top and width.
        w->resize(TwipsToPixels(6000), TwipsToPixels(2000));
        QCOMPARE(w->fraButtons->y(), TwipsToPixels(1200));
        QCOMPARE(w->fraButtons->width(), TwipsToPixels(8900));
    }

    void placement_keptBetweenOpenings()
    {
        frmExpense* w = open();
        w->setGeometry(QRect(QPoint(40, 60), QSize(TwipsToPixels(11000), TwipsToPixels(6000))));
        const QSize size = w->size();
        QVERIFY(w->Unload());
        w = open();
        QCOMPARE(w->size(), size);
        click(w->cmdClose);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmExpense")));
    }
};

QTEST_MAIN(TestExpense)
#include "tst_expense.moc"
