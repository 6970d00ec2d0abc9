#include "dbhighlights.h"

#include "db.h"
#include "globals.h"

#include <QCoreApplication>

namespace {

bool columnsReadable()
{
    try {
        gConn.query(QStringLiteral("SELECT WarningHighlight, CriticalHighlight FROM System LIMIT 0"));
        return true;
    } catch (...) {
        return false;
    }
}

// SQLite adds one column per ALTER TABLE. A column that is already there makes its ALTER
// fail; only a column this call added gets the default, so a half-patched table keeps
// the value it has.
void addColumn(const QString& column, qint32 defaultValue)
{
    try {
        gConn.exec(QStringLiteral("ALTER TABLE System ADD COLUMN %1 int").arg(column));
    } catch (...) {
        return;
    }
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    try {
        gConn.exec(QStringLiteral("UPDATE System SET %1 = ?").arg(column), {defaultValue});
    } catch (...) {
    }
}

qint32 valueOr(const QVariant& v, qint32 fallback) { return v.isNull() ? fallback : v.toInt(); }

}  // namespace

void DbEnsureHighlightColumns()
{
    try {
        if (columnsReadable())
            return;
        addColumn(QStringLiteral("WarningHighlight"), kDefaultWarningHighlight);
        addColumn(QStringLiteral("CriticalHighlight"), kDefaultCriticalHighlight);
    } catch (...) {
    }
}

void DbLoadHighlights()
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT CriticalHighlight, WarningHighlight FROM System LIMIT 1"));
    if (rs.isEmpty())
        return;
    // A row added after the patch may hold Nulls; they must not shade every panel critical.
    gCriticalHighlight = valueOr(rs.value(0, QStringLiteral("CriticalHighlight")), kDefaultCriticalHighlight);
    gWarningHighlight = valueOr(rs.value(0, QStringLiteral("WarningHighlight")), kDefaultWarningHighlight);
}

void DbGetHighlights(qint32& warning, qint32& critical)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT WarningHighlight, CriticalHighlight FROM System LIMIT 1"));
    if (rs.isEmpty())
        return;
    warning = valueOr(rs.value(0, QStringLiteral("WarningHighlight")), kDefaultWarningHighlight);
    critical = valueOr(rs.value(0, QStringLiteral("CriticalHighlight")), kDefaultCriticalHighlight);
}

void DbSetWarningHighlight(qint32 level)
{
    UpdateChanged(QStringLiteral("System"), {{QStringLiteral("WarningHighlight"), level}}, QStringLiteral("1"));
    gWarningHighlight = level;
}

void DbSetCriticalHighlight(qint32 level)
{
    UpdateChanged(QStringLiteral("System"), {{QStringLiteral("CriticalHighlight"), level}}, QStringLiteral("1"));
    gCriticalHighlight = level;
}
