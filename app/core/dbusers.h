#pragma once
#include "rowedits.h"

#include <QString>
#include <QStringList>
#include <QVariant>
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

// Adds a user; the password is stored as a salted hash. Raises DbError when a user of that
// name exists.
void DbAddUser(const QString& name, const QString& password, bool wizard, bool dataEntry);
// Adds a user unless one of that name exists, checked in the same transaction (another
// user may have added the name since it was chosen): false then, nothing written.
bool DbAddNewUser(const QString& name, const QString& password, bool wizard, bool dataEntry);
void DbSetUserRights(const QString& name, bool wizard, bool dataEntry);

// A user as an editor read it: the name as stored (the name asked for when there is no such
// user) and the stored values, which a save compares with.
struct LoadedUser {
    QString name;
    bool exists = false;
    QVariant wizard;
    QVariant dataEntry;
    QVariant password;
    bool isWizard() const { return wizard.toLongLong() != 0; }
    bool isDataEntry() const { return dataEntry.toLongLong() != 0; }
};
LoadedUser DbLoadUser(const QString& name);
// The editor's save of a user it loaded: the right(s) that differ from loaded and, when
// newPassword is not empty, the password, together or not at all (SaveRows). Another user's
// change of a value written is asked about; a user removed meanwhile is told and nothing is
// written (it is never made again).
SaveOutcome DbSaveUser(const LoadedUser& loaded, bool wizard, bool dataEntry, const QString& newPassword);
void DbDeleteUser(const QString& name);
// Removes the user unless it is the only wizard, checked inside the removal's transaction
// (another user may have removed the other wizards since): false then, nothing removed.
bool DbRemoveUser(const QString& name);

// True when at least one user has the Wizard right.
bool DbAnyWizard();
// True when the user has the Wizard right and no other user has it; false for an unknown name.
bool DbIsLastWizard(const QString& name);

// The logon check: LogonStatus::LoggedOn with both rights set from the user's row,
// InvalidUser when there is no such user, InvalidPassword (rights untouched) otherwise.
qint32 DbCheckLogon(const QString& name, const QString& password, bool& wizard, bool& dataEntry);
