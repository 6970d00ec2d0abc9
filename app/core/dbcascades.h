#pragma once
#include <QString>
#include <QtGlobal>

// Removing a tunnel, a panel, an element of a panel or an inspection period, with the rows
// that hang on it. Each asks its own questions first (through the prompt service), then
// deletes in one transaction, inside which it looks again for the rows it asks about: rows
// another user saved while a question was open are asked about too (or refuse the removal)
// before anything goes. True when deleted; false when the user declined or the
// delete was refused, with nothing changed. A database error rolls everything back and
// reaches the caller. Files and folders are the caller's business.
//
// Rows these leave behind (defect quantities, clips, emergencies, tab texts, expenditures,
// the posted tables) name keys that are never given out again.

// Refuses a tunnel whose panels have ratings; tunnelName titles the questions.
bool DbDeleteTunnel(qint32 tunnelId, const QString& tunnelName);
bool DbDeletePanel(qint32 panelId);
bool DbRemovePanelElement(qint32 panelId, qint32 elementId);
// The inspection-period tree asks its own question before calling this.
bool DbDeleteInspectionPeriod(qint32 inspectionId);
