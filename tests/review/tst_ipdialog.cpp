// The chooser of posted periods: which periods it offers, how the second list follows the
// first, and how it hands the choice to the review window.
#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmIPdialog.h"
#include "globals.h"
#include "frmIPdialog_call.h"
#include "krverror.h"
#include "reviewforms.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

QStringList gReviewCalls;

// Stands in for the review window: records what it was asked to show, and whether the
// chooser was still visible at that moment.
class FakeReview : public KrvForm<QWidget> {
    Q_OBJECT
public:
    FakeReview() : KrvForm<QWidget>(QStringLiteral("frmDataView")) {}
    Q_INVOKABLE void LoadForm(qint32 tunnelId, qint32 first, qint32 second)
    {
        bool chooserVisible = false;
        for (QWidget* w : LoadedForms())
            if (w->objectName() == QLatin1String("frmIPdialog"))
                chooserVisible = w->isVisible();
        gReviewCalls << QStringLiteral("LoadForm(%1,%2,%3)%4")
                            .arg(tunnelId)
                            .arg(first)
                            .arg(second)
                            .arg(chooserVisible ? QStringLiteral(" over a visible chooser") : QString());
        show();
    }
};

// Runs LoadForm with the script acting inside the modal dialog; a dialog the script
// leaves open is closed so that a failing check never hangs the test.
void runChooser(qint32 tunnelId, const std::function<void(frmIPdialog*)>& script)
{
    auto* dialog = new frmIPdialog;
    QPointer<frmIPdialog> guard(dialog);
    QTimer::singleShot(0, [guard, script] {
        if (guard && guard->isVisible())
            script(guard);
        if (guard && guard->isVisible())
            guard->Unload();
    });
    dialog->LoadForm(tunnelId);
}

// Chooses an entry with the keyboard, as a user would.
void choose(QComboBox* combo, const QString& text)
{
    const int index = combo->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentText(), text);
}

// Each entry as "year=InspectionID".
QStringList entries(const QComboBox* combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i) + QLatin1Char('=') + combo->itemData(i).toString();
    return out;
}

void postRating(qint32 inspectionId, qint32 panelId)
{
    gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, 1, 7)"),
               {inspectionId, panelId});
}

}  // namespace

class TestIPdialog : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 m_tunnel = 0, m_other = 0;
    qint32 m_2018 = 0, m_2022 = 0, m_2024 = 0, m_2026 = 0;

    QString e(qint32 id) const { return QString::number(id); }

private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        gReviewCalls.clear();
        RegisterFormFactory(QStringLiteral("frmDataView"), [] { return new FakeReview; });

        FixtureSystem();
        m_tunnel = FixtureTunnel(QStringLiteral("North Bore"));
        m_other = FixtureTunnel(QStringLiteral("South Bore"));
        const qint32 panel = qint32(gConn.insertAutoNumber(
            QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), m_tunnel}, {QStringLiteral("PanelNum"), 1},
                                       {QStringLiteral("PanelName"), QStringLiteral("P1")}}));
        // Added out of year order; 2026 has entered ratings only.
        m_2024 = FixturePeriod(m_tunnel, 2024);
        m_2018 = FixturePeriod(m_tunnel, 2018);
        m_2026 = FixturePeriod(m_tunnel, 2026);
        m_2022 = FixturePeriod(m_tunnel, 2022);
        postRating(m_2024, panel);
        postRating(m_2018, panel);
        postRating(m_2022, panel);
        gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, 1, 4)"),
                   {m_2026, panel});
        postRating(FixturePeriod(m_other, 2020), panel);
    }

    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
        RegisterFormFactory(QStringLiteral("frmDataView"), {});
        m_prompt.reset();
        m_install.reset();
    }

    void load_offersPostedPeriodsOfTheTunnelInYearOrder()
    {
        QStringList first, second;
        QString name;
        bool compareEnabled = false;
        int firstChoice = 0, secondChoice = 0;
        runChooser(m_tunnel, [&](frmIPdialog* d) {
            name = d->lblTName->text();
            first = entries(d->InspectionYr1);
            second = entries(d->InspectionYr2);
            firstChoice = d->InspectionYr1->currentIndex();
            secondChoice = d->InspectionYr2->currentIndex();
            compareEnabled = d->cmdCompare->isEnabled();
            QVERIFY(d->isModal());
        });
        QCOMPARE(name, QStringLiteral("North Bore"));
        const QStringList expected{"2018=" + e(m_2018), "2022=" + e(m_2022), "2024=" + e(m_2024)};
        QCOMPARE(first, expected);
        QCOMPARE(second, expected);
        QCOMPARE(firstChoice, -1);
        QCOMPARE(secondChoice, -1);
        QVERIFY(compareEnabled);
    }

    void firstChoice_rebuildsSecondListWithoutIt()
    {
        QStringList afterFirst, afterSecond;
        int secondChoice = 0;
        runChooser(m_tunnel, [&](frmIPdialog* d) {
            choose(d->InspectionYr1, QStringLiteral("2024"));
            afterFirst = entries(d->InspectionYr2);
            choose(d->InspectionYr2, QStringLiteral("2018"));
            // A new first choice drops the second one.
            choose(d->InspectionYr1, QStringLiteral("2022"));
            afterSecond = entries(d->InspectionYr2);
            secondChoice = d->InspectionYr2->currentIndex();
        });
        QCOMPARE(afterFirst, (QStringList{"2018=" + e(m_2018), "2022=" + e(m_2022)}));
        QCOMPARE(afterSecond, (QStringList{"2018=" + e(m_2018), "2024=" + e(m_2024)}));
        QCOMPARE(secondChoice, -1);
        QVERIFY(gReviewCalls.isEmpty());
    }

    void compare_opensReviewAfterHidingAndUnloads_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("call");
        QTest::newRow("one period") << "2022" << "" << "LoadForm(%1,%2,0)";
        QTest::newRow("two periods") << "2018" << "2024" << "LoadForm(%1,%2,%3)";
        QTest::newRow("later period first") << "2024" << "2018" << "LoadForm(%1,%2,%3)";
    }
    void compare_opensReviewAfterHidingAndUnloads()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, call);
        const QHash<QString, qint32> ids{{"2018", m_2018}, {"2022", m_2022}, {"2024", m_2024}};
        runChooser(m_tunnel, [&](frmIPdialog* d) {
            choose(d->InspectionYr1, first);
            if (!second.isEmpty())
                choose(d->InspectionYr2, second);
            QTest::mouseClick(d->cmdCompare, Qt::LeftButton);
        });
        QString expected = call.arg(m_tunnel).arg(ids.value(first));
        if (!second.isEmpty())
            expected = expected.arg(ids.value(second));
        QCOMPARE(gReviewCalls, QStringList{expected});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmIPdialog")));
        QVERIFY(IsFormLoaded(QStringLiteral("frmDataView")));
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void compare_withoutFirstChoice_refusesAndStays()
    {
        QStringList secondBefore, secondAfter;
        bool stillVisible = false;
        runChooser(m_tunnel, [&](frmIPdialog* d) {
            choose(d->InspectionYr2, QStringLiteral("2022"));
            secondBefore = entries(d->InspectionYr2);
            QTest::mouseClick(d->cmdCompare, Qt::LeftButton);
            stillVisible = d->isVisible();
            secondAfter = entries(d->InspectionYr2);
            QCOMPARE(d->InspectionYr2->currentText(), QStringLiteral("2022"));
        });
        QVERIFY(stillVisible);
        QCOMPARE(secondAfter, secondBefore);
        QCOMPARE(m_prompt->calls.size(), 1);
        QCOMPARE(m_prompt->calls[0].text, QStringLiteral("Inspection Period 1 Must Be Selected"));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Corvane Quorrel"));
        QCOMPARE(m_prompt->calls[0].buttons, MsgButtons::Ok);
        QVERIFY(gReviewCalls.isEmpty());
    }

    void cancel_opensNothingAndUnloads()
    {
        runChooser(m_tunnel, [&](frmIPdialog* d) {
            choose(d->InspectionYr1, QStringLiteral("2018"));
            QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
        });
        QVERIFY(gReviewCalls.isEmpty());
        QVERIFY(!IsFormLoaded(QStringLiteral("frmIPdialog")));
        // Escape is the same as Cancel.
        runChooser(m_tunnel, [&](frmIPdialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
        QVERIFY(!IsFormLoaded(QStringLiteral("frmIPdialog")));
        QVERIFY(gReviewCalls.isEmpty());
    }

    void tunnelWithoutPostedPeriods_offersNone()
    {
        const qint32 empty = FixtureTunnel(QStringLiteral("West Adit"));
        FixturePeriod(empty, 2023);
        int count = -1;
        runChooser(empty, [&](frmIPdialog* d) {
            count = d->InspectionYr1->count() + d->InspectionYr2->count();
            QTest::mouseClick(d->cmdCompare, Qt::LeftButton);
        });
        QCOMPARE(count, 0);
        QCOMPARE(m_prompt->messages(), QStringList{"Inspection Period 1 Must Be Selected"});
    }

    void reviewNotPartOfProgram_compareDisabled()
    {
        RegisterFormFactory(QStringLiteral("frmDataView"), {});
        bool enabled = true;
        runChooser(m_tunnel, [&](frmIPdialog* d) { enabled = d->cmdCompare->isEnabled(); });
        QVERIFY(!enabled);
    }

    void openedByNameAsTheMainWindowDoes()
    {
        RegisterReviewForms();
        RegisterFormFactory(QStringLiteral("frmDataView"), [] { return new FakeReview; });
        QVERIFY(FormIsAvailable(QStringLiteral("frmIPdialog")));
        QVERIFY(FormIsAvailable(QStringLiteral("frmExpense")));
        QWidget* chooser = CreateForm(QStringLiteral("frmIPdialog"));
        QVERIFY(qobject_cast<frmIPdialog*>(chooser));
        QCOMPARE(chooser->objectName(), QStringLiteral("frmIPdialog"));
        QPointer<frmIPdialog> guard(static_cast<frmIPdialog*>(chooser));
        QTimer::singleShot(0, [guard] {
            frmIPdialog* d = guard;
            if (!d)
                return;
            choose(d->InspectionYr1, QStringLiteral("2024"));
            QTest::mouseClick(d->cmdCompare, Qt::LeftButton);
            if (d->isVisible())
                d->Unload();
        });
        // The main window hands the tunnel over as a plain number.
        CallFormMethod(chooser, "LoadForm", {QVariant(qlonglong(m_tunnel))});
        QCOMPARE(gReviewCalls, QStringList{QStringLiteral("LoadForm(%1,%2,0)").arg(m_tunnel).arg(m_2024)});
        RegisterFormFactory(QStringLiteral("frmIPdialog"), {});
        RegisterFormFactory(QStringLiteral("frmExpense"), {});
    }

    void databaseErrors()
    {
        // While loading: the error reaches the caller, and no dialog is shown.
        gConn.exec(QStringLiteral("ALTER TABLE RatingsPosted RENAME TO RatingsPostedGone"));
        auto* dialog = new frmIPdialog;
        QVERIFY_THROWS_EXCEPTION(KrvError, dialog->LoadForm(m_tunnel));
        QVERIFY(!dialog->isVisible());
        delete dialog;
        gConn.exec(QStringLiteral("ALTER TABLE RatingsPostedGone RENAME TO RatingsPosted"));

        // In the first list's click, inside the modal loop: logged and shown, the dialog stays.
        bool visible = false;
        runChooser(m_tunnel, [&](frmIPdialog* d) {
            gConn.exec(QStringLiteral("ALTER TABLE RatingsPosted RENAME TO RatingsPostedGone"));
            choose(d->InspectionYr1, QStringLiteral("2018"));
            visible = d->isVisible();
        });
        QVERIFY(visible);
        QCOMPARE(m_prompt->messages(),
                 QStringList{"Error loading inspection periods\nThe database has no table RatingsPosted."});
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmIPdialog-Error loading inspection periods"));
    }
};

QTEST_MAIN(TestIPdialog)
#include "tst_ipdialog.moc"
