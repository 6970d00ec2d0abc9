#pragma once
#include <QString>

// Copies a clip into a folder under the given bare name, replacing a file of that name:
// written to a temporary name and renamed, keeping the source's modification time. False,
// with nothing changed in the folder, when it cannot.
bool CopyClipInto(const QString& source, const QString& folder, const QString& bareName);

// Whether two folder paths name the same folder text (separators and a trailing one aside).
bool SameFolderText(const QString& a, const QString& b);
