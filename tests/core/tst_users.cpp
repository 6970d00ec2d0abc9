#include "db.h"
#include "dbusers.h"
#include "fixtures.h"
#include "globals.h"
#include "passwords.h"
#include "testinstall.h"

#include <QTest>

class TestUsers : public QObject {
    Q_OBJECT
private slots:
    void init() { m_install = std::make_unique<TestInstall>(); }
    void cleanup() { m_install.reset(); }

    void passwordsAreStoredAsSaltedHashes()
    {
        DbAddUser(QStringLiteral("admin"), QStringLiteral("krvadmin"), true, false);
        DbAddUser(QStringLiteral("other"), QStringLiteral("krvadmin"), false, false);
        const RowSet rs = gConn.query(QStringLiteral("SELECT Password FROM login ORDER BY Username"));
        const QString a = rs.toText(0, QStringLiteral("Password"));
        const QString b = rs.toText(1, QStringLiteral("Password"));
        QVERIFY(!a.contains(QStringLiteral("krvadmin")));
        QVERIFY(a != b);  // salted: the same password gives another hash
        QCOMPARE(DbGetUserPassword(QStringLiteral("ADMIN")), a);
        QCOMPARE(DbGetUserPassword(QStringLiteral("nobody")), QString());
        QVERIFY(DbVerifyUserPassword(QStringLiteral("admin"), QStringLiteral("krvadmin")));
        QVERIFY(!DbVerifyUserPassword(QStringLiteral("admin"), QStringLiteral("KRVADMIN")));
        QVERIFY(!DbVerifyUserPassword(QStringLiteral("nobody"), QStringLiteral("krvadmin")));
    }

    void checkLogon_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status");
        QTest::newRow("right") << "Pat O'Hara" << "it's me" << int(LogonStatus::LoggedOn);
        QTest::newRow("name in another case") << "PAT O'HARA" << "it's me" << int(LogonStatus::LoggedOn);
        QTest::newRow("password in another case") << "Pat O'Hara" << "IT'S ME" << int(LogonStatus::InvalidPassword);
        QTest::newRow("empty password") << "Pat O'Hara" << "" << int(LogonStatus::InvalidPassword);
        QTest::newRow("unknown") << "Pat" << "it's me" << int(LogonStatus::InvalidUser);
        QTest::newRow("injected name") << "x' OR '1'='1" << "it's me" << int(LogonStatus::InvalidUser);
        QTest::newRow("injected password") << "Pat O'Hara" << "' OR '1'='1" << int(LogonStatus::InvalidPassword);
    }
    void checkLogon()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(int, status);
        DbAddUser(QStringLiteral("Pat O'Hara"), QStringLiteral("it's me"), false, true);
        bool wizard = true;   // a failed logon leaves the rights as they were
        bool dataEntry = false;
        QCOMPARE(DbCheckLogon(name, password, wizard, dataEntry), status);
        const bool ok = status == LogonStatus::LoggedOn;
        QCOMPARE(wizard, !ok);
        QCOMPARE(dataEntry, ok);
    }

    void rightsAndNames()
    {
        DbAddUser(QStringLiteral("zed"), QStringLiteral("pw"), false, true);
        DbAddUser(QStringLiteral("Anna"), QStringLiteral("pw"), true, false);
        DbAddUser(QStringLiteral("bob"), QStringLiteral("pw"), false, false);
        QCOMPARE(DbGetUserNames(), (QStringList{"Anna", "bob", "zed"}));
        QVERIFY(DbUserExists(QStringLiteral("ANNA")));
        QVERIFY(!DbUserExists(QStringLiteral("Ann")));
        QVERIFY_THROWS_EXCEPTION(DbError, DbAddUser(QStringLiteral("BOB"), QStringLiteral("x"), false, false));

        // Letters beyond ASCII fold too: "JÖRG" is the user "jörg" in every look-up.
        DbAddUser(QStringLiteral("jörg"), QStringLiteral("pw"), false, true);
        DbAddUser(QStringLiteral("Ärmelkanal"), QStringLiteral("pw"), false, false);
        QVERIFY(DbUserExists(QStringLiteral("JÖRG")));
        QVERIFY_THROWS_EXCEPTION(DbError, DbAddUser(QStringLiteral("JÖRG"), QStringLiteral("x"), false, false));
        QCOMPARE(CountRows(QStringLiteral("login")), 5);
        bool jw = true, jd = false;
        QCOMPARE(DbCheckLogon(QStringLiteral("JÖRG"), QStringLiteral("pw"), jw, jd), LogonStatus::LoggedOn);
        QVERIFY(!jw && jd);
        DbSetUserRights(QStringLiteral("JÖRG"), true, true);
        DbGetUserRights(QStringLiteral("jörg"), jw, jd);
        QVERIFY(jw && jd);
        // Listed in the user's order, not by character codes.
        QCOMPARE(DbGetUserNames(), (QStringList{"Anna", "Ärmelkanal", "bob", "jörg", "zed"}));
        DbDeleteUser(QStringLiteral("JÖRG"));
        QVERIFY(!DbUserExists(QStringLiteral("jörg")));

        bool w = true, d = true;
        DbGetUserRights(QStringLiteral("nobody"), w, d);  // untouched
        QVERIFY(w && d);
        DbGetUserRights(QStringLiteral("zed"), w, d);
        QVERIFY(!w && d);
        DbSetUserRights(QStringLiteral("ZED"), true, false);
        DbGetUserRights(QStringLiteral("zed"), w, d);
        QVERIFY(w && !d);
        DbDeleteUser(QStringLiteral("Bob"));
        QVERIFY(!DbUserExists(QStringLiteral("bob")));
    }

    void wizards()
    {
        QVERIFY(!DbAnyWizard());
        DbAddUser(QStringLiteral("plain"), QStringLiteral("pw"), false, true);
        QVERIFY(!DbAnyWizard());
        QVERIFY(!DbIsLastWizard(QStringLiteral("plain")));
        DbAddUser(QStringLiteral("admin"), QStringLiteral("pw"), true, false);
        QVERIFY(DbAnyWizard());
        QVERIFY(DbIsLastWizard(QStringLiteral("ADMIN")));
        QVERIFY(!DbIsLastWizard(QStringLiteral("nobody")));
        DbAddUser(QStringLiteral("second"), QStringLiteral("pw"), true, true);
        QVERIFY(!DbIsLastWizard(QStringLiteral("admin")));
        QVERIFY(!DbIsLastWizard(QStringLiteral("plain")));

        // A removal refuses the only wizard, and removes any other user.
        QVERIFY(DbRemoveUser(QStringLiteral("SECOND")));
        QVERIFY(!DbRemoveUser(QStringLiteral("admin")));
        QVERIFY(DbRemoveUser(QStringLiteral("plain")));
        QCOMPARE(DbGetUserNames(), QStringList{QStringLiteral("admin")});
        // A name taken meanwhile is not added over.
        QVERIFY(!DbAddNewUser(QStringLiteral("ADMIN"), QStringLiteral("x"), false, false));
        QVERIFY(DbVerifyUserPassword(QStringLiteral("admin"), QStringLiteral("pw")));
    }

    // Rights and password are saved together or not at all.
    void saveUserIsOneTransaction()
    {
        DbAddUser(QStringLiteral("ann"), QStringLiteral("old"), false, true);
        // No new password: only the rights.
        QVERIFY(DbSaveUser(DbLoadUser(QStringLiteral("ANN")), true, true, QString()).saved());
        QVERIFY(DbVerifyUserPassword(QStringLiteral("ann"), QStringLiteral("old")));
        bool w = false, d = false;
        DbGetUserRights(QStringLiteral("ann"), w, d);
        QVERIFY(w && d);

        gConn.exec(QStringLiteral("CREATE TRIGGER no_pw BEFORE UPDATE OF Password ON login "
                                  "BEGIN SELECT RAISE(ABORT, 'password store refused'); END"));
        QVERIFY_THROWS_EXCEPTION(DbError,
                                 DbSaveUser(DbLoadUser(QStringLiteral("ann")), false, false, QStringLiteral("new")));
        DbGetUserRights(QStringLiteral("ann"), w, d);
        QVERIFY(w && d);
        QVERIFY(DbVerifyUserPassword(QStringLiteral("ann"), QStringLiteral("old")));
        QCOMPARE(gConn.transactionDepth(), 0);
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestUsers)
#include "tst_users.moc"
