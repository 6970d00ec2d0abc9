#include "startup.h"

#include "db.h"
#include "dbhighlights.h"
#include "dbsystem.h"
#include "dbusers.h"
#include "failurereason.h"
#include "forms.h"
#include "frmDBManager.h"
#include "frmHelp.h"
#include "frmLocateDb.h"
#include "frmLogon.h"
#include "globals.h"
#include "krverror.h"
#include "modkrv.h"
#include "prompt.h"
#include "settings.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>

namespace {

QString gHelpFile = QStringLiteral("help.html");

// The SystemID of the first System row; gSystemID keeps its value when there is none.
void readSystemId()
{
    const RowSet rs = DbGetSystem();
    if (!rs.isEmpty())
        gSystemID = rs.toInt(0, QStringLiteral("SystemID"));
}

// The file looked for, and why it was not found: a user who moved the folder sees where.
QString missingDatabaseReason(const QString& path)
{
    const QFileInfo fi(path);
    return SystemErrorReason(fi.isDir() ? EISDIR : fi.exists() ? EINVAL : ENOENT, path);
}

void showMainWindow(const QString& name)
{
    QWidget* w = CreateForm(name);
    if (!w)
        throw FormNotInProgram(name);
    w->show();
}

}  // namespace

QString HelpFile() { return gHelpFile; }

void SetHelpFile(const QString& fileName) { gHelpFile = fileName; }

void ShowHelpContents(const QString& title, const QString& source)
{
    if (gHelpFile.isEmpty()) {
        MsgBox(QStringLiteral("Unable to display Help Contents. There is no Help associated with this project."),
               MsgButtons::Ok, MsgIcon::Information, title);
        return;
    }
    const QString path = QDir::isAbsolutePath(gHelpFile) ? gHelpFile : ProgramFile(gHelpFile);
    if (!QFileInfo(path).isFile()) {
        LogError(WithReason(QStringLiteral("Error locating help file"),
                            SystemErrorReason(QFileInfo::exists(path) ? EISDIR : ENOENT, path)),
                 source, ErrNo::FileNotFound, QStringLiteral("The help document %1 does not exist.").arg(path));
        return;
    }
    // Shown in the program's own window: a desktop without an HTML viewer still gets help.
    if (!frmHelp::Show(path, title))
        LogError(QStringLiteral("Error locating help file"), source, -1,
                 QStringLiteral("The help document %1 could not be opened.").arg(path));
}

void Main()
{
    try {
        gPictureFound = true;
        // A second run starts with fresh connections.
        gConn.close();
        gReportConn.close();

        // An unreadable krv.ini leaves the defaults in use; the log says why.
        if (const QString problem = IniProblem(); !problem.isEmpty())
            LogError(QString(), QStringLiteral("KRV"), ErrNo::PermissionDenied, problem);

        gDbPath = IniGetDatabaseFile();
        gDbFolder = GetFolderPart(gDbPath);
        // A file another program holds is in use, not missing: it is asked for again, never
        // located anew (a new choice would replace the stored path for good).
        QString why;
        DbFileState state = TunnelDatabaseState(gDbPath, &why);
        while (state == DbFileState::InUse) {
            if (MsgBox(QStringLiteral("The database %1 is in use by another program and cannot be opened now.  "
                                      "Retry when it is free, or Cancel to end.")
                           .arg(QDir::toNativeSeparators(gDbPath)),
                       MsgButtons::RetryCancel, MsgIcon::Warning) != MsgAnswer::Retry) {
                gLogonStatus = LogonStatus::Cancelled;
                EndProgram();
                return;
            }
            state = TunnelDatabaseState(gDbPath, &why);
        }
        // A stored file that is no tunnel database is located again, as a missing one is; the
        // message says which of the two it is.
        if (state != DbFileState::TunnelDatabase) {
            MsgBox(state == DbFileState::NotTunnelDatabase
                       ? QStringLiteral("The file %1 is not a tunnel database.%2  Please locate a valid tunnel database.")
                             .arg(QDir::toNativeSeparators(gDbPath),
                                  why.isEmpty() ? QString() : QStringLiteral("  ") + why)
                       : WithReason(QStringLiteral("Database not found.  Please locate a valid tunnel database."),
                                    missingDatabaseReason(gDbPath)),
                   MsgButtons::Ok, MsgIcon::Critical);
            if (!frmLocateDb::Locate()) {
                EndProgram();
                return;
            }
        }

        gConn.open(gDbPath);
        DbEnsureHighlightColumns();
        readSystemId();

        if (DbAnyWizard()) {
            auto* logon = new frmLogon;
            logon->exec();  // frees the dialog when it returns
        } else {
            gLogonStatus = LogonStatus::NoWizard;
        }

        DbLoadHighlights();

        switch (gLogonStatus) {
        case LogonStatus::LoggedOn:
            showMainWindow(gIsWizard ? QStringLiteral("frmSystem") : QStringLiteral("frmViewSystem"));
            break;
        case LogonStatus::Cancelled:
            EndProgram();
            break;
        case LogonStatus::InvalidUser:
            MsgBox(QStringLiteral("Unable to log into system.  Invalid user name."), MsgButtons::Ok, MsgIcon::Warning);
            EndProgram();
            break;
        case LogonStatus::InvalidPassword:
            // No window opens; with none left the program ends.
            MsgBox(QStringLiteral("Unable to log into system.  Invalid password."), MsgButtons::Ok, MsgIcon::Warning);
            break;
        case LogonStatus::NoWizard:
            (new frmDBManager)->show();
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Unable to launch KRV."), QStringLiteral("KRV"), e);
    }
}

bool ProgramHasWindowToRun()
{
    if (ProgramEnding())
        return false;
    for (QWidget* w : LoadedForms())
        if (w->isVisible())
            return true;
    return false;
}
