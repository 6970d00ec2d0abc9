#include "dbusers.h"

#include "db.h"
#include "globals.h"
#include "helpers.h"
#include "passwords.h"

namespace {

// The stored spelling of the user's name: names are the same under full case folding,
// which the column's NOCASE (ASCII only) cannot tell. The name itself when not stored.
QString storedName(const QString& name)
{
    const RowSet rs =
        gConn.query(QStringLiteral("SELECT Username FROM login")).filtered(QStringLiteral("Username"), name);
    return rs.isEmpty() ? name : rs.value(0, QStringLiteral("Username")).toString();
}

}  // namespace

bool DbUserExists(const QString& name)
{
    return !gConn.query(QStringLiteral("SELECT Username FROM login"))
                .filtered(QStringLiteral("Username"), name)
                .isEmpty();
}

QString DbGetUserPassword(const QString& name)
{
    const QVariant v = gConn.scalar(QStringLiteral("SELECT Password FROM login WHERE Username = ?"), {storedName(name)});
    return v.isNull() ? QString() : v.toString();
}

bool DbVerifyUserPassword(const QString& name, const QString& password)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT Password FROM login WHERE Username = ?"), {storedName(name)});
    if (rs.isEmpty() || rs.isNull(0, QStringLiteral("Password")))
        return false;
    return VerifyPassword(rs.toText(0, QStringLiteral("Password")), password);
}

void DbGetUserRights(const QString& name, bool& wizard, bool& dataEntry)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT Wizard, DataEntry FROM login WHERE Username = ?"), {storedName(name)});
    if (rs.isEmpty())
        return;
    wizard = rs.toBool(0, QStringLiteral("Wizard"));
    dataEntry = rs.toBool(0, QStringLiteral("DataEntry"));
}

QStringList DbGetUserNames()
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT DISTINCT Username FROM login"));
    QStringList names;
    for (int i = 0; i < rs.count(); ++i)
        names << rs.value(i, QStringLiteral("Username")).toString();
    SortNames(names);
    return names;
}

void DbAddUser(const QString& name, const QString& password, bool wizard, bool dataEntry)
{
    if (!DbAddNewUser(name, password, wizard, dataEntry))
        throw DbError(19, QStringLiteral("UNIQUE constraint failed: login.Username (%1)").arg(name));
}

bool DbAddNewUser(const QString& name, const QString& password, bool wizard, bool dataEntry)
{
    // Hash first: it is slow, and no write should wait on it.
    const QString hash = HashPassword(password);
    TxGuard tx;
    // The unique index folds ASCII letters only; "JÖRG" is the user "jörg" too.
    if (DbUserExists(name))
        return false;
    gConn.exec(QStringLiteral("INSERT INTO login (Username, Password, Wizard, DataEntry) VALUES (?, ?, ?, ?)"),
               {name, hash, BoolToBit(wizard), BoolToBit(dataEntry)});
    tx.commit();
    return true;
}

void DbSetUserRights(const QString& name, bool wizard, bool dataEntry)
{
    UpdateChanged(QStringLiteral("login"),
                  {{QStringLiteral("Wizard"), BoolToBit(wizard)}, {QStringLiteral("DataEntry"), BoolToBit(dataEntry)}},
                  QStringLiteral("Username = ?"), {storedName(name)});
}

LoadedUser DbLoadUser(const QString& name)
{
    LoadedUser user;
    user.name = storedName(name);
    const RowSet rs = gConn.query(QStringLiteral("SELECT Password, Wizard, DataEntry FROM login WHERE Username = ?"),
                                  {user.name});
    if (rs.isEmpty())
        return user;
    user.exists = true;
    user.password = rs.value(0, QStringLiteral("Password"));
    user.wizard = rs.value(0, QStringLiteral("Wizard"));
    user.dataEntry = rs.value(0, QStringLiteral("DataEntry"));
    return user;
}

SaveOutcome DbSaveUser(const LoadedUser& loaded, bool wizard, bool dataEntry, const QString& newPassword)
{
    const ColumnValues key{{QStringLiteral("Username"), loaded.name}};
    QVector<RowWrite> writes;
    // Column by column: another user's change of the other right is not written over.
    RowWrite rights;
    rights.loaded = {QStringLiteral("login"), key,
                     {{QStringLiteral("Wizard"), loaded.wizard}, {QStringLiteral("DataEntry"), loaded.dataEntry}}};
    rights.what = QStringLiteral("The user ") + loaded.name;
    const auto right = [&](const QString& column, const QString& title, bool now) {
        rights.columns.append({column, BoolToBit(now), QStringLiteral("The %1 right of the user %2").arg(title, loaded.name),
                               [](const QVariant& v) {
                                   return !v.isNull() && v.toLongLong() != 0 ? QStringLiteral("Yes") : QStringLiteral("No");
                               }});
    };
    if (wizard != loaded.isWizard())
        right(QStringLiteral("Wizard"), QStringLiteral("Wizard"), wizard);
    if (dataEntry != loaded.isDataEntry())
        right(QStringLiteral("DataEntry"), QStringLiteral("Data Entry"), dataEntry);
    if (!rights.columns.isEmpty())
        writes << rights;
    if (!newPassword.isEmpty()) {
        // Hashed before the transaction: it is slow, and no write should wait on it.
        RowWrite w;
        w.loaded = {QStringLiteral("login"), key, {{QStringLiteral("Password"), loaded.password}}};
        w.what = QStringLiteral("The password of the user ") + loaded.name;
        w.write = [name = loaded.name, hash = HashPassword(newPassword)] {
            gConn.exec(QStringLiteral("UPDATE login SET Password = ? WHERE Username = ?"), {hash, name});
        };
        writes << w;
    }
    if (writes.isEmpty())
        return {};
    return SaveRows(writes, {{QStringLiteral("login"), key, QStringLiteral("The user ") + loaded.name}});
}

void DbDeleteUser(const QString& name)
{
    gConn.exec(QStringLiteral("DELETE FROM login WHERE Username = ?"), {storedName(name)});
}

bool DbRemoveUser(const QString& name)
{
    TxGuard tx;
    if (DbIsLastWizard(name))
        return false;
    DbDeleteUser(name);
    tx.commit();
    return true;
}

bool DbAnyWizard()
{
    return !gConn.scalar(QStringLiteral("SELECT 1 FROM login WHERE Wizard <> 0 LIMIT 1")).isNull();
}

bool DbIsLastWizard(const QString& name)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT Wizard FROM login WHERE Username = ?"), {storedName(name)});
    if (rs.isEmpty() || !rs.toBool(0, QStringLiteral("Wizard")))
        return false;
    return gConn.scalar(QStringLiteral("SELECT count(*) AS WCt FROM login WHERE Wizard <> 0")).toInt() == 1;
}

qint32 DbCheckLogon(const QString& name, const QString& password, bool& wizard, bool& dataEntry)
{
    const RowSet rs =
        gConn.query(QStringLiteral("SELECT Password, Wizard, DataEntry FROM login WHERE Username = ?"), {storedName(name)});
    if (rs.isEmpty())
        return LogonStatus::InvalidUser;
    const QVariant stored = rs.value(0, QStringLiteral("Password"));
    if (stored.isNull() || !VerifyPassword(stored.toString(), password))
        return LogonStatus::InvalidPassword;
    wizard = rs.toBool(0, QStringLiteral("Wizard"));
    dataEntry = rs.toBool(0, QStringLiteral("DataEntry"));
    return LogonStatus::LoggedOn;
}
