#pragma once
#include "db.h"

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
// The new RepairID.
qint32 DbAddRepairLog(qint32 panelId, const QDate& repairDate, const QString& repairLog);
// Asks first (the date in the short date format); true when the user agreed and the entry
// was deleted, false with nothing changed otherwise.
bool DbDeleteRepairLog(qint32 repairId, const QDate& repairDate);

RowSet DbGetEmergencies(qint32 panelId);
QString DbGetEmergencyText(qint32 emergencyId);
qint32 DbAddEmergency(qint32 panelId, const QDate& emergencyDate, const QString& emergency);
bool DbDeleteEmergency(qint32 emergencyId, const QDate& emergencyDate);

// ---- expenditures of a tunnel

// Every expenditure of every tunnel, oldest first: ExpID, Category, Date, Cost, TunnelName,
// Comments. One whose category or tunnel no longer exists is not listed.
RowSet DbGetExpenditureList();
// ExpenditureCats by name, in the user's order.
RowSet DbGetExpenditureCategories();
// The new ExpID.
qint32 DbAddExpenditure(qint32 tunnelId, double cost, const QDate& date, const QString& comments,
                        qint32 categoryId);
void DbUpdateExpenditure(qint32 expId, qint32 tunnelId, double cost, const QDate& date, const QString& comments,
                         qint32 categoryId);
// No question: the expenditure window asks first.
void DbDeleteExpenditure(qint32 expId);

// ---- custom data tabs
// A panel's text is addressed by the tab's position; it is kept under the definition's ID,
// so it follows its tab when the editor renumbers the positions.

// All definitions (ID, TabIndex, TabCaption) by position.
RowSet DbGetTabDefinitions();
// ID of the definition at that position, 0 when none.
qint32 DbGetTabID(qint32 tabIndex);
// The panel's text for the tab at that position, "" when none.
QString DbGetTabData(qint32 panelId, qint32 tabIndex);
// Adds or replaces the panel's text for the tab at that position. Raises DbError when no
// tab holds that position (the text would belong to no tab).
void DbSaveTabData(qint32 tabIndex, qint32 panelId, const QString& text);
// Number of panels' texts kept for that tab (by its ID).
qint32 DbCountTabData(qint32 tabId);
// The new definition's ID.
qint32 DbAddTabDefinition(qint32 tabIndex, const QString& tabCaption);
void DbUpdateTabDefinition(qint32 id, qint32 tabIndex, const QString& tabCaption);
// Deletes every definition whose ID is not in the list ("3, 5, 9"); an empty list deletes
// nothing. Texts are not deleted: the editor removes only tabs without any. Raises DbError,
// deleting nothing, for a list that is not made of whole numbers.
void DbDeleteTabDefinitionsExcept(const QString& keepIds);
