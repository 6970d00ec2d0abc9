#include "dbdatainput.h"

#include "dbbind.h"
#include "dbdefects.h"
#include "dbinspection.h"
#include "helpers.h"

LoadedRow DbLoadPanelComment(qint32 inspectionId, qint32 panelId)
{
    const RowSet rs = gConn.query(QStringLiteral("SELECT Comments FROM PanelComments WHERE InspectionID = ? AND PanelID = ?"),
                                  {inspectionId, panelId});
    LoadedRow row{QStringLiteral("PanelComments"),
                  {{QStringLiteral("InspectionID"), inspectionId}, {QStringLiteral("PanelID"), panelId}},
                  {},
                  rs.isEmpty()};
    row.values = {{QStringLiteral("Comments"), rs.isEmpty() ? QVariant() : rs.value(0, QStringLiteral("Comments"))}};
    return row;
}

QString PanelCommentText(const LoadedRow& comment)
{
    const QVariant v = comment.values.value(0).second;
    return comment.absent || v.isNull() ? QString() : v.toString();
}

LoadedRow RatingLoadedRow(qint32 inspectionId, qint32 panelId, qint32 elementId, const QHash<qint32, QVariant>& ratings)
{
    const auto found = ratings.constFind(elementId);
    return {QStringLiteral("Ratings"),
            {{QStringLiteral("InspectionID"), inspectionId},
             {QStringLiteral("PanelID"), panelId},
             {QStringLiteral("ElementID"), elementId}},
            {{QStringLiteral("Rating"), found == ratings.constEnd() ? QVariant() : *found}},
            found == ratings.constEnd()};
}

LoadedRow DefectLoadedRow(const RowSet& rows, int r)
{
    LoadedRow row{QStringLiteral("DefectQuantity"), {{QStringLiteral("ID"), rows.value(r, QStringLiteral("ID"))}}, {}, false};
    for (const char* column : {"Description", "Quantity", "Units", "UnitCost", "TotalCost"})
        row.values.append({QLatin1String(column), rows.value(r, QLatin1String(column))});
    return row;
}

std::optional<DefectEdit> DefectChange(const LoadedRow& loaded, const DefectQuantityRow& loadedTexts,
                                       const DefectQuantityRow& now)
{
    DefectEdit edit;
    edit.kind = RowWrite::Kind::Change;
    edit.loaded = loaded;
    edit.description = loadedTexts.description;
    if (now.description != loadedTexts.description)
        edit.columns.append({QStringLiteral("Description"), TextValue(now.description)});
    if (now.units != loadedTexts.units)
        edit.columns.append({QStringLiteral("Units"), TextValue(now.units)});
    // The total is the product of the other two: the three are the user's one amount.
    if (Val(now.quantity) != Val(loadedTexts.quantity) || Val(now.unitCost) != Val(loadedTexts.unitCost) ||
        Val(now.totalCost) != Val(loadedTexts.totalCost)) {
        edit.columns.append({QStringLiteral("Quantity"), Val(now.quantity)});
        edit.columns.append({QStringLiteral("UnitCost"), Val(now.unitCost)});
        edit.columns.append({QStringLiteral("TotalCost"), Val(now.totalCost)});
    }
    if (edit.columns.isEmpty())
        return std::nullopt;
    return edit;
}

SaveOutcome DbSavePanelEdit(const PanelEdit& edit)
{
    const QString panel = QStringLiteral("panel ") + edit.panelName;
    const QVector<NeededRow> needs{
        {QStringLiteral("Tunnels"), {{QStringLiteral("TunnelID"), edit.tunnelId}},
         QStringLiteral("The tunnel ") + edit.tunnelName},
        {QStringLiteral("InspectionPeriod"), {{QStringLiteral("InspectionID"), edit.inspectionId}},
         QStringLiteral("The inspection period %1").arg(edit.year)},
        {QStringLiteral("Panels"), {{QStringLiteral("PanelID"), edit.panelId}}, QStringLiteral("The panel ") + edit.panelName},
    };
    const qint32 inspectionId = edit.inspectionId;
    const qint32 panelId = edit.panelId;

    QVector<RowWrite> writes;
    for (const RatingEdit& r : edit.ratings) {
        RowWrite w;
        w.kind = r.loaded.absent ? RowWrite::Kind::Add : RowWrite::Kind::Change;
        w.loaded = r.loaded;
        w.what = QStringLiteral("The rating of %1 on %2").arg(r.elementName, panel);
        // A rating belongs to an element listed on the panel.
        w.needs = {{QStringLiteral("PanelElements"),
                    {{QStringLiteral("PanelID"), panelId}, {QStringLiteral("ElementID"), r.elementId}},
                    QStringLiteral("The element %1 of %2").arg(r.elementName, panel)},
                   {QStringLiteral("AvailableElements"), {{QStringLiteral("ElementID"), r.elementId}},
                    QStringLiteral("The element ") + r.elementName}};
        w.write = [inspectionId, panelId, elementId = r.elementId, rating = r.rating] {
            DbSaveRating(inspectionId, panelId, elementId, rating);
        };
        writes.append(w);
    }
    const auto addComment = [&](const CommentEdit& c, qint32 periodId, const QString& what) {
        RowWrite w;
        w.kind = c.loaded.absent ? RowWrite::Kind::Add : RowWrite::Kind::Change;
        w.loaded = c.loaded;
        w.what = what;
        w.write = [periodId, panelId, text = c.text] { DbSavePanelComment(periodId, panelId, text); };
        return w;
    };
    if (edit.comment)
        writes.append(addComment(*edit.comment, inspectionId, QStringLiteral("The comment of ") + panel));
    if (edit.previousComment) {
        RowWrite w = addComment(*edit.previousComment, edit.previousInspectionId,
                                QStringLiteral("The %1 comment of %2").arg(edit.previousYear).arg(panel));
        w.needs = {{QStringLiteral("InspectionPeriod"), {{QStringLiteral("InspectionID"), edit.previousInspectionId}},
                    QStringLiteral("The inspection period %1").arg(edit.previousYear)}};
        writes.append(w);
    }
    for (const DefectEdit& d : edit.defects) {
        RowWrite w;
        w.kind = d.kind;
        w.what = QStringLiteral("The defect ") + d.description;
        if (d.kind == RowWrite::Kind::Add) {
            w.write = [inspectionId, panelId, row = d.typed] {
                DbAddDefectQuantity(panelId, inspectionId, row.description, Val(row.quantity), row.units,
                                    Val(row.unitCost), Val(row.totalCost));
            };
        } else {
            w.loaded = d.loaded;
            const qint32 id = d.loaded.key.value(0).second.toInt();
            if (d.kind == RowWrite::Kind::Remove)
                w.write = [id] { DbDeleteDefectQuantity(id); };
            else
                w.write = [id, columns = d.columns] { DbUpdateDefectQuantityColumns(id, columns); };
        }
        writes.append(w);
    }
    return SaveRows(writes, needs);
}
