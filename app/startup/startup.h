#pragma once
#include <QString>

// The program's version and the product's web page, shown by the About box.
inline const QString kProgramVersion = QStringLiteral("2.1.5");
inline const QString kProductWebPage = QStringLiteral("https://www.example.com/corvane-quorrel/");

// The help document, a file name in the program folder ("help.html"); "" means the
// program has no help.
QString HelpFile();
void SetHelpFile(const QString& fileName);
// Shows the help document in the program's help window. With no help set, says so (information icon,
// title as given); a help document that cannot be opened is logged with the source.
void ShowHelpContents(const QString& title, const QString& source);

// The start procedure: finds and opens the tunnel database (asking for it when it is
// missing), patches the System table, reads the SystemID, asks for the logon when a
// wizard user exists, loads the highlight thresholds and opens the first window:
// frmSystem for a wizard, frmViewSystem for anyone else, the user manager when there is
// no wizard yet. It opens no window of its own and returns; it ends the program
// (EndProgram) when the logon or the search for the database is given up or the user
// name is wrong three times. Any error: "Unable to launch KRV." is logged and shown.
// Run again by the user manager once the first wizard has been made.
void Main();

// True when the program has a window on screen and has not been ended, that is when the
// main event loop has something to run for.
bool ProgramHasWindowToRun();
