#include "modFilter.h"

#include "db.h"
#include "helpers.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

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

namespace {

// A date format with its day and month read with or without a leading zero and its year as
// yearDigits digits. Quoted literals are kept as they are.
QString DateFormatWithYear(const QString& format, int yearDigits, bool relaxed)
{
    QString out;
    for (int i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            const int end = format.indexOf(QLatin1Char('\''), i + 1);
            const int stop = end < 0 ? int(format.size()) : end + 1;
            out += format.mid(i, stop - i);
            i = stop;
            continue;
        }
        int run = 1;
        while (i + run < format.size() && format.at(i + run) == c)
            ++run;
        if (c == QLatin1Char('y'))
            out += QString(yearDigits, QLatin1Char('y'));
        else if (relaxed && run == 2 && (c == QLatin1Char('d') || c == QLatin1Char('M')))
            out += c;
        else
            out += format.mid(i, run);
        i += run;
    }
    return out;
}

std::optional<QDate> ReadWithFormat(const QLocale& locale, const QString& text, const QString& format)
{
    QDate d = locale.toDate(text, format);
    if (!d.isValid())
        d = QDate::fromString(text, format);
    if (!d.isValid())
        return std::nullopt;
    return d;
}

// Three groups of digits, read in the order of the locale's short date (or month, day, year
// where that names its months in words); four digits first are year, month and day. A year of
// two digits is the one the user means.
std::optional<QDate> ReadNumericDate(const QLocale& locale, const QString& text)
{
    static const QRegularExpression numeric(QStringLiteral("^(\\d{1,4})[\\s./-]+(\\d{1,4})[\\s./-]+(\\d{1,4})[\\s.]*$"));
    const QRegularExpressionMatch m = numeric.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    QString order = QStringLiteral("Mdy");
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("MMM"))) {
        QString seen;
        for (QChar c : format)
            if ((c == QLatin1Char('d') || c == QLatin1Char('M') || c == QLatin1Char('y')) && !seen.contains(c))
                seen += c;
        if (seen.size() == 3)
            order = seen;
    }
    if (m.capturedLength(1) == 4)
        order = QStringLiteral("yMd");
    int day = 0, month = 0, year = 0;
    for (int i = 0; i < 3; ++i) {
        const QString group = m.captured(i + 1);
        const QChar field = order.at(i);
        if (field == QLatin1Char('y')) {
            if (group.size() == 2)
                year = TwoDigitYear(group.toInt(), QDate::currentDate().year());
            else if (group.size() == 4)
                year = group.toInt();
            else
                return std::nullopt;
        } else if (group.size() > 2) {
            return std::nullopt;
        } else if (field == QLatin1Char('d')) {
            day = group.toInt();
        } else {
            month = group.toInt();
        }
    }
    const QDate d(year, month, day);
    if (!d.isValid())
        return std::nullopt;
    return d;
}

}  // namespace

int TwoDigitYear(int twoDigits, int thisYear)
{
    int year = thisYear - thisYear % 100 + twoDigits % 100;
    if (year > thisYear + 19)
        year -= 100;
    else if (year < thisYear - 80)
        year += 100;
    return year;
}

std::optional<QDate> ReadCriteriaDate(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    const QLocale locale;
    if (const auto d = ReadNumericDate(locale, t))
        return d;
    // Month names, and numbers in another order than the locale's.
    const QString shortFormat = locale.dateFormat(QLocale::ShortFormat);
    const QStringList fullYear{DateFormatWithYear(shortFormat, 4, true), QStringLiteral("yyyy-MM-dd"),
                               QStringLiteral("M/d/yyyy"), locale.dateFormat(QLocale::LongFormat)};
    for (const QString& format : fullYear)
        if (const auto d = ReadWithFormat(locale, t, format); d && d->year() >= 1000)
            return d;
    const QStringList twoDigits{DateFormatWithYear(shortFormat, 2, true), QStringLiteral("M/d/yy")};
    for (const QString& format : twoDigits)
        if (const auto d = ReadWithFormat(locale, t, format)) {
            const QDate meant(TwoDigitYear(d->year() % 100, QDate::currentDate().year()), d->month(), d->day());
            if (meant.isValid())
                return meant;
        }
    return std::nullopt;
}

QString CriteriaDateText(const QDate& date)
{
    const QLocale locale;
    return locale.toString(date, DateFormatWithYear(locale.dateFormat(QLocale::ShortFormat), 4, false));
}

std::optional<QDate> CriteriaDate(const ExpenditureCriteria& criteria, int box)
{
    if (box < 0 || box > 4)
        return std::nullopt;
    if (criteria.picked[box].isValid())
        return criteria.picked[box];
    return ReadCriteriaDate(criteria.filters[box]);
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
    if (!ok || !std::isfinite(v))
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
        if (const auto d = CriteriaDate(criteria, box))
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
