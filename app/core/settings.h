#pragma once
#include <QString>

// The program folder: the folder of the executable, unless a test set another.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);
// A file of the program folder.
QString ProgramFile(const QString& name);

// ---- krv.ini, read and written with private-profile rules: section and key found
// without regard to case, the value is the text after the first "=" with surrounding
// blanks removed (backslashes, commas and spaces kept as they are), whole however long
// (a path may be longer than 255 characters). A write replaces only its own key's line.
QString IniFilePath();
QString ReadIniString(const QString& file, const QString& section, const QString& key, const QString& fallback);
// Writes through a temporary file and a rename (SaveFile), every write checked; in place only where the
// folder cannot take a temporary file (a read-only program folder with a writable krv.ini). False, with a
// message naming the file and why, when the file cannot be written (the old file is then kept whole) or
// exists and cannot be read (its other lines would be lost). A write that changes nothing writes nothing.
bool WriteIniString(const QString& file, const QString& section, const QString& key, const QString& value,
                    QString* error = nullptr);

// "" when krv.ini is missing or readable; otherwise a message saying why it cannot be read.
QString IniProblem();

// The paths krv.ini gives (DatabaseFile, ReportRatingsFile, SystemPath); a relative one is taken
// from the program folder, never from the current folder.
QString IniGetDatabaseFile();
// Stores the database's path: as a path relative to the program folder when krv.ini named the
// database relatively and the file lies in that folder; nothing is written when krv.ini names
// that file already.
bool IniSetDatabaseFile(const QString& path, QString* error = nullptr);
QString IniGetReportRatingsFile();
QString IniGetSystemPath();  // always ends in a separator
bool IniIsDataCollector();
