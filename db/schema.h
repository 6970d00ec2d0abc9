#pragma once
#include <QString>
#include <QStringList>

// Builds databases from the shipped schema. Used by krv-newdb, the demo generator and the
// tests; the program itself never creates tables.

// The statements of a schema script (":/db/krv_schema.sql" or ":/db/reportdata_schema.sql").
QStringList SchemaStatements(const QString& resource);

// Writes a new, empty tunnel database at path. Refuses an existing file. The database is
// built under a temporary name and renamed, so a failure leaves nothing behind.
// Returns false with a message in error on failure.
bool CreateTunnelDatabase(const QString& path, QString* error = nullptr);

// The same for the report working database.
bool CreateReportDatabase(const QString& path, QString* error = nullptr);
