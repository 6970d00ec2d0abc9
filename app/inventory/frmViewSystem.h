#pragma once
#include "forms.h"

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;

// The main window of every user not working in the set-up window. For now it offers
// Exit, the administrator commands that exist (set-up window, user manager), help and
// About, trimmed to the user's rights; the system map comes with the inventory screens.
// Unloading it unloads every other window.
class frmViewSystem : public KrvForm<QMainWindow> {
    Q_OBJECT
public:
    explicit frmViewSystem(QWidget* parent = nullptr);

    QMenu* mnuSystem;
    QAction* mnuExit;
    QMenu* mnuAdmin;
    QAction* mnuWizardSystem;
    QAction* mnuWizardInspPd;
    QAction* mnuRatingsInput;
    QAction* mnuUsers;
    QMenu* mnuHelp;
    QAction* mnuHelpContents;
    QAction* mnuAbout;
    QLabel* Label1;

protected:
    void FormUnload() override;
};
