#pragma once
#include <QString>

// Whether two folder paths name the same folder text (separators and a trailing one aside).
bool SameFolderText(const QString& a, const QString& b);
