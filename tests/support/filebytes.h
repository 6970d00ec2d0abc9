#pragma once
// A file's bytes read and written whole, for tests that compare a file before and after.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

// "<missing>" when the file cannot be read.
inline QByteArray ReadFileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}
