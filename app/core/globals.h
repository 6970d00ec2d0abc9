#pragma once
#include <QString>
#include <QtGlobal>

// State shared by every window for the life of the program. The connections gConn and
// gReportConn live in db.h.
extern QString gDbPath;          // full path of the tunnel database
extern QString gDbFolder;        // gDbPath up to and including its last separator
extern qint32 gSystemID;         // SystemID of the System row, 0 while there is none
extern bool gIsWizard;           // the logged-on user's rights
extern bool gIsDataEntry;
extern qint32 gLogonStatus;      // outcome of locating the database and of the logon
extern bool gPictureFound;       // go-on flag of the picture loaders
extern qint32 gWarningHighlight; // rating highlight thresholds
extern qint32 gCriticalHighlight;
extern QString gSysMapChoice;    // the picture chosen in the picture chooser

// Logon status codes.
namespace LogonStatus {
constexpr qint32 LoggedOn = 0;
constexpr qint32 Cancelled = 1;
constexpr qint32 InvalidUser = 2;
constexpr qint32 InvalidPassword = 3;
constexpr qint32 NoWizard = 4;
}  // namespace LogonStatus

// Puts every value above back to its start value (tests, and a second start-up).
void ResetGlobals();
