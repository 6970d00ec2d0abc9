#include <QProcess>
#include <QtTest>

#include "registry.h"
#include "utilities.h"

using namespace Varnock;

class TstRegistry : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_store;

    static std::shared_ptr<Key> machine()
    {
        auto root = Key::create();
        root->setHandle(RegConstants::HKEY_LOCAL_MACHINE);
        return root;
    }

private slots:
    void init()
    {
        m_store = m_dir.filePath(QStringLiteral("reg-%1.db").arg(QTest::currentTestFunction()));
        setRegistryStorePath(m_store);
    }
    void cleanupTestCase() { setRegistryStorePath(QString()); }

    void rootsByNameAndHandle()
    {
        auto byName = Key::create();
        byName->setName(QStringLiteral("hkey_local_machine"));
        QCOMPARE(byName->Handle(), RegConstants::HKEY_LOCAL_MACHINE);
        byName->setName(QStringLiteral("HKEY_USERS"));   // only the first time
        QCOMPARE(byName->Name(), QStringLiteral("hkey_local_machine"));
        QCOMPARE(byName->Handle(), RegConstants::HKEY_LOCAL_MACHINE);

        auto byHandle = Key::create();
        byHandle->setHandle(RegConstants::HKEY_CURRENT_USER);
        QCOMPARE(byHandle->Name(), QStringLiteral("HKEY_CURRENT_USER"));
        byHandle->setHandle(RegConstants::HKEY_USERS);
        QCOMPARE(byHandle->Handle(), RegConstants::HKEY_CURRENT_USER);
        QCOMPARE(RegConstants::rootName(RegConstants::HKEY_PERFORMANCE_DATA), QStringLiteral("HKEY_PERFORMANCE_DATA"));
        QCOMPARE(RegConstants::rootName(RegConstants::HKEY_CLASSES_ROOT), QStringLiteral("HKEY_CLASSES_ROOT"));
        QCOMPARE(quint32(RegConstants::KEY_ALL), 0x2003Fu);
    }

    void valuesRoundTripAcrossObjects()
    {
        auto key = machine()->SubKeys()->Add(QStringLiteral("SOFTWARE\\Varnock\\Test"));
        QVERIFY(key);
        QCOMPARE(key->Values()->Count(), 1);   // the default value, not written
        QCOMPARE(key->Values()->Item(1)->Name(), QString());
        key->Values()->Add(QStringLiteral("Text"), RegConstants::REG_SZ, QStringLiteral("abc"));
        key->Values()->Add(QStringLiteral("Number"), RegConstants::REG_DWORD, -5);
        key->Values()->Add(QStringLiteral("Bytes"), RegConstants::REG_BINARY, QByteArray("\x01\x02\x03", 3));
        key->Values()->Add(QStringLiteral("Nothing"), RegConstants::REG_BINARY, QByteArray());

        // A new object over the same store sees them, names without regard to case.
        auto again = machine()->OpenSubKey(QStringLiteral("software\\varnock\\test"));
        QVERIFY(again);
        QCOMPARE(again->Values()->Count(), 4);
        QCOMPARE(again->Values()->Item(QStringLiteral("TEXT"))->value(), QVariant(QStringLiteral("abc")));
        QCOMPARE(again->Values()->Item(QStringLiteral("Number"))->value().toInt(), -5);
        QCOMPARE(again->Values()->Item(QStringLiteral("Number"))->DataType(), RegConstants::REG_DWORD);
        QCOMPARE(again->Values()->Item(QStringLiteral("Bytes"))->value().toByteArray(), QByteArray("\x01\x02\x03", 3));
        QVERIFY(!again->Values()->Item(QStringLiteral("Nothing"))->value().isValid());   // 0 bytes read as empty
        QCOMPARE(again->Values()->Item(QStringLiteral("Text"))->FullPath(),
                 QStringLiteral("HKEY_LOCAL_MACHINE\\software\\varnock\\test\\Text"));
        QCOMPARE(ReadMachineText(QStringLiteral("SOFTWARE\\Varnock\\Test"), QStringLiteral("Text")),
                 QStringLiteral("abc"));

        // Another process reads the same file.
        QVERIFY(QFileInfo::exists(m_store));
    }

    void otherTypesAndMissingValuesReadEmpty()
    {
        auto key = machine()->SubKeys()->Add(QStringLiteral("SOFTWARE\\Varnock\\Types"));
        auto expandable = key->Values()->Add(QStringLiteral("Expand"), RegConstants::REG_EXPAND_SZ, QStringLiteral("x"));
        QVERIFY(!expandable->value().isValid());
        auto absent = key->Values()->Add(QStringLiteral("Absent"), RegConstants::REG_SZ);
        QVERIFY(!absent->value().isValid());
        key->Values()->Remove(QStringLiteral("Absent"));
        auto text = key->Values()->Add(QStringLiteral("T"), RegConstants::REG_SZ, QStringLiteral("v"));
        key->Values()->Remove(QStringLiteral("T"));
        QVERIFY(!text->value().isValid());
        QCOMPARE(ReadMachineText(QStringLiteral("SOFTWARE\\Nowhere"), QStringLiteral("T")), QString());
    }

    void subKeysAndRemovalDeepestFirst()
    {
        auto root = machine();
        auto top = root->SubKeys()->Add(QStringLiteral("SOFTWARE\\Tree"));
        QVERIFY(top->SubKeys()->Add(QStringLiteral("b\\deep\\deeper")));
        QVERIFY(top->SubKeys()->Add(QStringLiteral("a")));
        top->SubKeys()->Refresh();
        QCOMPARE(top->SubKeys()->Count(), 2);
        QCOMPARE(top->SubKeys()->Item(1)->Name(), QStringLiteral("a"));
        QCOMPARE(top->SubKeys()->Item(2)->Name(), QStringLiteral("b"));
        QCOMPARE(top->SubKeys()->Item(2)->FullPath(), QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tree\\b"));
        QVERIFY(root->SubKeyExists(QStringLiteral("SOFTWARE\\Tree\\b\\deep\\deeper")));

        // The store refuses a key that still has subkeys; Remove takes the whole subtree.
        std::int32_t handle = 0;
        QCOMPARE(RegStore::OpenKey(RegConstants::HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Tree"),
                                   RegConstants::KEY_ALL, handle), 0);
        QCOMPARE(RegStore::DeleteKey(handle, QStringLiteral("b")), RegStore::ErrAccessDenied);
        RegStore::CloseKey(handle);
        top->SubKeys()->Remove(QStringLiteral("b"));
        QVERIFY(!root->SubKeyExists(QStringLiteral("SOFTWARE\\Tree\\b\\deep\\deeper")));
        QVERIFY(!root->SubKeyExists(QStringLiteral("SOFTWARE\\Tree\\b")));
        QVERIFY(root->SubKeyExists(QStringLiteral("SOFTWARE\\Tree\\a")));
        QCOMPARE(top->SubKeys()->Count(), 1);
        QVERIFY(!root->OpenSubKey(QStringLiteral("SOFTWARE\\Tree\\b")));
    }

    void parentSetOnce()
    {
        auto a = machine();
        auto b = machine();
        auto child = Key::create();
        child->setName(QStringLiteral("x"));
        child->setParent(a);
        child->setParent(b);
        QCOMPARE(child->Parent(), a);
        QCOMPARE(child->FullPath(), QStringLiteral("HKEY_LOCAL_MACHINE\\x"));
    }

    void readOnlyStoreReportsKeysAbsent()
    {
        WriteMachineText(QStringLiteral("SOFTWARE\\Locked"), QStringLiteral("V"), QStringLiteral("1"));
        QVERIFY(QFile::setPermissions(m_store, QFile::ReadOwner));
        if (QFileInfo(m_store).isWritable())
            QSKIP("running with rights that ignore file permissions");
        QVERIFY(!machine()->OpenSubKey(QStringLiteral("SOFTWARE\\Locked")));
        QCOMPARE(ReadMachineText(QStringLiteral("SOFTWARE\\Locked"), QStringLiteral("V")), QString());
        QVERIFY(QFile::setPermissions(m_store, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(ReadMachineText(QStringLiteral("SOFTWARE\\Locked"), QStringLiteral("V")), QStringLiteral("1"));
    }

    void programFilesFolder()
    {
        QCOMPARE(GetProgramFilesDir(false), QStringLiteral("C:\\Program Files"));
        QCOMPARE(GetProgramFilesDir(true), QStringLiteral("C:\\Program Files"));
        WriteMachineText(QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion"), QStringLiteral("ProgramFilesDir"),
                         QStringLiteral("/opt/programs"));
        QCOMPARE(GetProgramFilesDir(true), QStringLiteral("/opt/programs"));
        QCOMPARE(GetProgramFilesDir(false), QStringLiteral("C:\\Program Files"));
    }

    void storeLocationFromEnvironment()
    {
        setRegistryStorePath(QString());
        qputenv("VARNOCK_REGISTRY", m_dir.filePath(QStringLiteral("env.db")).toLocal8Bit());
        QCOMPARE(registryStorePath(), m_dir.filePath(QStringLiteral("env.db")));
        qunsetenv("VARNOCK_REGISTRY");
        QVERIFY(registryStorePath().endsWith(QStringLiteral("/Varnock/registry.db")));
    }
};

QTEST_GUILESS_MAIN(TstRegistry)
#include "tst_registry.moc"
