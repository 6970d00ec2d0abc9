#include "forms.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

namespace {
class TestForm : public KrvForm<QWidget> {
    Q_OBJECT
public:
    TestForm(const QString& name, const QString& caption) : KrvForm<QWidget>(name)
    {
        setWindowTitle(caption);
    }
    bool refuse = false;
    int unloads = 0;
    int* unloadCounter = nullptr;
    // A window that closes a companion as it unloads.
    QPointer<QWidget> companion;

protected:
    bool QueryUnload() override { return !refuse; }
    void FormUnload() override
    {
        ++unloads;
        if (unloadCounter)
            ++*unloadCounter;
        if (companion)
            UnloadForm(companion);
    }
};

// A window with an edit that the test types, saves or fails to save.
template <class Base>
class EditingWindow : public KrvForm<Base> {
public:
    EditingWindow() : KrvForm<Base>(QStringLiteral("frmEditing")) {}
    bool typed = false;
    bool saveFails = false;
    int saves = 0;

protected:
    bool SettleEditBeforeClose() override
    {
        if (!typed)
            return true;
        switch (AskToSaveEdit(QStringLiteral("notes"))) {
        case MsgAnswer::Yes:
            if (saveFails)
                return false;
            ++saves;
            typed = false;
            return true;
        case MsgAnswer::No:
            typed = false;
            return true;
        default:
            return false;
        }
    }
};

class TestDialog : public KrvForm<QDialog> {
    Q_OBJECT
public:
    TestDialog() : KrvForm<QDialog>(QStringLiteral("frmLogon")) {}
};
}  // namespace

class TestForms : public QObject {
    Q_OBJECT
private slots:
    void init() { m_install = std::make_unique<TestInstall>(false); }
    void cleanup() { m_install.reset(); }

    void registryKeepsLoadOrderAndNamesIgnoreCase()
    {
        auto* a = new TestForm(QStringLiteral("frmSystem"), QStringLiteral("Set-up"));
        auto* b = new TestForm(QStringLiteral("frmImages"), QStringLiteral("Picture"));
        auto* c = new TestForm(QStringLiteral("frmImages"), QStringLiteral("Picture 2"));
        QCOMPARE(LoadedForms(), (QList<QWidget*>{a, b, c}));
        QVERIFY(IsFormLoaded(QStringLiteral("FRMIMAGES")));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmImage")));
        // A hidden window is still loaded.
        QVERIFY(!b->isVisible());

        int unloads = 0;
        b->unloadCounter = c->unloadCounter = &unloads;
        UnloadFormByName(QStringLiteral("frmimages"));
        QCOMPARE(unloads, 2);
        QCOMPARE(LoadedForms(), (QList<QWidget*>{a}));
        UnloadFormByName(QStringLiteral("frmNothing"));
        QCOMPARE(LoadedForms().size(), 1);
    }

    void captionsCompareExactly()
    {
        auto* a = new TestForm(QStringLiteral("frmEleDef"), QStringLiteral("Element Definition"));
        a->show();
        QVERIFY(FormIsOpen(QStringLiteral("Element Definition"), true));
        QVERIFY(!FormIsOpen(QStringLiteral("element definition"), true));
        QVERIFY(!FormIsOpen(QStringLiteral("Element"), false));
    }

    void refusedUnloadKeepsTheWindow()
    {
        auto* a = new TestForm(QStringLiteral("frmSystem"), QStringLiteral("Set-up"));
        a->refuse = true;
        QVERIFY(!UnloadForm(a));
        QVERIFY(IsFormLoaded(QStringLiteral("frmSystem")));
        a->refuse = false;
        QVERIFY(a->Unload());
        QVERIFY(!IsFormLoaded(QStringLiteral("frmSystem")));
    }

    // The caller waits until the window is gone: a dialog through its exec(), any other window
    // until it hides or unloads. (Ahead of endProgramRunsNoUnloadHandling: once EndProgram has
    // called QCoreApplication::exit, no event loop runs in this process.)
    void showFormModalWaitsForTheWindow_data()
    {
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<bool>("unload");
        QTest::newRow("window hidden") << false << false;
        QTest::newRow("window unloaded") << false << true;
        QTest::newRow("dialog") << true << false;
    }
    void showFormModalWaitsForTheWindow()
    {
        QFETCH(bool, dialog);
        QFETCH(bool, unload);
        QWidget* w = dialog ? static_cast<QWidget*>(new TestDialog)
                            : new TestForm(QStringLiteral("frmReport"), QStringLiteral("Report"));
        QPointer<QWidget> guard(w);
        bool modalWhileShown = false;
        QTimer::singleShot(0, w, [&] {
            modalWhileShown = guard->isVisible() && guard->isModal();
            if (unload)
                UnloadForm(guard);
            else
                guard->hide();
        });
        ShowFormModal(w);
        QVERIFY(modalWhileShown);
        QVERIFY(!guard || !guard->isVisible());
        if (guard)
            UnloadForm(guard);
    }

    void endProgramRunsNoUnloadHandling()
    {
        int unloads = 0;
        auto* a = new TestForm(QStringLiteral("frmSystem"), QStringLiteral("Set-up"));
        auto* d = new TestDialog;
        a->unloadCounter = &unloads;
        EndProgram();
        QVERIFY(ProgramEnding());
        QCOMPARE(unloads, 0);
        QVERIFY(LoadedForms().isEmpty());
        Q_UNUSED(d);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Work that keeps the program painted holds the deletion of windows (a session end) until
    // the last hold goes; other objects and direct deletion are not held.
    void deletionsOfWidgetsWaitForTheHolds()
    {
        QPointer<QWidget> window = new QWidget;
        QPointer<QObject> plain = new QObject;
        {
            const WidgetDeletionsHeld outer;
            {
                const WidgetDeletionsHeld inner;
                window->deleteLater();
                plain->deleteLater();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                QVERIFY(window);
                QVERIFY(!plain);
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(window);
            auto* direct = new QWidget;
            QPointer<QWidget> directGuard = direct;
            delete direct;
            QVERIFY(!directGuard);
        }
        QVERIFY(window);  // asked again from the event loop
        QTRY_VERIFY(!window);
    }

    // The program's own message box (no scripted prompt here): a window closed while it is open
    // (a session end) is not deleted under the question; it goes once the answer is back.
    void aWindowClosedDuringAQuestionOutlivesIt()
    {
        // A quit left pending by an earlier EndProgram would end the box's loop at once.
        ResetProgramEnding();
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        QPointer<QWidget> window = new QWidget;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        QApplication::setActiveWindow(window);
        bool thereWhileAsked = false;
        QTimer::singleShot(50, [&] {
            window->close();
            QTimer::singleShot(50, [&] {
                thereWhileAsked = !window.isNull();
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                        box->button(QMessageBox::Yes)->click();
            });
        });
        QCOMPARE(MsgBox(QStringLiteral("Go on?"), MsgButtons::YesNo), MsgAnswer::Yes);
        QVERIFY(thereWhileAsked);
        QVERIFY(window);
        QTRY_VERIFY(!window);
    }

    // A window goes on after its nested loop only while it exists.
    void outlivesLoopSaysWhetherTheWindowIsThere()
    {
        QPointer<QWidget> window = new QWidget;
        QVERIFY(OutlivesLoop(window.data(), [] { QCoreApplication::processEvents(); }));
        QVERIFY(!OutlivesLoop(window.data(), [&] { delete window.data(); }));
    }

    void factoriesOpenWindowsByName()
    {
        RegisterFormFactory(QStringLiteral("frmViewSystem"),
                            [] { return new TestForm(QStringLiteral("frmViewSystem"), QStringLiteral("KRV")); });
        QWidget* w = CreateForm(QStringLiteral("FRMVIEWSYSTEM"));
        QVERIFY(w);
        QVERIFY(IsFormLoaded(QStringLiteral("frmViewSystem")));
        QVERIFY(!CreateForm(QStringLiteral("frmUnknown")));
    }

    // Names as the windows spell them ("frmTunnelspecs" with a small s finds frmTunnelSpecs).
    void namesIgnoreCaseCaptionsDoNot_data()
    {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("exact") << "frmTunnelSpecs" << true;
        QTest::newRow("small s") << "frmTunnelspecs" << true;
        QTest::newRow("upper") << "FRMTUNNELSPECS" << true;
        QTest::newRow("prefix") << "frmTunnel" << false;
        QTest::newRow("longer") << "frmTunnelSpecs2" << false;
        QTest::newRow("empty") << "" << false;
    }

    void namesIgnoreCaseCaptionsDoNot()
    {
        QFETCH(QString, asked);
        QFETCH(bool, loaded);
        new TestForm(QStringLiteral("frmTunnelSpecs"), QStringLiteral("Tunnel Specifications"));
        QCOMPARE(IsFormLoaded(asked), loaded);
        // The same text as a caption counts only when it is the caption exactly.
        QVERIFY(!FormIsOpen(asked, false));
    }

    // The first window of the caption answers; a hidden one stays hidden when asked to the front.
    void formIsOpenBringsOnlyAVisibleWindowToTheFront()
    {
        auto* hidden = new TestForm(QStringLiteral("frmEleDef"), QStringLiteral("Element Definition"));
        QVERIFY(FormIsOpen(QStringLiteral("Element Definition"), true));
        QVERIFY(hidden->isHidden());

        auto* shown = new TestForm(QStringLiteral("frmExpCat"), QStringLiteral("Expenditure Category Definition"));
        auto* other = new TestForm(QStringLiteral("frmOther"), QStringLiteral("Other"));
        shown->show();
        other->show();
        other->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(other));
        QVERIFY(FormIsOpen(QStringLiteral("Expenditure Category Definition"), false));
        QVERIFY(!shown->isActiveWindow());
        QVERIFY(FormIsOpen(QStringLiteral("Expenditure Category Definition"), true));
        QVERIFY(QTest::qWaitForWindowActive(shown));
        QVERIFY(hidden->isHidden());
    }

    // Every instance goes, also when one refuses, and when one closes another of the same
    // name as it unloads: each runs its unload handling once.
    // Enter presses the focused command button, in a plain window as in a dialog whose
    // buttons are no auto-default.
    void enterPressesTheFocusedButton_data()
    {
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("clicks");
        QTest::newRow("window, Return") << false << int(Qt::Key_Return) << true << 1;
        QTest::newRow("window, keypad Enter") << false << int(Qt::Key_Enter) << true << 1;
        QTest::newRow("dialog, Return") << true << int(Qt::Key_Return) << true << 1;
        QTest::newRow("window, Space as ever") << false << int(Qt::Key_Space) << true << 1;
        QTest::newRow("disabled button") << false << int(Qt::Key_Return) << false << 0;  // the focus moved on
    }
    void enterPressesTheFocusedButton()
    {
        QFETCH(bool, dialog);
        QFETCH(int, key);
        QFETCH(bool, enabled);
        QFETCH(int, clicks);
        QWidget* w = dialog ? static_cast<QWidget*>(new TestDialog) : new TestForm(QStringLiteral("frmA"), "A");
        auto* other = new QPushButton(QStringLiteral("Other"), w);
        auto* button = new QPushButton(QStringLiteral("Save"), w);
        button->move(0, 40);
        other->setAutoDefault(false);
        button->setAutoDefault(false);
        int pressed = 0, otherPressed = 0;
        connect(button, &QPushButton::clicked, [&pressed] { ++pressed; });
        connect(other, &QPushButton::clicked, [&otherPressed] { ++otherPressed; });
        w->show();
        button->setFocus();
        button->setEnabled(enabled);
        QTest::keyClick(enabled ? static_cast<QWidget*>(button) : w, Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(pressed, clicks);
        if (enabled)
            QCOMPARE(otherPressed, 0);
        UnloadForm(w);
    }

    // An edit in progress is settled however the window closes: one question, Cancel keeps
    // the window, Yes saves (and keeps it when the save fails), No drops; a window unloaded
    // because its tunnel went drops the edit without one.
    void closingSettlesTheEdit_data()
    {
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saveFails");
        QTest::addColumn<bool>("staysOpen");
        QTest::addColumn<int>("saves");
        const int yes = int(MsgAnswer::Yes), no = int(MsgAnswer::No), cancel = int(MsgAnswer::Cancel);
        for (const bool dialog : {false, true})
            for (const char* way : {"close", "unload", "esc"}) {
                if (!dialog && qstrcmp(way, "esc") == 0)
                    continue;
                const QByteArray row = QByteArray(dialog ? "dialog, " : "window, ") + way;
                QTest::newRow(row + ", no edit") << dialog << QString::fromLatin1(way) << false << 0 << false << false << 0;
                QTest::newRow(row + ", Cancel") << dialog << QString::fromLatin1(way) << true << cancel << false << true << 0;
                QTest::newRow(row + ", Yes") << dialog << QString::fromLatin1(way) << true << yes << false << false << 1;
                QTest::newRow(row + ", Yes, save fails") << dialog << QString::fromLatin1(way) << true << yes << true << true << 0;
                QTest::newRow(row + ", No") << dialog << QString::fromLatin1(way) << true << no << false << false << 0;
            }
        QTest::newRow("window, tunnel removed") << false << "tunnel" << true << 0 << false << false << 0;
    }
    void closingSettlesTheEdit()
    {
        QFETCH(bool, dialog);
        QFETCH(QString, way);
        QFETCH(bool, typed);
        QFETCH(int, answer);
        QFETCH(bool, saveFails);
        QFETCH(bool, staysOpen);
        QFETCH(int, saves);
        ScriptedPrompt prompt;
        if (answer != 0)
            prompt.answer(MsgAnswer(answer));
        QPointer<QWidget> w;
        int* savesOf = nullptr;
        if (dialog) {
            auto* d = new EditingWindow<QDialog>;
            d->typed = typed;
            d->saveFails = saveFails;
            savesOf = &d->saves;
            w = d;
        } else {
            auto* f = new EditingWindow<QWidget>;
            f->typed = typed;
            f->saveFails = saveFails;
            savesOf = &f->saves;
            w = f;
        }
        w->show();
        if (way == QLatin1String("close"))
            w->close();
        else if (way == QLatin1String("unload"))
            UnloadFormByName(QStringLiteral("frmEditing"));
        else if (way == QLatin1String("esc"))
            QTest::keyClick(w, Qt::Key_Escape);
        else {
            SetFormTunnel(w, 7);
            NotifyTunnelRemoved(7);
        }
        const bool asked = typed && way != QLatin1String("tunnel");
        QCOMPARE(prompt.calls.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(prompt.calls[0].text, QStringLiteral("The notes have not been saved.\r\nSave them now?"));
            QCOMPARE(prompt.calls[0].title, QStringLiteral("Save Data"));
            QCOMPARE(prompt.calls[0].buttons, MsgButtons::YesNoCancel);
        }
        QCOMPARE(*savesOf, saves);
        QCOMPARE(bool(w && w->isVisible() && LoadedForms().contains(w.data())), staysOpen);
        if (w) {
            if (dialog)
                static_cast<EditingWindow<QDialog>*>(w.data())->typed = false;
            else
                static_cast<EditingWindow<QWidget>*>(w.data())->typed = false;
            UnloadForm(w);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void unloadFormByNameWalksASnapshot()
    {
        auto* a = new TestForm(QStringLiteral("frmImages"), QStringLiteral("Picture 1"));
        auto* b = new TestForm(QStringLiteral("frmImages"), QStringLiteral("Picture 2"));
        auto* c = new TestForm(QStringLiteral("frmImages"), QStringLiteral("Picture 3"));
        auto* d = new TestForm(QStringLiteral("frmImages"), QStringLiteral("Picture 4"));
        auto* keep = new TestForm(QStringLiteral("frmDataInput"), QStringLiteral("Rating"));
        a->companion = c;  // a closes c as it unloads
        b->refuse = true;
        QPointer<TestForm> pc(c), pd(d);
        int cUnloads = 0;
        c->unloadCounter = &cUnloads;

        UnloadFormByName(QStringLiteral("FRMImages"));
        QCOMPARE(LoadedForms(), (QList<QWidget*>{b, keep}));
        QCOMPARE(cUnloads, 1);
        QCOMPARE(b->unloads, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!pc);
        QVERIFY(!pd);
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
