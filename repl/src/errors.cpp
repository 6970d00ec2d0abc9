#include "resources.h"
#include "utilities.h"

namespace Varnock {

SynchronizerError::SynchronizerError(std::int32_t number, QString description, QString source, QString helpFile,
                                     std::int32_t helpContext)
    : m_number(number),
      m_description(std::move(description)),
      m_source(std::move(source)),
      m_helpFile(std::move(helpFile)),
      m_helpContext(helpContext),
      m_what(m_description.toUtf8())
{
}

QString ResString(std::int32_t id)
{
    switch (id) {
    case 5001: return QStringLiteral("The specfied file was not found.");
    case 5002:
        return QStringLiteral("You cannot access the specified file. Make sure the file exists and that you have "
                              "the necessary permissions to use it.");
    case 5003: return QStringLiteral("The operation has failed.");
    case 5004:
        return QStringLiteral("You must have a database open to perform this operation. Set the DatabaseName "
                              "property to load a database.");
    case 5005:
        return QStringLiteral("The database must be the Design Master of the replica set to perform this operation.");
    case 5006: return QStringLiteral("This property is not valid for the given type of object.");
    case 5007: return QStringLiteral("The replica you have specified is not valid.");
    case 5008:
        return QStringLiteral("This item or collection has been disconnected from its parent, perhaps because the "
                              "parent item has closed down or has had its properties changed in some way.");
    case 5010:
    case 5011:
        return QStringLiteral("This property must be set to 2-dimensional array of Booleans (7x96) representing "
                              "the days of the week and the number of 15 minute intervals in each day.");
    case 5012: return QStringLiteral("The Synchronizer could not be found.");
    case 5013: return QStringLiteral("The Synchronizer is not properly set up.");
    case 5014: return QStringLiteral("The 'days' parameter is invalid. It must be a bitmask of SyncDayEnum values.");
    case 5015:
        return QStringLiteral("The 'time' parameter is invalid. It must be a valid time value such as #3:00 AM#.");
    case 5016:
        return QStringLiteral("The frequency parameter is invalid. You cannot set this value to a number less than "
                              "one or greater than the number of intervals in a day after the chosen start time.");
    case 5017: return QStringLiteral("The database is not a replica.");
    case 5018: return QStringLiteral("The operation was cancelled.");
    case 5019:
        return QStringLiteral("The attempt to attach to the Synchronizer failed because it is already running and "
                              "attached elsewhere (either to another OSW Synchronizer object or to Microsoft "
                              "Replication Manager).");
    case 5020: return QStringLiteral("An error occurred trying to remove the replica from the replica set.");
    case 5021:
        return QStringLiteral("You cannot remove a replica that is managed by a Synchronizer. To mark this replica "
                              "as invalid, you must first have that Synchronizer stop managing the replica.");
    case 5022:
        return QStringLiteral("The Synchronizer cannot obtain exclusive access to the database, which is required "
                              "for this operation.");
    case 5023:
        return QStringLiteral("The version of Microsoft Jet you are using does not support Repair. You should use "
                              "the enhanced Compact functionality instead, which also includes repair.");
    case 5024: return QStringLiteral("This property cannot be set after the Synchronizer has initialized Jet.");
    case 5025:
        return QStringLiteral("You cannot change the ColumnLevelTracking setting on a table that is replicable.");
    case 5026:
        return QStringLiteral("The path for the indirect dropbox must consist of only a server and a share, such as "
                              "\\\\server\\share. It cannot contain any additional path information.");
    case 5027: return QStringLiteral("The ExchangeId you specified is invalid.");
    case 5099: return QStringLiteral("This interface, method, or property is not yet supported.");
    default: return QString();
    }
}

QString SynchronizerErrorText(std::int32_t code)
{
    return ResString(code);
}

QString ProductName()
{
    return QStringLiteral("The Ostwick Software 4.0 Synchronizer");
}

void RaiseError(std::int32_t number, const QString& inserts)
{
    const std::int32_t id = number & 0x7FFBFFFF;
    const QStringList values =
        inserts.isEmpty() ? QStringList() : inserts.split(QLatin1Char('|'), Qt::KeepEmptyParts);
    const QString folder = LibraryFolder();
    throw SynchronizerError(number, FormatResString(id, values), ProductName(),
                            (folder.isEmpty() ? QString() : folder + QLatin1Char('/')) + QStringLiteral("Varnock.hlp"),
                            id);
}

} // namespace Varnock
