#pragma once
#include "db.h"
#include "forms.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

// Chooser of posted periods: one period of a tunnel, or two to compare, for the review
// window (frmDataView, opened by name). Modal; it hides before the review opens and
// unloads afterwards. Only periods with posted ratings are offered.
class frmIPdialog : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmIPdialog(QWidget* parent = nullptr);

    // Fills both lists and shows the dialog modal; returns when it has unloaded. A
    // database error while filling reaches the caller.
    Q_INVOKABLE void LoadForm(qint32 TunnelID);

    QLabel* lblTName;
    QLabel* Label1;
    QComboBox* InspectionYr1;
    QLabel* Label2;
    QComboBox* InspectionYr2;
    QPushButton* cmdCompare;
    QPushButton* cmdCancel;

protected:
    void reject() override { Unload(); }

private:
    RowSet GetPostedPeriods(qint32 tunnelId) const;
    void InspectionYr1_Click();
    void cmdCompare_Click();
    void cmdCancel_Click();

    qint32 m_tunnelId = 0;
};
