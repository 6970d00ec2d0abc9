#include "forms.h"
#include "testinstall.h"

#include <QDialog>
#include <QMainWindow>
#include <QTest>

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

protected:
    bool QueryUnload() override { return !refuse; }
    void FormUnload() override
    {
        ++unloads;
        if (unloadCounter)
            ++*unloadCounter;
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

    void factoriesOpenWindowsByName()
    {
        RegisterFormFactory(QStringLiteral("frmViewSystem"),
                            [] { return new TestForm(QStringLiteral("frmViewSystem"), QStringLiteral("KRV")); });
        QWidget* w = CreateForm(QStringLiteral("FRMVIEWSYSTEM"));
        QVERIFY(w);
        QVERIFY(IsFormLoaded(QStringLiteral("frmViewSystem")));
        QVERIFY(!CreateForm(QStringLiteral("frmUnknown")));
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
