#include "dbinspection.h"

#include "dbbind.h"
#include "dbsystem.h"
#include "helpers.h"

bool gHasPostedImages = false;

namespace {

// The identifier of a tree key: the number after its first character.
qint32 keyNumber(const QString& key)
{
    return qint32(Val(key.mid(1)));
}

}  // namespace

// A rating box's text as the value to store: Null for "", else its numeric value.
// A rating is one digit; anything else is no rating (Null), never 0, the worst.
QVariant RatingValue(const QString& rating)
{
    const QString t = rating.trimmed();
    if (t.size() != 1 || t.at(0) < QLatin1Char('0') || t.at(0) > QLatin1Char('9'))
        return QVariant(QMetaType(QMetaType::Int));
    return qint32(t.at(0).unicode() - '0');
}

QString RatingText(const QVariant& rating)
{
    return rating.isNull() ? QString() : rating.toString();
}

// ---------------------------------------------------------------- Inspection periods

qint32 DbAddInspectionPeriod(const QString& tunnelKey, qint16 year)
{
    TxGuard tx;
    DbRequireTunnel(keyNumber(tunnelKey));
    if (DbInspectionYearExists(keyNumber(tunnelKey), year))
        return 0;
    const qint32 id = qint32(gConn.insertAutoNumber(QStringLiteral("InspectionPeriod"),
                                                    {{QStringLiteral("TunnelID"), keyNumber(tunnelKey)},
                                                     {QStringLiteral("InspectionYear"), year}}));
    tx.commit();
    return id;
}

bool DbInspectionYearExists(qint32 tunnelId, qint16 year, qint32 exceptInspectionId)
{
    return !gConn.query(QStringLiteral("SELECT 1 FROM InspectionPeriod WHERE TunnelID = ? AND InspectionYear = ? "
                                       "AND InspectionID <> ?"),
                        {tunnelId, year, exceptInspectionId})
                .isEmpty();
}

void DbSetInspectionYear(const QString& inspectionKey, qint16 year)
{
    UpdateChanged(QStringLiteral("InspectionPeriod"), {{QStringLiteral("InspectionYear"), year}},
                  QStringLiteral("InspectionID = ?"), {keyNumber(inspectionKey)});
}

qint32 DbGetInspectionID(qint32 tunnelId, qint16 year)
{
    const RowSet rs = gConn.query(
        QStringLiteral("SELECT InspectionID FROM InspectionPeriod WHERE TunnelID = ? AND InspectionYear = ?"),
        {tunnelId, year});
    if (rs.isEmpty())
        return 0;
    return rs.toInt(0, QStringLiteral("InspectionID"));
}

std::optional<qint16> DbGetPreviousInspectionYear(qint32 tunnelId, qint16 year)
{
    const QVariant v = gConn.scalar(QStringLiteral("SELECT MAX(InspectionYear) AS MaxYear FROM InspectionPeriod "
                                                   "WHERE (InspectionYear < ?) AND TunnelID = ?"),
                                    {year, tunnelId});
    if (v.isNull())
        return std::nullopt;
    return qint16(v.toInt());
}

// ---------------------------------------------------------------- Ratings

QString DbGetRating(qint32 inspectionId, qint32 panelId, qint32 elementId)
{
    const RowSet rs = gConn.query(
        QStringLiteral("SELECT Rating FROM Ratings WHERE InspectionID = ? AND PanelID = ? AND ElementID = ?"),
        {inspectionId, panelId, elementId});
    if (rs.isEmpty())
        return QString();
    return RatingText(rs.value(0, QStringLiteral("Rating")));
}

QHash<qint32, QVariant> DbGetPanelRatings(qint32 inspectionId, qint32 panelId)
{
    const RowSet rs = gConn.query(
        QStringLiteral("SELECT ElementID, Rating FROM Ratings WHERE InspectionID = ? AND PanelID = ?"),
        {inspectionId, panelId});
    QHash<qint32, QVariant> ratings;
    ratings.reserve(rs.count());
    for (const QVariantList& row : rs.rows())
        ratings.insert(row[0].toInt(), row[1]);
    return ratings;
}

QString DbGetPostedRating(qint32 inspectionId, qint32 panelId, qint32 elementId)
{
    const RowSet rs = gConn.query(
        QStringLiteral("SELECT Rating FROM RatingsPosted WHERE InspectionID = ? AND PanelID = ? AND ElementID = ?"),
        {inspectionId, panelId, elementId});
    if (rs.isEmpty())
        return QString();
    const QVariant v = rs.value(0, QStringLiteral("Rating"));
    if (!v.isNull() && v.toInt() == -1)
        return QStringLiteral("M");
    return RatingText(v);
}

void DbSaveRating(qint32 inspectionId, qint32 panelId, qint32 elementId, const QString& rating)
{
    const QVariantList key{inspectionId, panelId, elementId};
    const QVariant value = RatingValue(rating);
    TxGuard tx;
    const RowSet working = gConn.query(
        QStringLiteral("SELECT Posted FROM Ratings WHERE InspectionID = ? AND PanelID = ? AND ElementID = ?"),
        key);
    if (working.isEmpty()) {
        // An empty box over no row is no rating: nothing to write.
        if (!value.isNull())
            gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) "
                                      "VALUES (?, ?, ?, ?, 0)"),
                       key + QVariantList{value});
        tx.commit();
        return;
    }
    const QVariant postedFlag = working.value(0, QStringLiteral("Posted"));
    const bool wasPosted = !postedFlag.isNull() && postedFlag.toLongLong() != 0;
    const RowSet posted = gConn.query(
        QStringLiteral("SELECT Rating FROM RatingsPosted WHERE InspectionID = ? AND PanelID = ? AND ElementID = ?"), key);
    // A posted Null is the empty text, so a rating entered over it is posted next time.
    const bool changed = posted.isEmpty() || !wasPosted ||
                         RatingText(posted.value(0, QStringLiteral("Rating"))) != RatingText(value);

    // Written only where a value changes: the same rating again leaves the row, its posted
    // state and the posted copy alone.
    if (changed && wasPosted)
        UpdateChanged(QStringLiteral("RatingsPosted"), {{QStringLiteral("Rating"), -1}},
                      QStringLiteral("InspectionID = ? AND PanelID = ? AND ElementID = ?"), key);
    UpdateChanged(QStringLiteral("Ratings"),
                  {{QStringLiteral("Rating"), value}, {QStringLiteral("Posted"), BoolToBit(!changed)}},
                  QStringLiteral("InspectionID = ? AND PanelID = ? AND ElementID = ?"), key);
    tx.commit();
}

namespace {

QHash<qint32, PanelLowest> lowestRatings(const QString& table, const QString& counted, qint32 inspectionId)
{
    // table and counted come from the two callers below. Walks the period's part of the
    // unique index, so the panels come grouped without a sort; MIN and MAX do not mind a
    // doubled panel element.
    const RowSet rs = gConn.query(
        QStringLiteral("SELECT r.PanelID, MIN(%2) AS Lowest, MAX(r.Rating) AS Highest FROM %1 AS r "
                       "JOIN PanelElements AS pe ON pe.PanelID = r.PanelID AND pe.ElementID = r.ElementID "
                       "JOIN AvailableElements AS ae ON ae.ElementID = r.ElementID "
                       "WHERE r.InspectionID = ? GROUP BY r.PanelID")
            .arg(table, counted),
        {inspectionId});
    QHash<qint32, PanelLowest> lowest;
    lowest.reserve(rs.count());
    for (const QVariantList& row : rs.rows()) {
        // Texts sort above every number, so any text makes the highest one; a fraction
        // only counts when it is the lowest (rounding keeps the order of the others).
        const QVariant& low = row[1];
        const QVariant& high = row[2];
        const bool odd = (!high.isNull() && high.typeId() != QMetaType::LongLong && high.typeId() != QMetaType::Double)
                         || (!low.isNull() && low.typeId() != QMetaType::LongLong);
        lowest.insert(row[0].toInt(), {odd ? QVariant() : low, odd});
    }
    return lowest;
}

}  // namespace

QHash<qint32, PanelLowest> DbGetLowestRatings(qint32 inspectionId)
{
    return lowestRatings(QStringLiteral("Ratings"), QStringLiteral("r.Rating"), inspectionId);
}

QHash<qint32, PanelLowest> DbGetLowestPostedRatings(qint32 inspectionId)
{
    return lowestRatings(QStringLiteral("RatingsPosted"), QStringLiteral("CASE WHEN r.Rating <> -1 THEN r.Rating END"),
                         inspectionId);
}

bool DbHasUnpostedRatings(qint32 inspectionId, qint32 panelId)
{
    const RowSet rs = gConn.query(
        QStringLiteral("SELECT 1 FROM Ratings WHERE InspectionID = ? AND PanelID = ? AND NOT Posted LIMIT 1"),
        {inspectionId, panelId});
    return rs.isEmpty();
}

// ---------------------------------------------------------------- Comments

QString DbGetPanelComment(qint32 inspectionId, qint32 panelId)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT Comments FROM PanelComments WHERE InspectionID = ? AND PanelID = ?"),
                                  {inspectionId, panelId});
    if (rs.isEmpty())
        return QString();
    return rs.toText(0, QStringLiteral("Comments"));
}

QString DbGetPostedPanelComment(qint32 inspectionId, qint32 panelId)
{
    const RowSet rs = gConn.query(
        QStringLiteral("SELECT Comments FROM PanelCommentsPosted WHERE InspectionID = ? AND PanelID = ?"),
        {inspectionId, panelId});
    if (rs.isEmpty())
        return QString();
    return rs.toText(0, QStringLiteral("Comments"));
}

void DbSavePanelComment(qint32 inspectionId, qint32 panelId, const QString& comments)
{
    TxGuard tx;
    const RowSet rs = gConn.query(QStringLiteral("SELECT Comments FROM PanelComments WHERE InspectionID = ? AND PanelID = ?"),
                                  {inspectionId, panelId});
    if (rs.isEmpty()) {
        gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments, Posted) "
                                  "VALUES (?, ?, ?, 0)"),
                   {inspectionId, panelId, TextValue(comments)});
    } else {
        const QVariant stored = rs.value(0, QStringLiteral("Comments"));
        // Exact comparison: a change of case is a change; a stored Null always differs.
        if (stored.isNull() || stored.toString() != comments)
            gConn.exec(QStringLiteral("UPDATE PanelComments SET Comments = ?, Posted = 0 "
                                      "WHERE InspectionID = ? AND PanelID = ?"),
                       {TextValue(comments), inspectionId, panelId});
    }
    tx.commit();
}

// ---------------------------------------------------------------- Posted pictures

std::optional<RowSet> DbCheckPostedImages(qint32 panelId, qint32 elementId)
{
    RowSet rs = gConn.query(QStringLiteral("SELECT * FROM ImagePathsPosted WHERE PanelID = ? AND ElementID = ?"),
                            {panelId, elementId});
    gHasPostedImages = !rs.isEmpty();
    if (rs.isEmpty())
        return std::nullopt;
    return rs;
}

std::optional<RowSet> DbCheckPostedImages(qint32 panelId, qint32 elementId, qint32 inspectionId)
{
    RowSet rs = gConn.query(
        QStringLiteral("SELECT * FROM ImagePathsPosted WHERE InspectionID = ? AND PanelID = ? AND ElementID = ?"),
        {inspectionId, panelId, elementId});
    gHasPostedImages = !rs.isEmpty();
    if (rs.isEmpty())
        return std::nullopt;
    return rs;
}
