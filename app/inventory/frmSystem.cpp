#include "frmSystem.h"

#include "frmAbout.h"
#include "frmDBManager.h"
#include "modkrv.h"
#include "settings.h"
#include "startup.h"

#include <QLabel>
#include <QMenuBar>
#include <QPointer>

namespace {
QAction* menuItem(QMenu* menu, const QString& text, const char* name)
{
    QAction* a = menu->addAction(text);
    a->setObjectName(QLatin1String(name));
    return a;
}
}  // namespace

frmSystem::frmSystem(QWidget* parent) : KrvForm<QMainWindow>(QStringLiteral("frmSystem"), parent)
{
    setWindowTitle(QStringLiteral("Corvane Quorrel"));

    mnuSys = menuBar()->addMenu(QStringLiteral("&System"));
    mnuSys->setObjectName(QStringLiteral("mnuSys"));
    mnuUsers = menuItem(mnuSys, QStringLiteral("User Manager"), "mnuUsers");
    mnuSys->addSeparator();
    mnuClose = menuItem(mnuSys, QStringLiteral("&Close Wizard"), "mnuClose");
    mnuExit = menuItem(mnuSys, QStringLiteral("E&xit"), "mnuExit");
    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpContents = menuItem(mnuHelp, QStringLiteral("&Contents..."), "mnuHelpContents");
    mnuHelp->addSeparator();
    mnuAbout = menuItem(mnuHelp, QStringLiteral("&About"), "mnuAbout");

    Label1 = new QLabel(QStringLiteral("Quorrel set-up"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    setCentralWidget(Label1);

    connect(mnuUsers, &QAction::triggered, this, [this] {
        auto* manager = new frmDBManager(this);
        manager->exec();
    });
    connect(mnuClose, &QAction::triggered, this, [this] { CloseWizard(true); });
    connect(mnuExit, &QAction::triggered, this, [this] { CloseWizard(false); });
    connect(mnuHelpContents, &QAction::triggered, this, [this] { ShowHelpContents(windowTitle(), objectName()); });
    connect(mnuAbout, &QAction::triggered, this, [this] { (new frmAbout(this))->exec(); });

    resize(900, 600);
    RestoreFormPosition(this);
}

void frmSystem::CloseWizard(bool showViewer)
{
    for (QWidget* w : LoadedForms())
        if (w != this)
            UnloadForm(w);
    if (!UnloadForm(this))
        return;
    if (showViewer)
        if (QWidget* viewer = CreateForm(QStringLiteral("frmViewSystem")))
            viewer->show();
}
