#include "dbrecords.h"

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

NeededRow panelNeed(qint32 panelId, const QString& panelName)
{
    return {QStringLiteral("Panels"), {{QStringLiteral("PanelID"), panelId}}, QStringLiteral("The panel %1").arg(panelName)};
}

// A dated entry of a panel, added only while the panel is there.
qint32 addPanelEntry(const QString& table, qint32 panelId, const QString& panelName,
                     const QVector<QPair<QString, QVariant>>& values)
{
    qint32 id = 0;
    RowWrite add;
    add.kind = RowWrite::Kind::Add;
    add.write = [&] { id = qint32(gConn.insertAutoNumber(table, values)); };
    return SaveRows({add}, {panelNeed(panelId, panelName)}).saved() ? id : 0;
}

QVector<NeededRow> expenditureNeeds(const ExpenditureOwners& owners)
{
    return {{QStringLiteral("Tunnels"), {{QStringLiteral("TunnelID"), owners.tunnelId}},
             QStringLiteral("The tunnel %1").arg(owners.tunnelName)},
            {QStringLiteral("ExpenditureCats"), {{QStringLiteral("CategoryID"), owners.categoryId}},
             QStringLiteral("The category %1").arg(owners.categoryName)}};
}

LoadedRow expenditureRow(qint32 expId, const ColumnValues& loaded)
{
    return {QStringLiteral("Expenditures"), {{QStringLiteral("ExpID"), expId}}, loaded, false};
}

const QString kExpenditureColumns = QStringLiteral(
    "SELECT Expenditures.ExpID, Category, [Date], Cost, TunnelName, Comments, Expenditures.TunnelID, "
    "Expenditures.CategoryID FROM Expenditures, ExpenditureCats, Tunnels "
    "WHERE ExpenditureCats.CategoryID = Expenditures.CategoryID AND Tunnels.TunnelID = Expenditures.TunnelID ");
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

qint32 DbAddRepairLog(qint32 panelId, const QString& panelName, const QDate& repairDate, const QString& repairLog)
{
    return addPanelEntry(QStringLiteral("RepairLogs"), panelId, panelName,
                         {{QStringLiteral("PanelID"), panelId}, {QStringLiteral("RepairDate"), repairDate},
                          {QStringLiteral("RepairLog"), repairLog}});
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

qint32 DbAddEmergency(qint32 panelId, const QString& panelName, const QDate& emergencyDate, const QString& emergency)
{
    return addPanelEntry(QStringLiteral("Emergencies"), panelId, panelName,
                         {{QStringLiteral("PanelID"), panelId}, {QStringLiteral("EmergencyDate"), emergencyDate},
                          {QStringLiteral("Emergency"), emergency}});
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
    return gConn.query(kExpenditureColumns + QStringLiteral("ORDER BY [Date], Expenditures.ExpID"));
}

RowSet DbGetExpenditure(qint32 expId)
{
    return gConn.query(kExpenditureColumns + QStringLiteral("AND Expenditures.ExpID = ?"), {expId});
}

RowSet DbGetExpenditureCategories()
{
    return gConn.query(QStringLiteral("SELECT * FROM ExpenditureCats ORDER BY CategoryID"))
        .sortedByName(QStringLiteral("Category"));
}

qint32 DbAddExpenditure(const ExpenditureOwners& owners, double cost, const QDate& date, const QString& comments)
{
    qint32 id = 0;
    RowWrite add;
    add.kind = RowWrite::Kind::Add;
    add.write = [&] {
        id = qint32(gConn.insertAutoNumber(
            QStringLiteral("Expenditures"),
            {{QStringLiteral("TunnelID"), owners.tunnelId}, {QStringLiteral("Cost"), cost}, {QStringLiteral("Date"), date},
             {QStringLiteral("Comments"), comments}, {QStringLiteral("CategoryID"), owners.categoryId}}));
    };
    return SaveRows({add}, expenditureNeeds(owners)).saved() ? id : 0;
}

SaveOutcome DbUpdateExpenditure(qint32 expId, const QString& what, const ExpenditureOwners& owners,
                                const ColumnValues& loaded, const ColumnValues& changed)
{
    RowWrite change;
    change.loaded = expenditureRow(expId, loaded);
    change.what = what;
    // Each column named and shown as the window shows it.
    const auto nameOf = [](const QString& table, const QString& column, const QString& key) {
        return [=](const QVariant& id) {
            return gConn.scalar(QStringLiteral("SELECT [%1] FROM [%2] WHERE [%3] = ?").arg(column, table, key), {id})
                .toString();
        };
    };
    for (const auto& [column, value] : changed) {
        ColumnEdit edit{column, value, {}, {}};
        if (column == QLatin1String("Date")) {
            edit.what = QStringLiteral("date");
            edit.show = [](const QVariant& v) { return ShortDateText(QDate::fromString(v.toString().left(10), Qt::ISODate)); };
        } else if (column == QLatin1String("TunnelID")) {
            edit.what = QStringLiteral("tunnel");
            edit.show = nameOf(QStringLiteral("Tunnels"), QStringLiteral("TunnelName"), QStringLiteral("TunnelID"));
        } else if (column == QLatin1String("CategoryID")) {
            edit.what = QStringLiteral("category");
            edit.show =
                nameOf(QStringLiteral("ExpenditureCats"), QStringLiteral("Category"), QStringLiteral("CategoryID"));
        } else if (column == QLatin1String("Cost")) {
            edit.what = QStringLiteral("cost");
            edit.show = [](const QVariant& v) { return v.isNull() ? QString() : MoneyText(v.toDouble()); };
        } else {
            edit.what = QStringLiteral("comment");
        }
        // "The expenditure of 8 Feb 2022" becomes "The cost of the expenditure of 8 Feb 2022".
        edit.what = QStringLiteral("The %1 of %2%3").arg(edit.what, what.left(1).toLower(), what.mid(1));
        change.columns.append(edit);
    }
    return SaveRows({change}, expenditureNeeds(owners));
}

SaveOutcome DbDeleteExpenditure(qint32 expId, const QString& what, const ColumnValues& loaded)
{
    RowWrite remove;
    remove.kind = RowWrite::Kind::Remove;
    remove.loaded = expenditureRow(expId, loaded);
    remove.what = what;
    remove.write = [expId] { gConn.exec(QStringLiteral("DELETE FROM Expenditures WHERE ExpID = ?"), {expId}); };
    return SaveRows({remove});
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

TabText DbGetTabText(qint32 tabId, qint32 panelId)
{
    const RowSet rs =
        gConn.query(QStringLiteral("SELECT TabData FROM TabData WHERE TabID = ? AND PanelID = ?"), {tabId, panelId});
    return rs.isEmpty() ? TabText{} : TabText{true, rs.value(0, 0)};
}

SaveOutcome DbSaveTabText(qint32 tabId, const QString& tabCaption, qint32 panelId, const QString& panelName,
                          const TabText& loaded, const QString& text)
{
    // No text over no row is nothing to keep.
    if (!loaded.stored && text.isEmpty())
        return {};
    RowWrite w;
    w.kind = loaded.stored ? RowWrite::Kind::Change : RowWrite::Kind::Add;
    w.loaded = {QStringLiteral("TabData"),
                {{QStringLiteral("TabID"), tabId}, {QStringLiteral("PanelID"), panelId}},
                {{QStringLiteral("TabData"), loaded.value}},
                !loaded.stored};
    w.what = QStringLiteral("The \"%1\" text of panel %2").arg(tabCaption, panelName);
    w.columns = {{QStringLiteral("TabData"), text, QString(), {}}};
    // A text another user added meanwhile, replaced as the user chose, is updated in place.
    w.writeColumns = [key = w.loaded.key, tabId, panelId, text](const ColumnValues&) {
        if (RowExists(QStringLiteral("TabData"), key))
            UpdateChanged(QStringLiteral("TabData"), {{QStringLiteral("TabData"), text}},
                          QStringLiteral("TabID = ? AND PanelID = ?"), {tabId, panelId});
        else
            gConn.exec(QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (?, ?, ?)"),
                       {tabId, panelId, text});
    };
    return SaveRows({w}, {{QStringLiteral("TabDefinitions"), {{QStringLiteral("ID"), tabId}},
                           QStringLiteral("The data tab \"%1\"").arg(tabCaption)},
                          panelNeed(panelId, panelName)});
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
