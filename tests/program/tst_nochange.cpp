// A window that the user opens and closes, or saves without changing anything, writes
// nothing: no row, not even one set to the value it holds, so an exchange has nothing to
// send and a replica's change waits for no one. Run on the demo installation, each window
// opened as its command opens it and closed through its own unload handling.
#include "demowindows.h"
#include "writecount.h"

#include <QApplication>
#include <QListWidget>
#include <QTabWidget>
#include <QTreeWidget>

class TestNoChange : public QObject {
    Q_OBJECT

    DemoWindows m_demo;

    template <class T>
    static T* child(QWidget* w, const char* name) { return DemoWindows::child<T>(w, name); }
    static void click(QWidget* w, const char* name) { DemoWindows::click(w, name); }

    // What the user does between opening and closing: nothing, or a save of nothing.
    void act(const QString& action, QWidget* w)
    {
        if (action == QLatin1String("edit, save")) {
            m_demo.prompt().answer(MsgAnswer::Yes);  // "Are you sure?"
            click(w, "cmdEdit");
            click(w, "cmdSave");
        } else if (action == QLatin1String("save")) {
            click(w, "cmdSave");
        } else if (action == QLatin1String("select, edit, save")) {
            auto* list = child<QTreeWidget>(w, "lvExp");
            QVERIFY(list && list->topLevelItemCount() > 0);
            list->setCurrentItem(list->topLevelItem(0));
            click(w, "cmdEdit");
            click(w, "cmdSave");
        } else if (action == QLatin1String("text tab, edit, save")) {
            auto* tabs = child<QTabWidget>(w, "SSTab1");
            QVERIFY(tabs && tabs->count() > 6);
            tabs->setCurrentIndex(6);
            click(w, "cmdEditAddl");
            click(w, "cmdSaveAddl");
        } else if (action == QLatin1String("select, update")) {
            auto* list = child<QListWidget>(w, "lstEle");
            QVERIFY(list && list->count() > 0);
            list->setCurrentRow(0);
            list->item(0)->setSelected(true);
            click(w, "cmdUpdate");
        } else if (action == QLatin1String("ok")) {
            click(w, "cmdOk");
        }
    }

private slots:
    void initTestCase() { m_demo.setUp(); }
    void cleanupTestCase() { m_demo.tearDown(); }

    void openAndCloseWritesNothing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("action");
        const QStringList definitions{"frmSystem", "frmEleDef elements", "frmEleDef expenditure", "frmDataTabs",
                                      "frmTunnelSpecs", "frmPanelElements", "frmInspectionPd", "frmDataInput",
                                      "frmDataView", "frmExpense", "frmImgInput", "frmVideo", "frmUser"};
        for (const QString& key : definitions)
            QTest::newRow(qPrintable(key + ", opened and closed")) << key << QString();
        QTest::newRow("frmDataInput, saved unchanged") << "frmDataInput" << "edit, save";
        QTest::newRow("frmDataTabs, saved unchanged") << "frmDataTabs" << "save";
        QTest::newRow("frmExpense, saved unchanged") << "frmExpense" << "select, edit, save";
        QTest::newRow("frmDataView, text saved unchanged") << "frmDataView" << "text tab, edit, save";
        QTest::newRow("frmEleDef, element updated unchanged") << "frmEleDef elements" << "select, update";
        QTest::newRow("frmUser, rights kept") << "frmUser" << "ok";
    }
    void openAndCloseWritesNothing()
    {
        QFETCH(QString, key);
        QFETCH(QString, action);
        m_demo.prompt().calls.clear();
        m_demo.prompt().answers.clear();
        WriteCount writes;
        m_demo.withWindow(key, [&](QWidget* w) {
            QPointer<QWidget> guard(w);
            act(action, w);
            if (guard && LoadedForms().contains(guard.data()))
                QVERIFY2(UnloadForm(guard), qPrintable(key));
        });
        for (QWidget* w : LoadedForms())
            UnloadForm(w);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(writes.rows() == 0, qPrintable(QStringLiteral("%1 rows written; prompts: %2")
                                                    .arg(writes.rows())
                                                    .arg(m_demo.prompt().messages().join(QStringLiteral(" | ")))));
        QVERIFY(!writes.fileChanged());
    }
};

QTEST_MAIN(TestNoChange)
#include "tst_nochange.moc"
