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
    // The date a chooser gave for box 1 or 2, while that box still shows it.
    std::array<QDate, 5> picked{};
};

// Filter box k is active when the field box that governs it is checked and it holds more
// than blanks: box 0 by Category, boxes 1 and 2 by Date, boxes 3 and 4 by Cost.
bool ExpenditureFilterActive(const ExpenditureCriteria& criteria, int box);

// The select list of the expenditure report: the grouping column first ("Category", or "Date"
// for Month and Year), then "TunnelName", then the other checked fields in box order.
// groupBy: 0 Category, 1 Month, 2 Year.
QStringList ExpenditureFieldList(const ExpenditureCriteria& criteria, int groupBy);

// A date typed in a criteria box: the locale's short date (day and month with or without a
// leading zero, the year in two or four digits), ISO, month/day/year, or the long date. A
// two-digit year is the one of the hundred years around today that the user means
// (TwoDigitYear), never 19xx by default.
std::optional<QDate> ReadCriteriaDate(const QString& text);
// The year a two-digit year stands for: from 80 years before this year to 19 after it.
int TwoDigitYear(int twoDigits, int thisYear);
// A date as a criteria box shows it: the locale's short date with a four-digit year.
QString CriteriaDateText(const QDate& date);
// The date of box 1 or 2: the one its chooser gave while the box shows it, else the text read.
std::optional<QDate> CriteriaDate(const ExpenditureCriteria& criteria, int box);
// An amount typed in a criteria box, with the locale's or plain separators; only a finite
// number ("inf", "nan" and "1e999" are none).
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
