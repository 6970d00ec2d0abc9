#pragma once
#include <QString>

// The login table keeps a salted hash of each password, never the password.
// Raises KrvError when the hash cannot be made (out of memory).
QString HashPassword(const QString& password);
// True when password matches the stored hash. A stored value that is not a hash never matches.
bool VerifyPassword(const QString& storedHash, const QString& password);
