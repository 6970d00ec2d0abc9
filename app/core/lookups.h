#pragma once
#include <QString>
#include <QVariant>

// Small look-ups of the tunnel database.

// The tunnel's name, "" when there is no such tunnel (or its name is Null).
QString DbGetTunnelName(qint32 tunnelId);
// The period's year; raises DbError (no current record) when there is no such period.
qint32 DbGetInspectionYear(qint32 inspectionId);

// "" for a Null value, the value itself otherwise.
QVariant NullToEmpty(const QVariant& value);
