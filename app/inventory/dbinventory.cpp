#include "dbinventory.h"

#include "dbbind.h"
#include "globals.h"
#include "helpers.h"
#include "krverror.h"
#include "modkrv.h"
#include "settings.h"

#include <QDir>
#include <QFileInfo>

namespace {

Outline outlineOf(const RowSet& rows, const QString& xColumn, const QString& yColumn)
{
    Outline outline;
    outline.reserve(rows.count());
    for (int k = 0; k < rows.count(); ++k)
        outline.append({rows.toInt(k, xColumn), rows.toInt(k, yColumn)});
    return outline;
}

QString textOrEmpty(const QVariant& v) { return v.isNull() ? QString() : v.toString(); }

}  // namespace

Outline DbGetTunnelOutline(qint32 tunnelId)
{
    qint32 count = 0;
    const RowSet coords = DbGetTunnelCoords(tunnelId, count);
    if (count <= 0)
        return {};
    return outlineOf(coords, QStringLiteral("TunnelX"), QStringLiteral("TunnelY"));
}

Outline DbGetPanelOutline(qint32 panelId)
{
    qint32 count = 0;
    const RowSet coords = DbGetPanelCoords(panelId, count);
    if (count <= 0)
        return {};
    return outlineOf(coords, QStringLiteral("PanelX"), QStringLiteral("PanelY"));
}

SystemSettings SystemSettingsOf(const RowSet& systemRs)
{
    SystemSettings s;
    s.systemId = systemRs.toInt(0, QStringLiteral("SystemID"));
    s.name = textOrEmpty(systemRs.value(0, QStringLiteral("SystemName")));
    s.picture = textOrEmpty(systemRs.value(0, QStringLiteral("SystemPicture")));
    const QVariant width = systemRs.value(0, QStringLiteral("DrawWidth"));
    s.drawWidth = width.isNull() ? 1 : qint16(width.toInt());
    const QVariant colour = systemRs.value(0, QStringLiteral("SystemForeground"));
    s.foreground = colour.isNull() ? 0 : quint32(colour.toLongLong());
    const QVariant view = systemRs.value(0, QStringLiteral("View"));
    s.compareView = !view.isNull() && view.toInt() != 0;
    return s;
}

bool DbSaveSystemName(const QString& name)
{
    if (gSystemID != 0) {
        DbSetSystemName(name);
        return false;
    }
    gSystemID = DbAddSystem(QString(), name);
    return true;
}

void MakeTunnelFolder(const QString& name)
{
    const QString folder = IniGetSystemPath() + name;
    if (!QFileInfo(folder).isDir())
        MakeFolderTree(folder);
}

SaveOutcome RenameTunnelAndFolder(qint32 tunnelId, const QVariant& loadedName, const QString& shownName,
                                  const QString& newName)
{
    const QString dataPath = IniGetSystemPath();
    const QString newFolder = dataPath + newName;
    QString renamedFrom;
    bool made = false;
    const auto moveFolder = [&] {
        // Looked at again inside the save: another user may have given a tunnel the name meanwhile.
        if (DbTunnelNameTaken(newName, tunnelId))
            throw TunnelNameTaken(newName);
        // The folder of the name stored now: another user's rename may have moved it meanwhile.
        const QString oldFolder = dataPath + DbGetTunnelValue(tunnelId, QStringLiteral("TunnelName")).toString();
        if (QFileInfo(oldFolder).isDir()) {
            if (!QFileInfo::exists(newFolder)) {
                if (!QDir().rename(oldFolder, newFolder))
                    throw KrvError(ErrNo::PathNotFound,
                                   QStringLiteral("The folder %1 could not be renamed to %2.").arg(oldFolder, newFolder));
                renamedFrom = oldFolder;
            }
        } else if (!QFileInfo(newFolder).isDir()) {
            MakeFolderTree(newFolder);
            made = true;
        }
    };
    try {
        return DbSaveTunnelValue(tunnelId, shownName, QStringLiteral("TunnelName"), loadedName, TextValue(newName),
                                 moveFolder);
    } catch (...) {
        // The media folder goes back with the name, so the tunnel's media paths hold.
        if (!renamedFrom.isEmpty())
            QDir().rename(newFolder, renamedFrom);
        else if (made)
            QDir().rmdir(newFolder);
        throw;
    }
}
