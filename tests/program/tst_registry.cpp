#include "fieldforms.h"
#include "forms.h"
#include "inspectionforms.h"
#include "inventoryforms.h"
#include "mediaforms.h"
#include "reportsforms.h"
#include "reviewforms.h"

#include <QTest>

// Windows open one another by name; a window that is built but not registered would leave
// its commands disabled for good.
class TestRegistry : public QObject {
    Q_OBJECT
private slots:
    void everyBuiltWindowCanBeOpenedByName()
    {
        RegisterInventoryForms();
        RegisterInspectionForms();
        RegisterReviewForms();
        RegisterMediaForms();
        RegisterReportsForms();
        RegisterFieldForms();
        const QStringList windows = {
            "frmSystem",     "frmViewSystem", "frmOpenSysMap",   "frmEleDef",    "frmDataTabs",
            "frmTunnelSpecs", "frmPanelElements", "frmInspectionPd", "frmDataInput", "frmPost",
            "frmDataView",   "frmIPdialog",   "frmExpense",      "frmImages",    "frmImgInput",
            "frmMultImg",    "frmVideo",      "frmVideoView",    "frmPrintKeyplan", "frmPrintPreview",
            "frmCreateReplica", "frmSyncFS",   "frmSyncData"};
        for (const QString& name : windows)
            QVERIFY2(FormIsAvailable(name), qPrintable(name));
    }
};

QTEST_MAIN(TestRegistry)
#include "tst_registry.moc"
