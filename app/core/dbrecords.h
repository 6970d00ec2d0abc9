#pragma once
#include "db.h"
#include "rowedits.h"

#include <QDate>
#include <QString>
#include <QtGlobal>

// Maintenance records (never posted) and the texts of the custom data tabs. Dates are
// stored as ISO text (yyyy-MM-dd); a date read from a row set is
// QDate::fromString(value.toString(), Qt::ISODate).

// ---- repair logs and emergency incidents of a panel

// The panel's entries by date (entries of one date in the order they were added).
RowSet DbGetRepairLogs(qint32 panelId);
// Text of the entry with that key, "" when none.
QString DbGetRepairLogTextByID(qint32 repairId);
// The new RepairID; 0 when another user removed the panel meanwhile (checked in the
// transaction): nothing is written and the user is told, panelName naming the panel.
qint32 DbAddRepairLog(qint32 panelId, const QString& panelName, const QDate& repairDate, const QString& repairLog);
// Asks first (the date in the short date format); true when the user agreed and the entry
// was deleted, false with nothing changed otherwise.
bool DbDeleteRepairLog(qint32 repairId, const QDate& repairDate);

RowSet DbGetEmergencies(qint32 panelId);
QString DbGetEmergencyText(qint32 emergencyId);
// As DbAddRepairLog.
qint32 DbAddEmergency(qint32 panelId, const QString& panelName, const QDate& emergencyDate, const QString& emergency);
bool DbDeleteEmergency(qint32 emergencyId, const QDate& emergencyDate);

// ---- expenditures of a tunnel
// Columns of Expenditures a window writes: TunnelID, Cost, Date, Comments, CategoryID.

// Every expenditure of every tunnel, oldest first: ExpID, Category, Date, Cost, TunnelName,
// Comments, TunnelID, CategoryID. One whose category or tunnel no longer exists is not listed.
RowSet DbGetExpenditureList();
// The same columns for one expenditure; no row when it is not listed.
RowSet DbGetExpenditure(qint32 expId);
// ExpenditureCats by name, in the user's order.
RowSet DbGetExpenditureCategories();

// The tunnel and the category an expenditure is written into, by key and by the name the
// user sees. Both are checked inside the save's transaction.
struct ExpenditureOwners {
    qint32 tunnelId = 0;
    QString tunnelName;
    qint32 categoryId = 0;
    QString categoryName;
};
// The new ExpID; 0 when another user removed the tunnel or the category: nothing is
// written and the user is told.
qint32 DbAddExpenditure(const ExpenditureOwners& owners, double cost, const QDate& date, const QString& comments);
// Writes the columns the user changed (changed: each column with its new value), each
// checked against its value as the window loaded it (loaded). what names the expenditure in
// questions and messages ("The expenditure of 12/11/2026"). Another user's change of one of
// them is asked about, naming the column and both values; a removed expenditure, tunnel or
// category is told and nothing is written for it (the outcome's gone, or Gone).
SaveOutcome DbUpdateExpenditure(qint32 expId, const QString& what, const ExpenditureOwners& owners,
                                const ColumnValues& loaded, const ColumnValues& changed);
// No question of its own: the expenditure window asks first. loaded holds the columns as the
// window loaded them; a change by another user since then is asked about. One removed
// already is gone, as asked.
SaveOutcome DbDeleteExpenditure(qint32 expId, const QString& what, const ColumnValues& loaded);

// ---- custom data tabs
// A panel's text is kept under the definition's ID, so it follows its tab when the editor
// renumbers the positions. The review window keeps the IDs of the tabs it shows.

// All definitions (ID, TabIndex, TabCaption) by position.
RowSet DbGetTabDefinitions();
// ID of the definition at that position, 0 when none.
qint32 DbGetTabID(qint32 tabIndex);
// The panel's text for the tab at that position, "" when none.
QString DbGetTabData(qint32 panelId, qint32 tabIndex);
// A panel's text of one tab as read: whether a row holds it, and the value as stored.
struct TabText {
    bool stored = false;
    QVariant value;
    QString text() const { return value.toString(); }
};
TabText DbGetTabText(qint32 tabId, qint32 panelId);
// Stores the panel's text of the tab with that ID, which the user changed from the text as
// the window loaded it. A text another user changed or added meanwhile is asked about; a tab or panel
// another user removed is told (tabCaption and panelName name them) and nothing is written.
SaveOutcome DbSaveTabText(qint32 tabId, const QString& tabCaption, qint32 panelId, const QString& panelName,
                          const TabText& loaded, const QString& text);
// Number of panels' texts kept for that tab (by its ID).
qint32 DbCountTabData(qint32 tabId);
// The new definition's ID.
qint32 DbAddTabDefinition(qint32 tabIndex, const QString& tabCaption);
void DbUpdateTabDefinition(qint32 id, qint32 tabIndex, const QString& tabCaption);
// Deletes every definition whose ID is not in the list ("3, 5, 9"); an empty list deletes
// nothing. Texts are not deleted: the editor removes only tabs without any. Raises DbError,
// deleting nothing, for a list that is not made of whole numbers.
void DbDeleteTabDefinitionsExcept(const QString& keepIds);
