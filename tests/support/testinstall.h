#pragma once
#include <QString>
#include <QTemporaryDir>

// A throw-away installation for one test: a temporary program folder (krv.ini, err.log
// and window placement land there), a new tunnel database from the shipped schema open
// as gConn, and the shared state reset. Everything goes when it goes out of scope.
class TestInstall {
public:
    // withDatabase false: only the folder, nothing opened.
    explicit TestInstall(bool withDatabase = true);
    ~TestInstall();
    TestInstall(const TestInstall&) = delete;
    TestInstall& operator=(const TestInstall&) = delete;

    QString folder() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    QString dbPath() const { return file(QStringLiteral("krv.db")); }

    // Reads a file of the installation whole (err.log, krv.ini).
    QByteArray read(const QString& name) const;
    // Writes a file of the installation whole.
    void write(const QString& name, const QByteArray& data) const;

private:
    QTemporaryDir m_dir;
};
