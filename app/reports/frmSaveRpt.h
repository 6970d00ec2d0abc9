#pragma once
#include "forms.h"

#include <QDialog>
#include <QPointer>

class QComboBox;
class QLabel;
class QPushButton;

// Picks the name of a saved report definition: an existing one from the list, or a new one
// typed in. Hands the name back through the caller's RptName property ("" on Cancel).
// Prepared by one of the three Load methods, then shown modal; unloads itself.
class frmSaveRpt : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmSaveRpt(QWidget* parent = nullptr);

    Q_INVOKABLE void LoadSave(QObject* caller, const QString& reportKind);
    Q_INVOKABLE void LoadOpen(QObject* caller, const QString& reportKind);
    Q_INVOKABLE void LoadDelete(QObject* caller, const QString& reportKind);

    // The definitions table of a report kind: ExpenditureRpt, TunnelRpt or DefectRpt; "" for none.
    static QString DefinitionTable(const QString& reportKind);

    QLabel* Label1;
    QLabel* Label2;
    QComboBox* cboRptName;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;

protected:
    void reject() override { cmdCancel_Click(); }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillNames(QObject* caller, const QString& reportKind);
    void setRptName(const QString& name);
    void cmdOk_Click();
    void cmdCancel_Click();
    // The entry of the list that is the same name as `name` (the exact one first); null when none.
    QString SameNameInList(const QString& name) const;

    QPointer<QObject> m_caller;
    QString m_kind;
};
