#include "fixtures.h"

#include "globals.h"

qint32 FixtureSystem(const QString& name)
{
    gSystemID = qint32(gConn.insertAutoNumber(QStringLiteral("System"), {{QStringLiteral("SystemName"), name}}));
    return gSystemID;
}

qint32 FixtureTunnel(const QString& name)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("Tunnels"), {{QStringLiteral("SystemID"), gSystemID},
                                                                    {QStringLiteral("TunnelName"), name}}));
}

void FixtureElement(qint32 elementId, const QString& name, qint32 categoryId)
{
    gConn.exec(QStringLiteral("INSERT INTO AvailableElements (ElementID, ElementName, ElementCategory) VALUES (?, ?, ?)"),
               {elementId, name, categoryId});
}

qint32 FixturePeriod(qint32 tunnelId, qint16 year)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("InspectionPeriod"),
                                         {{QStringLiteral("TunnelID"), tunnelId},
                                          {QStringLiteral("InspectionYear"), year}}));
}

void FixturePicture(qint32 panelId, qint32 elementId, qint32 inspectionId, const QString& file, bool sketch,
                    const QString& annotation, bool posted)
{
    gConn.exec(QStringLiteral("INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, InspectionID, "
                              "Annotation, Posted) VALUES (?, ?, ?, ?, ?, ?, ?)"),
               {panelId, elementId, file, int(sketch), inspectionId, annotation, int(posted)});
}

void FixtureClip(qint32 panelId, qint32 elementId, qint32 inspectionId, const QString& file, bool posted)
{
    gConn.exec(QStringLiteral("INSERT INTO Videos (PanelID, ElementID, VideoFile, InspectionID, Posted) "
                              "VALUES (?, ?, ?, ?, ?)"),
               {panelId, elementId, file, inspectionId, int(posted)});
}

QStringList Rows(const QString& sql, const QVariantList& binds)
{
    const RowSet rs = gConn.query(sql, binds);
    QStringList out;
    for (const QVariantList& row : rs.rows()) {
        QStringList cells;
        for (const QVariant& v : row)
            cells << (v.isNull() ? QStringLiteral("<null>") : v.toString());
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

int CountRows(const QString& table, const QString& where, const QVariantList& binds)
{
    QString sql = QStringLiteral("SELECT count(*) FROM ") + table;
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    return gConn.scalar(sql, binds).toInt();
}

void FailWhen(const QString& name, const QString& event, const QString& table, const QString& condition)
{
    gConn.exec(QStringLiteral("CREATE TEMP TRIGGER %1 BEFORE %2 ON %3 WHEN %4 "
                              "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END")
                   .arg(name, event, table, condition));
}

void DropFailure(const QString& name)
{
    gConn.exec(QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(name));
}
