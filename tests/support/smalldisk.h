#pragma once
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// A small disk of the test's own (a tmpfs), to fill as a user's disk or stick fills. Mounted
// where this process may mount: as root, or in the namespaces EnterOwnMountNamespace gives.
class SmallDisk {
public:
    explicit SmallDisk(qint64 bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool isMounted() const { return m_mounted; }
    QString why() const { return m_why; }  // why it is not mounted
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    // Takes the disk's free space down to room bytes or less (by less than one of its blocks)
    // with a filler file.
    bool fill(qint64 room);
    qint64 freeBytes() const;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
};

// Gives the process a mount namespace of its own, so its mounts are private and go with it; a
// user without root gets a user namespace too, in which a tmpfs may be mounted. Called first
// thing in main, while one thread runs; where the system refuses, SmallDisk says why.
void EnterOwnMountNamespace();

// QTEST_MAIN, in a mount namespace of the test's own.
#define KRV_TEST_MAIN_WITH_OWN_MOUNTS(TestObject) \
    QTEST_MAIN_WRAPPER(TestObject, EnterOwnMountNamespace(); QTEST_MAIN_SETUP())
