#pragma once
#include "forms.h"
#include "frmPrintKeyplanTarget.h"

#include <QDialog>
#include <QPointer>
#include <QVector>

class QLabel;
class QListWidget;
class QPushButton;
class frmPrintPreview;

// The key plan sheet of the panel that is current in the rating entry window
// (frmDataInput) or the review window (frmDataView): the date and tunnel name, the part of
// the tunnel picture the caller's map shows, the panel's ratings, and per period its
// comments and defect quantities; from the review window also the repair log, emergency
// incidents and custom data tabs. The user checks the sections and prints them or
// previews them (frmPrintPreview).
//
// The caller stays loaded while this window is open: every output run reads its controls
// afresh, by name (ZVMap1, lblName or lblPanelID with property "Tag" = PanelID, and the
// arrays lblYear1, lblYear2, lblElement, lblRate1, lblRate2 or txtRate1, each element a
// child with that objectName and property "Index").
class frmPrintKeyplan : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmPrintKeyplan(QWidget* parent = nullptr);

    // Keeps the caller and the two periods (0 = none), fills the section list and checks
    // every item; does not show the window. A failure is logged and the window unloads.
    Q_INVOKABLE void LoadForm(qint32 TunnelID, qint32 InspectionID1, qint32 InspectionID2, QObject* CallerForm);

    // A window that unloaded itself (a failed LoadForm) is not shown again.
    int exec() override;

    qint32 InspectionID1() const { return m_inspectionId1; }
    qint32 InspectionID2() const { return m_inspectionId2; }
    qint32 Year1() const { return m_year1; }
    qint32 Year2() const { return m_year2; }
    QObject* CallerForm() const { return m_caller; }

    // Writes the header and the checked sections onto the target.
    void OutputRun(KeyplanTarget& target);
    // What the last output run drew (the printer's or the preview's).
    const QVector<PrintItem>& LastOutput() const { return m_lastOutput; }

    QLabel* Label1 = nullptr;
    QListWidget* lvPrint = nullptr;
    QPushButton* cmdPreview = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdSelectAll = nullptr;
    QPushButton* cmdUnselectAll = nullptr;

protected:
    void FormUnload() override;

private:
    void cmdPreview_Click();
    void cmdPrint_Click();
    void cmdCancel_Click();
    void setAllChecked(bool checked);
    void addItem(const QString& text);
    bool sectionChecked(const QString& text) const;

    bool fromDataView() const;
    bool fromDataInput() const;
    QObject* caller() const;
    qint32 panelId() const;

    void PageHeader(KeyplanTarget& t);
    void TunnelImage(KeyplanTarget& t);
    void Ratings(KeyplanTarget& t);
    void Comments(KeyplanTarget& t, qint32 inspectionId, qint32 year);
    void DefectQuantities(KeyplanTarget& t, qint32 inspectionId, qint32 year);
    void Records(KeyplanTarget& t, bool emergencies);
    void CustomTab(KeyplanTarget& t, const QString& caption, qint32 tabIndex);
    static void Title(KeyplanTarget& t, const QString& text);

    QPointer<QObject> m_caller;
    QString m_callerName;
    qint32 m_tunnelId = 0;
    qint32 m_inspectionId1 = 0;
    qint32 m_inspectionId2 = 0;
    qint32 m_year1 = 0;
    qint32 m_year2 = 0;
    double m_headerBottom = 0;  // the foot of the tunnel's name in the page header
    QVector<PrintItem> m_lastOutput;
};
