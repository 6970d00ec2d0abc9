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

// A number as the list shows a stored value: its shortest text ("2.5", "0.25", "6").
QString NumberText(const QVariant& v)
{
    if (v.isNull())
        return QString();
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? QString::number(d, 'g', 15) : v.toString();
}

ShownFields DefectShownFields(const RowSet& rows, int r, const DefectQuantityRow& shown)
{
    ShownFields fields;
    fields.filled(QStringLiteral("Description"), rows.value(r, QStringLiteral("Description")), shown.description);
    fields.filled(QStringLiteral("Quantity"), rows.value(r, QStringLiteral("Quantity")), shown.quantity);
    fields.filled(QStringLiteral("Units"), rows.value(r, QStringLiteral("Units")), shown.units);
    fields.filled(QStringLiteral("UnitCost"), rows.value(r, QStringLiteral("UnitCost")), shown.unitCost);
    fields.filled(QStringLiteral("TotalCost"), rows.value(r, QStringLiteral("TotalCost")), shown.totalCost);
    return fields;
}

std::optional<DefectEdit> DefectChange(qint32 id, const ShownFields& shown, const DefectQuantityRow& now)
{
    DefectEdit edit;
    edit.kind = RowWrite::Kind::Change;
    edit.loaded = {QStringLiteral("DefectQuantity"), {{QStringLiteral("ID"), id}}, shown.loadedColumns(), false};
    edit.description = shown.loaded(QStringLiteral("Description")).toString();
    const QString texts[] = {now.description, now.quantity, now.units, now.unitCost};
    const QVariant values[] = {TextValue(now.description), Val(now.quantity), TextValue(now.units), Val(now.unitCost)};
    const char* columns[] = {"Description", "Quantity", "Units", "UnitCost"};
    for (int c = 0; c < 4; ++c)
        if (shown.changed(QLatin1String(columns[c]), texts[c]))
            edit.columns.append({QLatin1String(columns[c]), values[c]});
    if (edit.columns.isEmpty())
        return std::nullopt;
    return edit;
}

namespace {

// A defect's column as the question names it and the list shows it.
ColumnEdit defectColumn(const QString& description, const QPair<QString, QVariant>& column)
{
    static const QHash<QString, QString> names{{QStringLiteral("Description"), QStringLiteral("description")},
                                               {QStringLiteral("Quantity"), QStringLiteral("quantity")},
                                               {QStringLiteral("Units"), QStringLiteral("units")},
                                               {QStringLiteral("UnitCost"), QStringLiteral("unit cost")}};
    ColumnEdit edit{column.first, column.second,
                    QStringLiteral("The %1 of the defect %2").arg(names.value(column.first), description), {}};
    if (column.first == QLatin1String("Quantity"))
        edit.show = [](const QVariant& v) { return NumberText(v); };
    else if (column.first == QLatin1String("UnitCost"))
        edit.show = [](const QVariant& v) { return v.isNull() ? QString() : QStringLiteral("$") + NumberText(v); };
    return edit;
}

}  // namespace

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
        w.columns = {{QStringLiteral("Rating"), RatingValue(r.rating), QString(), RatingText}};
        w.writeColumns = [inspectionId, panelId, elementId = r.elementId, rating = r.rating](const ColumnValues&) {
            DbSaveRating(inspectionId, panelId, elementId, rating);
        };
        writes.append(w);
    }
    const auto addComment = [&](const CommentEdit& c, qint32 periodId, const QString& what) {
        RowWrite w;
        w.kind = c.loaded.absent ? RowWrite::Kind::Add : RowWrite::Kind::Change;
        w.loaded = c.loaded;
        w.what = what;
        w.columns = {{QStringLiteral("Comments"), TextValue(c.text), QString(), {}}};
        w.writeColumns = [periodId, panelId, text = c.text](const ColumnValues&) {
            DbSavePanelComment(periodId, panelId, text);
        };
        return w;
    };
    if (edit.comment)
        writes.append(addComment(*edit.comment, inspectionId, QStringLiteral("The %1 comment of %2").arg(edit.year).arg(panel)));
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
            else {
                for (const auto& column : d.columns)
                    w.columns.append(defectColumn(d.description, column));
                w.writeColumns = [id](const ColumnValues& columns) { DbUpdateDefectQuantityColumns(id, columns); };
            }
        }
        writes.append(w);
    }
    return SaveRows(writes, needs);
}
