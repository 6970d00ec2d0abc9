#include "dbrecords.h"

#include "dbsystem.h"
#include "helpers.h"
#include "prompt.h"

namespace {
// The first row's text; "" for no row and for a Null text.
QString firstText(const RowSet& rs)
{
    return rs.isEmpty() ? QString() : rs.value(0, 0).toString();
}

bool confirmDelete(const QDate& date, const QString& title)
{
    return MsgBox(QStringLiteral("Are you sure you want to delete this entry on %1?").arg(ShortDateText(date)),
                  MsgButtons::YesNo, MsgIcon::None, title)
        == MsgAnswer::Yes;
}
}  // namespace

// ---------------------------------------------------------------- repair logs, emergencies

RowSet DbGetRepairLogs(qint32 panelId)
{
    return gConn.query(QStringLiteral("SELECT * FROM RepairLogs WHERE PanelID = ? ORDER BY RepairDate, RepairID"),
                       {panelId});
}

QString DbGetRepairLogTextByID(qint32 repairId)
{
    return firstText(gConn.query(QStringLiteral("SELECT RepairLog FROM RepairLogs WHERE RepairID = ?"), {repairId}));
}

qint32 DbAddRepairLog(qint32 panelId, const QDate& repairDate, const QString& repairLog)
{
    return qint32(gConn.insertAutoNumber(
        QStringLiteral("RepairLogs"),
        {{QStringLiteral("PanelID"), panelId}, {QStringLiteral("RepairDate"), repairDate},
         {QStringLiteral("RepairLog"), repairLog}}));
}

bool DbDeleteRepairLog(qint32 repairId, const QDate& repairDate)
{
    if (!confirmDelete(repairDate, QStringLiteral("Delete Repair Log")))
        return false;
    gConn.exec(QStringLiteral("DELETE FROM RepairLogs WHERE RepairID = ?"), {repairId});
    return true;
}

RowSet DbGetEmergencies(qint32 panelId)
{
    return gConn.query(
        QStringLiteral("SELECT * FROM Emergencies WHERE PanelID = ? ORDER BY EmergencyDate, EmergencyID"), {panelId});
}

QString DbGetEmergencyText(qint32 emergencyId)
{
    return firstText(
        gConn.query(QStringLiteral("SELECT Emergency FROM Emergencies WHERE EmergencyID = ?"), {emergencyId}));
}

qint32 DbAddEmergency(qint32 panelId, const QDate& emergencyDate, const QString& emergency)
{
    return qint32(gConn.insertAutoNumber(
        QStringLiteral("Emergencies"),
        {{QStringLiteral("PanelID"), panelId}, {QStringLiteral("EmergencyDate"), emergencyDate},
         {QStringLiteral("Emergency"), emergency}}));
}

bool DbDeleteEmergency(qint32 emergencyId, const QDate& emergencyDate)
{
    if (!confirmDelete(emergencyDate, QStringLiteral("Delete Emergency Incident")))
        return false;
    gConn.exec(QStringLiteral("DELETE FROM Emergencies WHERE EmergencyID = ?"), {emergencyId});
    return true;
}

// ---------------------------------------------------------------- expenditures

RowSet DbGetExpenditureList()
{
    return gConn.query(QStringLiteral(
        "SELECT Expenditures.ExpID, Category, [Date], Cost, TunnelName, Comments "
        "FROM Expenditures, ExpenditureCats, Tunnels "
        "WHERE ExpenditureCats.CategoryID = Expenditures.CategoryID AND Tunnels.TunnelID = Expenditures.TunnelID "
        "ORDER BY [Date], Expenditures.ExpID"));
}

RowSet DbGetExpenditureCategories()
{
    return gConn.query(QStringLiteral("SELECT * FROM ExpenditureCats ORDER BY CategoryID"))
        .sortedByName(QStringLiteral("Category"));
}

qint32 DbAddExpenditure(qint32 tunnelId, double cost, const QDate& date, const QString& comments,
                        qint32 categoryId)
{
    TxGuard tx;
    DbRequireTunnel(tunnelId);
    const qint32 id = qint32(gConn.insertAutoNumber(
        QStringLiteral("Expenditures"),
        {{QStringLiteral("TunnelID"), tunnelId}, {QStringLiteral("Cost"), cost}, {QStringLiteral("Date"), date},
         {QStringLiteral("Comments"), comments}, {QStringLiteral("CategoryID"), categoryId}}));
    tx.commit();
    return id;
}

void DbUpdateExpenditure(qint32 expId, qint32 tunnelId, double cost, const QDate& date, const QString& comments,
                         qint32 categoryId)
{
    TxGuard tx;
    DbRequireTunnel(tunnelId);
    UpdateChanged(QStringLiteral("Expenditures"),
                  {{QStringLiteral("TunnelID"), tunnelId},
                   {QStringLiteral("Cost"), cost},
                   {QStringLiteral("Date"), date},
                   {QStringLiteral("Comments"), comments},
                   {QStringLiteral("CategoryID"), categoryId}},
                  QStringLiteral("ExpID = ?"), {expId});
    tx.commit();
}

void DbDeleteExpenditure(qint32 expId)
{
    gConn.exec(QStringLiteral("DELETE FROM Expenditures WHERE ExpID = ?"), {expId});
}

// ---------------------------------------------------------------- data tabs

RowSet DbGetTabDefinitions()
{
    return gConn.query(QStringLiteral("SELECT * FROM TabDefinitions ORDER BY TabIndex, ID"));
}

qint32 DbGetTabID(qint32 tabIndex)
{
    const QVariant id = gConn.scalar(
        QStringLiteral("SELECT ID FROM TabDefinitions WHERE TabIndex = ? ORDER BY ID LIMIT 1"), {tabIndex});
    return id.isNull() ? 0 : id.toInt();
}

QString DbGetTabData(qint32 panelId, qint32 tabIndex)
{
    const qint32 tabId = DbGetTabID(tabIndex);
    if (tabId == 0)
        return QString();
    return firstText(
        gConn.query(QStringLiteral("SELECT TabData FROM TabData WHERE TabID = ? AND PanelID = ?"), {tabId, panelId}));
}

void DbSaveTabData(qint32 tabIndex, qint32 panelId, const QString& text)
{
    const qint32 tabId = DbGetTabID(tabIndex);
    if (tabId == 0)
        throw DbError(ErrNo::NoCurrentRecord,
                      QStringLiteral("No data tab is at position %1; the text was not saved.").arg(tabIndex));
    TxGuard tx;
    const QVariantList key{tabId, panelId};
    if (gConn.query(QStringLiteral("SELECT 1 FROM TabData WHERE TabID = ? AND PanelID = ?"), key).isEmpty()) {
        // No text over no row is nothing to keep.
        if (!text.isEmpty())
            gConn.exec(QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (?, ?, ?)"),
                       {tabId, panelId, text});
    } else {
        UpdateChanged(QStringLiteral("TabData"), {{QStringLiteral("TabData"), text}},
                      QStringLiteral("TabID = ? AND PanelID = ?"), key);
    }
    tx.commit();
}

qint32 DbCountTabData(qint32 tabId)
{
    return gConn.scalar(QStringLiteral("SELECT count(*) FROM TabData WHERE TabID = ?"), {tabId}).toInt();
}

qint32 DbAddTabDefinition(qint32 tabIndex, const QString& tabCaption)
{
    return qint32(gConn.insertAutoNumber(
        QStringLiteral("TabDefinitions"),
        {{QStringLiteral("TabIndex"), tabIndex}, {QStringLiteral("TabCaption"), tabCaption}}));
}

void DbUpdateTabDefinition(qint32 id, qint32 tabIndex, const QString& tabCaption)
{
    UpdateChanged(QStringLiteral("TabDefinitions"),
                  {{QStringLiteral("TabIndex"), tabIndex}, {QStringLiteral("TabCaption"), tabCaption}},
                  QStringLiteral("ID = ?"), {id});
}

void DbDeleteTabDefinitionsExcept(const QString& keepIds)
{
    if (keepIds.trimmed().isEmpty())
        return;
    QVariantList ids;
    QStringList marks;
    for (const QString& part : keepIds.split(QLatin1Char(','))) {
        bool ok = false;
        const qint32 id = part.trimmed().toInt(&ok);
        if (!ok)
            throw DbError(-1, QStringLiteral("The list of tabs to keep is not a list of numbers: %1").arg(keepIds));
        ids << id;
        marks << QStringLiteral("?");
    }
    gConn.exec(QStringLiteral("DELETE FROM TabDefinitions WHERE ID NOT IN (%1)").arg(marks.join(QStringLiteral(", "))),
               ids);
}
