#pragma once
#include "forms.h"

#include <QDialog>

class ClickLabel;
class QFrame;
class QLabel;
class QLineEdit;
class QToolButton;

// The logon dialog, shown modal by the start-up. Sets gLogonStatus (Cancelled until a
// logon succeeds or fails for good) and, on success, gIsWizard and gIsDataEntry. Three
// tries in all; after the third failure it unloads and the start-up reports it.
class frmLogon : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmLogon(QWidget* parent = nullptr);

    QToolButton* cmdLogin;
    QToolButton* cmdExit;
    QLabel* Label1;
    QLineEdit* txtName;
    QLabel* Label2;
    QLineEdit* txtPW;
    ClickLabel* cmdOk;
    ClickLabel* cmdCancel;
    QFrame* Shape1;
    QFrame* Shape2;
    QFrame* Shape3;

    bool logonFieldsShown() const { return m_fieldsShown; }
    int failures() const { return m_failures; }

    // The name of the operating-system user who runs the program; "" when unknown.
    static QString CurrentUserName();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void reject() override { Unload(); }

private:
    void ShowLogonFields(bool show);
    void cmdLogin_Click();
    void cmdExit_Click();
    void cmdOk_Click();

    bool m_fieldsShown = false;
    qint16 m_failures = 0;
};
