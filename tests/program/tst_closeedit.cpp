// Closing a window with an edit in progress asks, however it closes (the title bar or
// Alt+F4, its own Close, an unload through the window registry as at program end): Cancel
// keeps it open with the typed values, Yes saves, No drops; without an edit nothing is asked.
#include "demowindows.h"
#include "fixtures.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

using Steps = std::function<void(QWidget*)>;

// How a test makes an edit in one window and finds it again.
struct EditKind {
    QString key;        // as DemoWindows::open takes it
    QString question;   // the start of the question asked
    Steps begin;        // puts the window into its edit, nothing typed yet
    Steps type;         // types the edit
    std::function<bool(QWidget*)> typedShown;
    std::function<int()> stored;  // how many stored rows show the edit
};

// Each case types its own text, so a save is told from an earlier case's.
int gCase = 0;
QString typed() { return QStringLiteral("typed at close %1").arg(gCase); }

QPlainTextEdit* shownText(QWidget* w, const char* name)
{
    for (QPlainTextEdit* box : w->findChildren<QPlainTextEdit*>(QLatin1String(name)))
        if (box->isVisibleTo(w))
            return box;
    return nullptr;
}

QLineEdit* firstRating(QWidget* w)
{
    for (QLineEdit* box : w->findChildren<QLineEdit*>(QStringLiteral("txtRate1")))
        if (box->property("Index").toInt() == 0)
            return box;
    return nullptr;
}

QList<EditKind> editKinds(DemoWindows& demo)
{
    QList<EditKind> kinds;
    // Rating entry: the first rating of the first panel, set to another digit.
    auto ratingDigit = std::make_shared<QString>();
    kinds.append({QStringLiteral("frmDataInput"),
                  QStringLiteral("The ratings entered for panel "),
                  [](QWidget* w) { DemoWindows::click(w, "cmdEdit"); },
                  [ratingDigit](QWidget* w) {
                      QLineEdit* box = firstRating(w);
                      *ratingDigit = QString::number((int(box->text().toInt()) + 1) % 10);
                      box->setText(*ratingDigit);
                  },
                  [ratingDigit](QWidget* w) { return firstRating(w)->text() == *ratingDigit; },
                  [&demo, ratingDigit] {
                      return CountRows(QStringLiteral("Ratings"), QStringLiteral("InspectionID = ? AND Rating = ?"),
                                       {demo.latest, ratingDigit->toInt()});
                  }});
    // Rating entry: a defect typed but not added, and one added; the question names defects.
    for (const bool add : {false, true})
        kinds.append({QStringLiteral("frmDataInput"), QStringLiteral("The defects entered for panel "),
                      [](QWidget* w) { DemoWindows::click(w, "cmdEdit"); },
                      [add](QWidget* w) {
                          DemoWindows::child<QLineEdit>(w, "txtDefectDesc")->setText(typed());
                          DemoWindows::child<QLineEdit>(w, "txtQty")->setText(QStringLiteral("2"));
                          DemoWindows::child<QComboBox>(w, "cboUnits")->setEditText(QStringLiteral("ft"));
                          DemoWindows::child<QLineEdit>(w, "txtUnitCost")->setText(QStringLiteral("3"));
                          if (add)
                              DemoWindows::click(w, "cmdAddDefect");
                      },
                      [add](QWidget* w) {
                          if (add) {
                              auto* list = DemoWindows::child<QTreeWidget>(w, "lvDefectQty");
                              return !list->findItems(typed(), Qt::MatchExactly).isEmpty();
                          }
                          return DemoWindows::child<QLineEdit>(w, "txtDefectDesc")->text() == typed();
                      },
                      [] {
                          return CountRows(QStringLiteral("DefectQuantity"),
                                           QStringLiteral("Description = ? AND Quantity = 2 AND TotalCost = 6"),
                                           {typed()});
                      }});
    // Review: a panel data tab's text.
    kinds.append({QStringLiteral("frmDataView"), QStringLiteral("The \""),
                  [](QWidget* w) {
                      DemoWindows::child<QTabWidget>(w, "SSTab1")->setCurrentIndex(6);
                      DemoWindows::click(w, "cmdEditAddl");
                  },
                  [](QWidget* w) { shownText(w, "txtAdditional")->insertPlainText(typed()); },
                  [](QWidget* w) { return shownText(w, "txtAdditional")->toPlainText().contains(typed()); },
                  [] { return CountRows(QStringLiteral("TabData"), QStringLiteral("TabData LIKE ?"), {"%" + typed() + "%"}); }});
    // Review: a new repair log entry.
    kinds.append({QStringLiteral("frmDataView"), QStringLiteral("The repair log entry"),
                  [](QWidget* w) {
                      DemoWindows::child<QTabWidget>(w, "SSTab1")->setCurrentIndex(4);
                      DemoWindows::click(w, "cmdAdd");
                  },
                  [](QWidget* w) { DemoWindows::child<QPlainTextEdit>(w, "txtRepairLog")->insertPlainText(typed()); },
                  [](QWidget* w) {
                      return DemoWindows::child<QPlainTextEdit>(w, "txtRepairLog")->toPlainText() == typed();
                  },
                  [] { return CountRows(QStringLiteral("RepairLogs"), QStringLiteral("RepairLog = ?"), {typed()}); }});
    // Expenditures: the comments of the first one.
    kinds.append({QStringLiteral("frmExpense"), QStringLiteral("The changes to this expenditure"),
                  [](QWidget* w) {
                      auto* list = DemoWindows::child<QTreeWidget>(w, "lvExp");
                      list->setCurrentItem(list->topLevelItem(0));
                      DemoWindows::click(w, "cmdEdit");
                  },
                  [](QWidget* w) {
                      auto* box = DemoWindows::child<QPlainTextEdit>(w, "txtComments");
                      box->setPlainText(box->toPlainText() + typed());
                  },
                  [](QWidget* w) {
                      return DemoWindows::child<QPlainTextEdit>(w, "txtComments")->toPlainText().endsWith(typed());
                  },
                  [] { return CountRows(QStringLiteral("Expenditures"), QStringLiteral("Comments LIKE ?"), {"%" + typed()}); }});
    // The data tab editor: a tab added.
    auto tabs = std::make_shared<int>(0);
    kinds.append({QStringLiteral("frmDataTabs"), QStringLiteral("Save the current Panel Data Tab structure?"),
                  [tabs](QWidget*) { *tabs = CountRows(QStringLiteral("TabDefinitions")); },
                  [](QWidget* w) { DemoWindows::click(w, "cmdAdd"); },
                  [tabs](QWidget* w) { return DemoWindows::child<QTabBar>(w, "SSTab1")->count() == *tabs + 1; },
                  [tabs] { return CountRows(QStringLiteral("TabDefinitions")) - *tabs; }});
    return kinds;
}

}  // namespace

class TestCloseEdit : public QObject {
    Q_OBJECT
    DemoWindows m_demo;

private slots:
    void initTestCase() { m_demo.setUp(); }
    void cleanupTestCase() { m_demo.tearDown(); }

    void closingWithAnEditAsks_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("answer");  // "" when nothing was typed
        const QStringList names{"rating entry",   "rating entry, typed defect", "rating entry, added defect",
                                "review text tab", "review repair log",          "expenditures",
                                "data tabs"};
        for (int k = 0; k < names.size(); ++k)
            for (const char* way : {"title bar", "own Close", "registry"})
                for (const char* answer : {"", "Cancel", "Yes", "No"}) {
                    // Rating entry's Close is off while editing: the other ways remain.
                    if (names[k].startsWith(QLatin1String("rating entry")) && qstrcmp(way, "own Close") == 0)
                        continue;
                    QTest::newRow(qPrintable(QStringLiteral("%1, %2, %3")
                                                 .arg(names[k], QLatin1String(way),
                                                      *answer ? QLatin1String(answer) : QLatin1String("no edit"))))
                        << k << QString::fromLatin1(way) << QString::fromLatin1(answer);
                }
    }
    void closingWithAnEditAsks()
    {
        QFETCH(int, kind);
        QFETCH(QString, way);
        QFETCH(QString, answer);
        ++gCase;
        const EditKind edit = editKinds(m_demo).at(kind);
        ScriptedPrompt& prompt = m_demo.prompt();
        m_demo.withWindow(edit.key, [&](QWidget* w) {
            QPointer<QWidget> guard(w);
            edit.begin(w);
            if (!answer.isEmpty())
                edit.type(w);
            const int storedBefore = edit.stored();
            prompt.calls.clear();
            prompt.answers.clear();
            if (!answer.isEmpty())
                prompt.answer(answer == QLatin1String("Yes")  ? MsgAnswer::Yes
                              : answer == QLatin1String("No") ? MsgAnswer::No
                                                              : MsgAnswer::Cancel);
            if (way == QLatin1String("title bar"))
                w->close();
            else if (way == QLatin1String("own Close"))
                DemoWindows::click(w, "cmdClose");
            else
                UnloadFormByName(w->objectName());

            if (answer.isEmpty()) {
                QCOMPARE(prompt.calls.size(), 0);
                QVERIFY(!guard || !LoadedForms().contains(guard.data()));
                return;
            }
            QCOMPARE(prompt.calls.size(), 1);
            QVERIFY2(prompt.calls[0].text.startsWith(edit.question), qPrintable(prompt.calls[0].text));
            QCOMPARE(prompt.calls[0].buttons, MsgButtons::YesNoCancel);
            if (answer == QLatin1String("Cancel")) {
                QVERIFY(guard && LoadedForms().contains(guard.data()) && guard->isVisible());
                QVERIFY(edit.typedShown(guard));
                QCOMPARE(edit.stored(), storedBefore);
                prompt.answer(MsgAnswer::No);
                QVERIFY(UnloadForm(guard));
                return;
            }
            QVERIFY(!guard || !LoadedForms().contains(guard.data()));
            QCOMPARE(edit.stored(), storedBefore + (answer == QLatin1String("Yes") ? 1 : 0));
        });
        for (QWidget* w : LoadedForms())
            UnloadForm(w);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Leaving the program through the main window unloads every window first: one that
    // keeps its edit (Cancel) keeps the main window, and so the program, open too.
    void leavingTheProgramAsksEachEditingWindow_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("Cancel keeps both") << int(MsgAnswer::Cancel);
        QTest::newRow("No closes both") << int(MsgAnswer::No);
    }
    void leavingTheProgramAsksEachEditingWindow()
    {
        QFETCH(int, answer);
        ++gCase;
        ScriptedPrompt& prompt = m_demo.prompt();
        QPointer<QWidget> main = CreateForm(QStringLiteral("frmViewSystem"));
        QVERIFY(main);
        main->show();
        QPointer<QWidget> entry = m_demo.open(QStringLiteral("frmDataInput"));
        QVERIFY(entry && entry->isVisible());
        DemoWindows::click(entry, "cmdEdit");
        firstRating(entry)->setText(QString::number((firstRating(entry)->text().toInt() + 1) % 10));
        prompt.calls.clear();
        prompt.answers.clear();
        prompt.answer(MsgAnswer(answer));
        const bool closed = UnloadForm(main);
        QCOMPARE(prompt.calls.size(), 1);
        QVERIFY(prompt.calls[0].text.startsWith(QStringLiteral("The ratings entered for panel ")));
        const bool kept = answer == int(MsgAnswer::Cancel);
        QCOMPARE(closed, !kept);
        QCOMPARE(bool(main && LoadedForms().contains(main.data())), kept);
        QCOMPARE(bool(entry && LoadedForms().contains(entry.data())), kept);
        for (QWidget* w : LoadedForms()) {
            prompt.answer(MsgAnswer::No);
            UnloadForm(w);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(TestCloseEdit)
#include "tst_closeedit.moc"
