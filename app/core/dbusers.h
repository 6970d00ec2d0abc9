#pragma once
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The program's own users (table login): a name, a salted password hash and two rights,
// Wizard and DataEntry. Names are compared without regard to case, passwords exactly.
// Every value is bound, so quotes in names and passwords are plain characters.
// Database failures raise DbError.

// The longest password the password boxes let a user type.
constexpr int kMaxPasswordLength = 8;

bool DbUserExists(const QString& name);
// The stored password hash; "" when there is no such user.
QString DbGetUserPassword(const QString& name);
// True when the user exists and password is that user's password.
bool DbVerifyUserPassword(const QString& name, const QString& password);
// Sets both rights from the user's row; leaves them untouched when there is no such user.
void DbGetUserRights(const QString& name, bool& wizard, bool& dataEntry);
// The user names, sorted.
QStringList DbGetUserNames();

// Adds a user; the password is stored as a salted hash.
void DbAddUser(const QString& name, const QString& password, bool wizard, bool dataEntry);
void DbSetUserRights(const QString& name, bool wizard, bool dataEntry);
// The editor's save of an existing user: the rights and, when newPassword is not empty,
// the password, together or not at all.
void DbSaveUser(const QString& name, bool wizard, bool dataEntry, const QString& newPassword);
void DbDeleteUser(const QString& name);

// True when at least one user has the Wizard right.
bool DbAnyWizard();
// True when the user has the Wizard right and no other user has it; false for an unknown name.
bool DbIsLastWizard(const QString& name);

// The logon check: LogonStatus::LoggedOn with both rights set from the user's row,
// InvalidUser when there is no such user, InvalidPassword (rights untouched) otherwise.
qint32 DbCheckLogon(const QString& name, const QString& password, bool& wizard, bool& dataEntry);
