#pragma once
#include "db.h"

#include <QString>
#include <QStringList>
#include <QVector>

// Small builders for tests of the data procedures. Each writes straight to gConn.

// A System row; sets gSystemID. Returns the SystemID.
qint32 FixtureSystem(const QString& name = QStringLiteral("Test System"));
// A tunnel of gSystemID without an outline.
qint32 FixtureTunnel(const QString& name);
// A catalogue element with the given ElementID (category 1 unless given).
void FixtureElement(qint32 elementId, const QString& name, qint32 categoryId = 1);
// An inspection period of the tunnel.
qint32 FixturePeriod(qint32 tunnelId, qint16 year);
// A working picture or clip row (Posted false unless given).
void FixturePicture(qint32 panelId, qint32 elementId, qint32 inspectionId, const QString& file, bool sketch,
                    const QString& annotation = QString(), bool posted = false);
void FixtureClip(qint32 panelId, qint32 elementId, qint32 inspectionId, const QString& file, bool posted = false);

// Every row of a query, each as its values joined by "|" (Null as "<null>"), in the
// query's order: compares whole tables in one QCOMPARE.
QStringList Rows(const QString& sql, const QVariantList& binds = {});
// count(*) of a table with an optional condition.
int CountRows(const QString& table, const QString& where = QString(), const QVariantList& binds = {});
// Makes every write of the given kind (INSERT, UPDATE, DELETE) to the table fail where the
// condition holds, as a full disk would. Lasts until DropFailure(name) or the connection closes.
void FailWhen(const QString& name, const QString& event, const QString& table, const QString& condition);
void DropFailure(const QString& name);
