#pragma once
// Counts what the program writes to the tunnel database between two moments: the rows its
// connection inserted, changed or deleted (triggers' rows included), and whether the file
// changed as another program sees it.
#include "db.h"

#include <QString>
#include <memory>

class WriteCount {
public:
    WriteCount() : m_probe(std::make_unique<Connection>(QStringLiteral("tst-writecount")))
    {
        m_probe->open(gConn.path(), false, 1000);
        restart();
    }
    ~WriteCount() { m_probe->close(); }

    void restart()
    {
        m_total = totalChanges();
        m_version = dataVersion();
    }
    // Rows written since the start.
    qint64 rows() const { return totalChanges() - m_total; }
    // True when another connection would see the file changed since the start.
    bool fileChanged() const { return dataVersion() != m_version; }

private:
    static qint64 totalChanges() { return gConn.scalar(QStringLiteral("SELECT total_changes()")).toLongLong(); }
    qint64 dataVersion() const { return m_probe->scalar(QStringLiteral("PRAGMA data_version")).toLongLong(); }

    std::unique_ptr<Connection> m_probe;
    qint64 m_total = 0;
    qint64 m_version = 0;
};
