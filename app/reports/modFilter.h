#pragma once
#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>
#include <optional>

// The expenditure criteria of the report criteria window: the four field boxes (Category,
// Date, Cost, Comments) and the five filter boxes (category, from date, to date, minimum and
// maximum cost), as the user left them.
struct ExpenditureCriteria {
    std::array<bool, 4> fields{};
    std::array<QString, 5> filters;
};

// Filter box k is active when the field box that governs it is checked and it holds more
// than blanks: box 0 by Category, boxes 1 and 2 by Date, boxes 3 and 4 by Cost.
bool ExpenditureFilterActive(const ExpenditureCriteria& criteria, int box);

// The select list of the expenditure report: the grouping column first ("Category", or "Date"
// for Month and Year), then "TunnelName", then the other checked fields in box order.
// groupBy: 0 Category, 1 Month, 2 Year.
QStringList ExpenditureFieldList(const ExpenditureCriteria& criteria, int groupBy);

// A date typed or picked in a criteria box: the system's short date, ISO, or month/day/year.
std::optional<QDate> ReadCriteriaDate(const QString& text);
// An amount typed in a criteria box, with the locale's or plain separators.
std::optional<double> ReadCriteriaNumber(const QString& text);

// The filter terms of the active boxes, in box order, with their values in SQL form: the
// category quoted (quotes doubled), dates as quoted ISO text as they are stored, costs as
// plain numbers. Boxes whose text does not read are left out; the window refuses them first.
struct FilterTerms {
    QStringList fields, operators, values;
};
FilterTerms ExpenditureFilterTerms(const ExpenditureCriteria& criteria);

// The statement of a custom report: "Expenditure" kinds run on the tunnel database, element
// condition evaluation kinds on the report working database. The filter terms are used only
// when the criteria show an active box. Another kind gives "".
QString BuildReportQuery(const QString& reportKind, const QVector<qint32>& tunnelIDs, const QStringList& fields,
                         const FilterTerms& terms, const ExpenditureCriteria& criteria);
