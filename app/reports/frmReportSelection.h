#pragma once
#include "elementperformance.h"
#include "forms.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

// The report chooser: the kinds of the Reports table, then one element condition
// evaluation per element category. "Element Performance" is built here; every other kind
// goes to the report criteria window.
class frmReportSelection : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmReportSelection(QWidget* parent = nullptr);

    // Reads the posted ratings, builds the element performance report and shows it in the
    // report viewer, modally. No posted ratings: nothing is shown.
    Q_INVOKABLE void CreateElePerfRep();
    // The lists of the last run.
    const PerfLists& Lists() const { return m_lists; }

    void cmdOk_Click();
    void cmdCancel_Click();

    QLabel* Label1 = nullptr;
    QComboBox* cboReports = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    void Form_Load();
    // False (logged) when the report could not be built; the viewer then has no report.
    bool BuildReport();
    void offerCurrent();

    PerfLists m_lists;
};
