#pragma once
#include "forms.h"

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;

// The set-up window of a wizard user. For now it offers the user manager, help, About,
// Close (hands over to frmViewSystem) and Exit; the system map and the set-up commands
// come with the inventory screens.
class frmSystem : public KrvForm<QMainWindow> {
    Q_OBJECT
public:
    explicit frmSystem(QWidget* parent = nullptr);

    QMenu* mnuSys;
    QAction* mnuUsers;
    QAction* mnuClose;
    QAction* mnuExit;
    QMenu* mnuHelp;
    QAction* mnuHelpContents;
    QAction* mnuAbout;
    QLabel* Label1;

    // Unloads every other window and this one; with showViewer, then opens frmViewSystem.
    void CloseWizard(bool showViewer);
};
