#include "dbdatainput.h"

#include "dbdefects.h"
#include "dbinspection.h"
#include "helpers.h"
#include "krverror.h"
#include "lookups.h"

#include <QStringList>

QString DbGetPanelCommentText(qint32 inspectionId, qint32 panelId)
{
    try {
        return DbGetPanelComment(inspectionId, panelId);
    } catch (const KrvError& e) {
        if (e.number() != ErrNo::InvalidUseOfNull)
            throw;
        return QString();
    }
}

bool DbDefectQuantityChanged(const DefectQuantityRow& row)
{
    const qint32 id = qint32(Val(row.key.mid(1)));
    const RowSet rs = DbGetDefectQuantity(id);
    if (rs.isEmpty())
        return false;
    auto sameNumber = [&](const QString& column, const QString& shown) {
        const QVariant v = rs.value(0, column);
        if (v.isNull())
            return shown.isEmpty();
        return v.toDouble() == Val(shown);
    };
    const QVariant total = rs.value(0, QStringLiteral("TotalCost"));
    // The list shows the total in cents, so it is compared in cents.
    const bool sameTotal = total.isNull() ? row.totalCost.isEmpty()
                                          : MoneyText(total.toDouble()) == MoneyText(Val(row.totalCost));
    return !(NullToEmpty(rs.value(0, QStringLiteral("Description"))).toString() == row.description &&
             sameNumber(QStringLiteral("Quantity"), row.quantity) &&
             NullToEmpty(rs.value(0, QStringLiteral("Units"))).toString() == row.units &&
             sameNumber(QStringLiteral("UnitCost"), row.unitCost) && sameTotal);
}

namespace {

// Adds the new rows, rewrites the changed ones and deletes the panel's rows the list no
// longer has. Runs inside the caller's transaction.
QVector<qint32> SaveDefectQuantities(qint32 panelId, qint32 inspectionId, const QVector<DefectQuantityRow>& rows)
{
    QVector<qint32> ids;
    QVariantList kept;
    for (const DefectQuantityRow& row : rows) {
        const double quantity = Val(row.quantity);
        const double unitCost = Val(row.unitCost);
        const double totalCost = Val(row.totalCost);
        qint32 id;
        if (row.key.isEmpty()) {
            id = DbAddDefectQuantity(panelId, inspectionId, row.description, quantity, row.units, unitCost, totalCost);
        } else {
            id = qint32(Val(row.key.mid(1)));
            if (DbDefectQuantityChanged(row))
                DbUpdateDefectQuantity(id, row.description, quantity, row.units, unitCost, totalCost);
        }
        ids.append(id);
        kept.append(id);
    }
    if (kept.isEmpty()) {
        gConn.exec(QStringLiteral("DELETE FROM DefectQuantity WHERE PanelID = ? AND InspectionID = ?"),
                   {panelId, inspectionId});
    } else {
        QStringList marks;
        for (int k = 0; k < kept.size(); ++k)
            marks << QStringLiteral("?");
        gConn.exec(QStringLiteral("DELETE FROM DefectQuantity WHERE PanelID = ? AND InspectionID = ? AND NOT ID IN (") +
                       marks.join(QLatin1Char(',')) + QLatin1Char(')'),
                   QVariantList{panelId, inspectionId} + kept);
    }
    return ids;
}

}  // namespace

QVector<qint32> DbSavePanelEdit(const PanelEdit& edit)
{
    TxGuard tx;
    for (const auto& [elementId, rating] : edit.ratings)
        DbSaveRating(edit.inspectionId, edit.panelId, elementId, rating);
    if (edit.comment)
        DbSavePanelComment(edit.inspectionId, edit.panelId, *edit.comment);
    if (edit.previousComment)
        DbSavePanelComment(edit.previousInspectionId, edit.panelId, *edit.previousComment);
    const QVector<qint32> ids = SaveDefectQuantities(edit.panelId, edit.inspectionId, edit.defects);
    tx.commit();
    return ids;
}
