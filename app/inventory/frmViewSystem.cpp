#include "frmViewSystem.h"

#include "frmAbout.h"
#include "frmDBManager.h"
#include "globals.h"
#include "modkrv.h"
#include "settings.h"
#include "startup.h"

#include <QLabel>
#include <QMenuBar>

namespace {
QAction* menuItem(QMenu* menu, const QString& text, const char* name)
{
    QAction* a = menu->addAction(text);
    a->setObjectName(QLatin1String(name));
    return a;
}
}  // namespace

frmViewSystem::frmViewSystem(QWidget* parent) : KrvForm<QMainWindow>(QStringLiteral("frmViewSystem"), parent)
{
    setWindowTitle(QStringLiteral("Corvane Quorrel"));

    mnuSystem = menuBar()->addMenu(QStringLiteral("&System"));
    mnuSystem->setObjectName(QStringLiteral("mnuSystem"));
    mnuExit = menuItem(mnuSystem, QStringLiteral("E&xit"), "mnuExit");
    mnuAdmin = menuBar()->addMenu(QStringLiteral("&Administrator"));
    mnuAdmin->setObjectName(QStringLiteral("mnuAdmin"));
    mnuWizardSystem = menuItem(mnuAdmin, QStringLiteral("&System Definition"), "mnuWizardSystem");
    mnuWizardInspPd =
        menuItem(mnuAdmin, QStringLiteral("&Inspection Period Definition and Ratings Input"), "mnuWizardInspPd");
    mnuRatingsInput = menuItem(mnuAdmin, QStringLiteral("&Ratings Input"), "mnuRatingsInput");
    mnuRatingsInput->setCheckable(true);
    mnuUsers = menuItem(mnuAdmin, QStringLiteral("&User Manager"), "mnuUsers");
    // Rating entry comes with the inspection screens.
    mnuWizardInspPd->setEnabled(false);
    mnuRatingsInput->setEnabled(false);
    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpContents = menuItem(mnuHelp, QStringLiteral("&Contents..."), "mnuHelpContents");
    mnuHelp->addSeparator();
    mnuAbout = menuItem(mnuHelp, QStringLiteral("&About"), "mnuAbout");

    Label1 = new QLabel(QStringLiteral("Click on a tunnel in the image to select."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    setCentralWidget(Label1);

    // The user's rights trim the administrator commands.
    if (!gIsWizard) {
        mnuWizardSystem->setVisible(false);
        mnuUsers->setVisible(false);
        if (!gIsDataEntry)
            mnuAdmin->menuAction()->setVisible(false);
    }

    connect(mnuExit, &QAction::triggered, this, [this] { Unload(); });
    connect(mnuWizardSystem, &QAction::triggered, this, [this] {
        if (!Unload())
            return;
        if (QWidget* setup = CreateForm(QStringLiteral("frmSystem")))
            setup->show();
    });
    connect(mnuUsers, &QAction::triggered, this, [this] {
        auto* manager = new frmDBManager(this);
        manager->exec();
    });
    connect(mnuHelpContents, &QAction::triggered, this, [this] { ShowHelpContents(windowTitle(), objectName()); });
    connect(mnuAbout, &QAction::triggered, this, [this] { (new frmAbout(this))->exec(); });

    resize(900, 600);
    RestoreFormPosition(this);
}

void frmViewSystem::FormUnload()
{
    SaveFormPosition(this);
    for (QWidget* w : LoadedForms())
        if (w != this)
            UnloadForm(w);
}
