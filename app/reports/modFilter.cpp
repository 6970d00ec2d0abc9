#include "modFilter.h"

#include "db.h"
#include "helpers.h"

#include <QDate>
#include <QLocale>

bool ExpenditureFilterActive(const ExpenditureCriteria& criteria, int box)
{
    static constexpr int kGoverningField[5] = {0, 1, 1, 2, 2};
    if (box < 0 || box > 4)
        return false;
    return criteria.fields[kGoverningField[box]] && !criteria.filters[box].trimmed().isEmpty();
}

QStringList ExpenditureFieldList(const ExpenditureCriteria& criteria, int groupBy)
{
    static const char* const kCaptions[4] = {"Category", "Date", "Cost", "Comments"};
    QStringList list;
    if (groupBy == 0) {
        list << QStringLiteral("Category") << QStringLiteral("TunnelName");
        for (int k = 1; k < 4; ++k)
            if (criteria.fields[k])
                list << QString::fromLatin1(kCaptions[k]);
    } else {
        list << QStringLiteral("Date") << QStringLiteral("TunnelName");
        if (criteria.fields[0])
            list << QStringLiteral("Category");
        for (int k = 2; k < 4; ++k)
            if (criteria.fields[k])
                list << QString::fromLatin1(kCaptions[k]);
    }
    return list;
}

std::optional<QDate> ReadCriteriaDate(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    const QLocale locale;
    for (const QString& format :
         {locale.dateFormat(QLocale::ShortFormat), QStringLiteral("yyyy-MM-dd"), QStringLiteral("M/d/yyyy"),
          QStringLiteral("M/d/yy"), locale.dateFormat(QLocale::LongFormat)}) {
        QDate d = locale.toDate(t, format);
        if (!d.isValid())
            d = QDate::fromString(t, format);
        if (d.isValid()) {
            // Two-digit years read as this century's, as people mean them.
            if (d.year() < 100)
                d = d.addYears(2000);
            return d;
        }
    }
    return std::nullopt;
}

std::optional<double> ReadCriteriaNumber(const QString& text)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('$')))
        t = t.mid(1).trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    double v = QLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok)
        return std::nullopt;
    return v;
}

FilterTerms ExpenditureFilterTerms(const ExpenditureCriteria& criteria)
{
    FilterTerms terms;
    auto add = [&terms](const QString& field, const QString& op, const QString& value) {
        terms.fields << field;
        terms.operators << op;
        terms.values << value;
    };
    if (ExpenditureFilterActive(criteria, 0))
        add(QStringLiteral("Category"), QStringLiteral("="),
            QLatin1Char('\'') + SqlQuote(criteria.filters[0].trimmed()) + QLatin1Char('\''));
    for (int box : {1, 2}) {
        if (!ExpenditureFilterActive(criteria, box))
            continue;
        if (const auto d = ReadCriteriaDate(criteria.filters[box]))
            add(QStringLiteral("Date"), box == 1 ? QStringLiteral(">=") : QStringLiteral("<="),
                QLatin1Char('\'') + d->toString(Qt::ISODate) + QLatin1Char('\''));
    }
    for (int box : {3, 4}) {
        if (!ExpenditureFilterActive(criteria, box))
            continue;
        if (const auto v = ReadCriteriaNumber(criteria.filters[box]))
            add(QStringLiteral("Cost"), box == 3 ? QStringLiteral(">=") : QStringLiteral("<="),
                QString::number(*v, 'g', 17));
    }
    return terms;
}

QString BuildReportQuery(const QString& reportKind, const QVector<qint32>& tunnelIDs, const QStringList& fields,
                         const FilterTerms& terms, const ExpenditureCriteria& criteria)
{
    QString select = QStringLiteral("SELECT ");
    QString from;
    QString where = QStringLiteral("WHERE ");
    if (reportKind.contains(QLatin1String("Expenditure"))) {
        for (int i = 0; i < fields.size(); ++i)
            select += fields[i].trimmed() + (i + 1 < fields.size() ? QStringLiteral(",") : QStringLiteral(" "));
        from = QStringLiteral(
            "FROM ExpenditureCats INNER JOIN (Tunnels INNER JOIN Expenditures "
            "ON Tunnels.TunnelID = Expenditures.TunnelID) ON ExpenditureCats.CategoryID "
            "= Expenditures.CategoryID ");
        bool filterOn = false;
        for (int k = 0; k < 5 && !filterOn; ++k)
            filterOn = ExpenditureFilterActive(criteria, k);
        // A filter box that does not read gives no term; without terms the tunnels alone filter.
        filterOn = filterOn && !terms.fields.isEmpty();
        for (int t = 0; t < tunnelIDs.size(); ++t) {
            const bool last = t + 1 == tunnelIDs.size();
            where += QStringLiteral("(Tunnels.TunnelID=") + QString::number(tunnelIDs[t]);
            if (!filterOn) {
                where += last ? QStringLiteral(")") : QStringLiteral(") OR ");
                continue;
            }
            where += QStringLiteral(" AND ");
            for (int k = 0; k < terms.fields.size(); ++k)
                where += terms.fields[k].trimmed() + terms.operators.value(k).trimmed() + terms.values.value(k).trimmed()
                         + (k + 1 < terms.fields.size() ? QStringLiteral(" AND ") : QStringLiteral(") "));
            if (!last)
                where += QStringLiteral("OR ");
        }
        return select + from + where;
    }
    if (reportKind.contains(QLatin1String("Element Condition Evaluation"))) {
        for (const QString& f : fields)
            select += f.trimmed() + QLatin1Char(',');
        if (select.trimmed().endsWith(QLatin1Char(',')))
            select = select.trimmed().chopped(1) + QLatin1Char(' ');
        from = QStringLiteral(
            "FROM (Panels INNER JOIN (AvailableElements INNER JOIN ReportRatings "
            "ON AvailableElements.ElementID = ReportRatings.ElementID) ON Panels.PanelID = "
            "ReportRatings.PanelID) INNER JOIN InspectionPeriod ON ReportRatings.InspectionID "
            "= InspectionPeriod.InspectionID ");
        return select + from;
    }
    return QString();
}
