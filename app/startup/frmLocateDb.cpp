#include "frmLocateDb.h"

#include "db.h"
#include "globals.h"
#include "krverror.h"
#include "modkrv.h"
#include "prompt.h"
#include "settings.h"

#include <QDir>
#include <QFileInfo>

frmLocateDb::frmLocateDb() : KrvForm<QWidget>(QStringLiteral("frmLocateDb"))
{
    QString path = askForFile();
    bool gaveUp = path.isEmpty();
    // Checked before it is stored: a file that is no tunnel database would otherwise be
    // written to krv.ini and fail every later start. One another program holds is waited for.
    while (!gaveUp) {
        QString why;
        const DbFileState state = TunnelDatabaseState(path, &why);
        if (state == DbFileState::TunnelDatabase)
            break;
        if (state == DbFileState::InUse) {
            gaveUp = MsgBox(path + QStringLiteral(" is in use by another program.  Retry when it is free?"),
                            MsgButtons::RetryCancel, MsgIcon::Warning) != MsgAnswer::Retry;
            continue;
        }
        const QString question = state == DbFileState::NotTunnelDatabase
                                     ? path + QStringLiteral(" is not a tunnel database.") +
                                           (why.isEmpty() ? QString() : QStringLiteral("  ") + why) +
                                           QStringLiteral("  Locate another file?")
                                     : path + QStringLiteral(" does not exist.  Locate existing file?");
        if (MsgBox(question, MsgButtons::YesNo) == MsgAnswer::Yes) {
            path = askForFile();
            gaveUp = path.isEmpty();
        } else {
            gaveUp = true;
        }
    }

    if (gaveUp) {
        gLogonStatus = LogonStatus::Cancelled;
        MsgBox(QStringLiteral("The Quorrel cannot be opened without a valid database file."));
        return;
    }

    // A krv.ini that cannot be written must not throw away a good choice: the file is
    // used for this run, krv.ini keeps its old settings, and the user is told why.
    QString error;
    if (!IniSetDatabaseFile(path, &error))
        LogError(QStringLiteral("The database %1 is used for this run only: its place could not be stored.")
                         .arg(QDir::toNativeSeparators(path)) +
                     QLatin1Char('\n') + error,
                 objectName(), ErrNo::PermissionDenied, error);
    gDbPath = path;
    gDbFolder = GetFolderPart(path);
    m_found = true;
}

QString frmLocateDb::askForFile()
{
    return Prompt().openFileName(QString(), QString(), QStringLiteral("Tunnel Database Files (*.db)"));
}

bool frmLocateDb::Locate()
{
    auto* form = new frmLocateDb;
    const bool found = form->found();
    form->Unload();
    return found;
}
