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
// Writes through a temporary file and a rename; in place only where the folder cannot take
// a temporary file (a read-only program folder with a writable krv.ini). False, with a message, when the file
// cannot be written (or exists and cannot be read: its other lines would be lost).
bool WriteIniString(const QString& file, const QString& section, const QString& key, const QString& value,
                    QString* error = nullptr);

// "" when krv.ini is missing or readable; otherwise a message saying why it cannot be read.
QString IniProblem();

QString IniGetDatabaseFile();
bool IniSetDatabaseFile(const QString& path, QString* error = nullptr);
QString IniGetReportRatingsFile();
QString IniGetSystemPath();  // always ends in a separator
bool IniIsDataCollector();
