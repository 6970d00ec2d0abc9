#pragma once
// An office file and its field replica in a temporary folder, and what an exchange between them moved.
#include <QTemporaryDir>
#include <QtTest>

#include "plaindb.h"
#include "replstore.h"

// A new tunnel database with tunnel 1, its period 1 (2026) and elements 1..4 (Lining, Joints, Invert, Portal),
// then the rows of rows, all in one transaction.
inline void fillTunnel(const QString& path, const char* rows)
{
    newTunnelDb(path);
    const QString sql =
        QStringLiteral("BEGIN;"
                       "INSERT INTO Tunnels (TunnelID, SystemID, TunnelName) VALUES (1, 1, 'North Bore');"
                       "INSERT INTO InspectionPeriod (InspectionID, TunnelID, InspectionYear) VALUES (1, 1, 2026);"
                       "INSERT INTO AvailableElements (ElementID, ElementName) VALUES (1, 'Lining'), (2, 'Joints'), "
                       "(3, 'Invert'), (4, 'Portal');")
        + QString::fromLatin1(rows) + QStringLiteral("COMMIT;");
    QCOMPARE(Plain(path).exec(sql), SQLITE_OK);
}

// Rows an exchange moved either way.
inline int sent(const Varnock::Store::Exchange& e)
{
    return e.insertsReceived + e.updatesReceived + e.deletesReceived + e.insertsAndUpdatesSent + e.deletesSent;
}

// Numbered pairs, so each test case starts from files of its own.
struct OfficeAndField {
    QTemporaryDir dir;
    int serial = 0;

    // The next pair: the office filled by fill and made replicable, the field a replica of it.
    void make(void (*fill)(const QString&), QString* office, QString* field)
    {
        ++serial;
        *office = dir.filePath(QStringLiteral("office%1.db").arg(serial));
        *field = dir.filePath(QStringLiteral("field%1.db").arg(serial));
        fill(*office);
        QCOMPARE(Varnock::Store::makeReplicable(*office), 0);
        QCOMPARE(Varnock::Store::makeReplica(*office, *field, QStringLiteral("Field"), 90, 0), 0);
    }
};
