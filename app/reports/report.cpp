#include "report.h"
#include "reportprogress.h"

#include "db.h"
#include "krverror.h"

#include <QDateTime>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kTwipsPerPoint = 20;

bool IsNumeric(ValueType t)
{
    return t == ValueType::Number || t == ValueType::Currency;
}

// Dates are kept as their Julian day (with the time as a fraction) so a column is one number a row.
double DateNumber(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDate)
        return double(v.toDate().toJulianDay());
    QDateTime dt = v.toDateTime();
    if (!dt.isValid()) {
        const QString s = v.toString().trimmed();
        dt = QDateTime::fromString(s, Qt::ISODate);
        if (!dt.isValid())
            dt = QDateTime(QDate::fromString(s.left(10), Qt::ISODate), QTime(0, 0));
    }
    if (!dt.isValid())
        return std::numeric_limits<double>::quiet_NaN();
    return double(dt.date().toJulianDay()) + dt.time().msecsSinceStartOfDay() / 86400000.0;
}

QVariant DateValue(double n)
{
    const qint64 day = qint64(std::floor(n));
    const double frac = n - double(day);
    const QTime t = QTime(0, 0).addMSecs(int(std::lround(frac * 86400000.0)));
    if (t == QTime(0, 0))
        return QDate::fromJulianDay(day);
    return QDateTime(QDate::fromJulianDay(day), t);
}

}  // namespace

// ------------------------------------------------------------------ DataTable

int DataTable::columnIndex(const QString& name) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void DataTable::addColumn(const QString& name, ValueType type)
{
    columns << name;
    types << type;
    Column c;
    if (type == ValueType::Text)
        c.text.fill(-1, m_rows);
    else
        c.number.fill(std::numeric_limits<double>::quiet_NaN(), m_rows);
    m_data << c;
}

void DataTable::appendRow(const QVariantList& values)
{
    for (int i = 0; i < m_data.size(); ++i) {
        Column& c = m_data[i];
        const QVariant v = i < values.size() ? values[i] : QVariant();
        if (types[i] == ValueType::Text) {
            if (v.isNull()) {
                c.text << -1;
                continue;
            }
            const QString s = v.toString();
            auto it = c.poolIndex.constFind(s);
            if (it == c.poolIndex.constEnd()) {
                it = c.poolIndex.insert(s, qint32(c.pool.size()));
                c.pool << s;
            }
            c.text << it.value();
        } else if (v.isNull()) {
            c.number << std::numeric_limits<double>::quiet_NaN();
        } else if (types[i] == ValueType::DateTime) {
            c.number << DateNumber(v);
        } else {
            bool ok = false;
            const double d = v.toDouble(&ok);
            c.number << (ok ? d : std::numeric_limits<double>::quiet_NaN());
        }
    }
    ++m_rows;
}

QVariant DataTable::value(int row, int column) const
{
    if (column < 0 || column >= m_data.size() || row < 0 || row >= m_rows)
        return {};
    const Column& c = m_data[column];
    if (types[column] == ValueType::Text) {
        const qint32 k = c.text[row];
        return k < 0 ? QVariant() : QVariant(c.pool[k]);
    }
    const double d = c.number[row];
    if (std::isnan(d))
        return {};
    if (types[column] == ValueType::DateTime)
        return DateValue(d);
    return d;
}

QVector<double> DataTable::sortKeys(int column) const
{
    QVector<double> keys(m_rows, -std::numeric_limits<double>::infinity());
    if (column < 0 || column >= m_data.size())
        return keys;
    const Column& c = m_data[column];
    if (types[column] != ValueType::Text) {
        for (int r = 0; r < m_rows; ++r)
            if (!std::isnan(c.number[r]))
                keys[r] = c.number[r];
        return keys;
    }
    QVector<qint32> order(c.pool.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](qint32 a, qint32 b) {
        const int ci = c.pool[a].compare(c.pool[b], Qt::CaseInsensitive);
        return ci != 0 ? ci < 0 : c.pool[a] < c.pool[b];
    });
    QVector<double> rank(order.size());
    for (int i = 0; i < order.size(); ++i)
        rank[order[i]] = i;
    for (int r = 0; r < m_rows; ++r)
        if (c.text[r] >= 0)
            keys[r] = rank[c.text[r]];
    return keys;
}

ValueType DataTable::typeForColumn(const QString& name)
{
    const QString n = name.toLower();
    if (n.contains(QLatin1String("date")))
        return ValueType::DateTime;
    if (n.contains(QLatin1String("cost")))
        return ValueType::Currency;
    if (n == QLatin1String("inspectionyear") || n == QLatin1String("rating") || n == QLatin1String("quantity") ||
        n.endsWith(QLatin1String("id")))
        return ValueType::Number;
    return ValueType::Text;
}

DataTable DataTable::fromRowSet(const RowSet& rows)
{
    DataTable t;
    for (const QString& c : rows.columns())
        t.addColumn(c, typeForColumn(c));
    for (const QVariantList& r : rows.rows())
        t.appendRow(r);
    return t;
}

DataTable DataTable::fromQuery(const Connection& conn, const QString& sql, const QVariantList& binds)
{
    QSqlQuery q(conn.database());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw DbError(q.lastError().nativeErrorCode().toLong(), q.lastError().text());
    for (const QVariant& b : binds)
        q.addBindValue(b);
    if (!q.exec())
        throw DbError(q.lastError().nativeErrorCode().toLong(), q.lastError().text());
    DataTable t;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        t.addColumn(rec.fieldName(i), typeForColumn(rec.fieldName(i)));
    QVariantList row;
    ReportWork work(QStringLiteral("Reading the report's rows..."));
    while (q.next()) {
        row.clear();
        for (int i = 0; i < rec.count(); ++i)
            row << q.value(i);
        t.appendRow(row);
        if (t.rowCount() % 1000 == 0)
            work.stepTo(t.rowCount());
    }
    if (q.lastError().isValid())
        throw DbError(q.lastError().nativeErrorCode().toLong(), q.lastError().text());
    return t;
}

// ------------------------------------------------------------------ objects

ReportObject ReportObject::textObject(const QString& text, double left, double top, double width, double height)
{
    ReportObject o;
    o.kind = ObjectKind::Text;
    o.text = text;
    o.left = left;
    o.top = top;
    o.width = width;
    o.height = height;
    return o;
}

ReportObject ReportObject::field(const QString& column, double left, double top, double width, double height)
{
    ReportObject o = textObject(QString(), left, top, width, height);
    o.kind = ObjectKind::Field;
    o.source = FieldSource::Column;
    o.column = column;
    return o;
}

ReportObject ReportObject::summary(SummaryOp op, const QString& column, int group, double left, double top,
                                   double width, double height)
{
    ReportObject o = field(column, left, top, width, height);
    o.source = FieldSource::Summary;
    o.op = op;
    o.summaryGroup = group;
    return o;
}

ReportObject ReportObject::specialField(SpecialField which, double left, double top, double width, double height)
{
    ReportObject o = field(QString(), left, top, width, height);
    o.source = FieldSource::Special;
    o.special = which;
    return o;
}

ReportObject ReportObject::line(double left, double top, double right, double bottom)
{
    ReportObject o;
    o.kind = ObjectKind::Line;
    o.left = left;
    o.top = top;
    o.right = right;
    o.bottom = bottom;
    o.width = right - left;
    o.height = bottom - top;
    return o;
}

ReportObject ReportObject::subreportObject(std::shared_ptr<Report> report, const QString& linkColumn,
                                           const QString& subLinkColumn, double left, double top, double width,
                                           double height)
{
    ReportObject o = textObject(QString(), left, top, width, height);
    o.kind = ObjectKind::Subreport;
    o.subreport = std::move(report);
    o.linkColumn = linkColumn;
    o.subLinkColumn = subLinkColumn;
    return o;
}

// ------------------------------------------------------------------ Report

Report::Report()
{
    const std::pair<SectionKind, const char*> fixed[] = {{SectionKind::ReportHeader, "Section1"},
                                                         {SectionKind::PageHeader, "Section2"},
                                                         {SectionKind::Details, "Section3"},
                                                         {SectionKind::ReportFooter, "Section4"},
                                                         {SectionKind::PageFooter, "Section5"}};
    for (const auto& [kind, name] : fixed) {
        Section s;
        s.kind = kind;
        s.name = QLatin1String(name);
        sections << s;
    }
}

QSizeF Report::paperSize() const
{
    const QSizeF pt = pageSize.size(QPageSize::Point);
    const QSizeF twips(pt.width() * kTwipsPerPoint, pt.height() * kTwipsPerPoint);
    return orientation == QPageLayout::Landscape ? twips.transposed() : twips;
}

double Report::sectionWidth() const
{
    return paperSize().width() - marginLeft - marginRight;
}

QPageLayout Report::pageLayout() const
{
    return QPageLayout(pageSize, orientation, QMarginsF(0, 0, 0, 0), QPageLayout::Point);
}

Section* Report::sectionByName(const QString& name)
{
    for (Section& s : sections)
        if (s.name == name)
            return &s;
    return nullptr;
}

Section& Report::section(SectionKind kind, int group)
{
    for (Section& s : sections)
        if (s.kind == kind && s.group == group)
            return s;
    throw KrvError(9, QStringLiteral("Subscript out of range"));
}

const Section* Report::findSection(SectionKind kind, int group) const
{
    for (const Section& s : sections)
        if (s.kind == kind && s.group == group)
            return &s;
    return nullptr;
}

int Report::addGroup(const QString& column, GroupCondition condition)
{
    groups.append({column, condition});
    const int n = int(groups.size());
    Section h;
    h.kind = SectionKind::GroupHeader;
    h.group = n;
    h.name = QStringLiteral("Section%1").arg(4 + 2 * n);
    Section f;
    f.kind = SectionKind::GroupFooter;
    f.group = n;
    f.name = QStringLiteral("Section%1").arg(5 + 2 * n);
    sections << h << f;
    return n;
}

void Report::addFormula(const QString& name, ValueType type, const std::function<QVariant(const DataTable&, int)>& f)
{
    QVector<QVariant> values;
    values.reserve(data.rowCount());
    for (int r = 0; r < data.rowCount(); ++r)
        values << f(data, r);
    // Rebuild with the new column; the pools are shared, so this costs one pass.
    DataTable t;
    for (int c = 0; c < data.columns.size(); ++c)
        t.addColumn(data.columns[c], data.types[c]);
    t.addColumn(name, type);
    QVariantList row;
    for (int r = 0; r < data.rowCount(); ++r) {
        row.clear();
        for (int c = 0; c < data.columns.size(); ++c)
            row << data.value(r, c);
        row << values[r];
        t.appendRow(row);
    }
    data = std::move(t);
}

// ------------------------------------------------------------------ formatting

QString FormatValue(const QVariant& value, ValueType type, const ReportObject& object)
{
    if (value.isNull())
        return QString();
    if (type == ValueType::DateTime) {
        const QDate d = value.typeId() == QMetaType::QDate ? value.toDate() : value.toDateTime().date();
        return d.toString(object.dateFormat);
    }
    if (IsNumeric(type) || value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Int ||
        value.typeId() == QMetaType::LongLong) {
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (!ok)
            return value.toString();
        int places = object.decimals;
        if (places < 0)
            places = (type == ValueType::Currency) ? 2 : (d == std::floor(d) ? 0 : -1);
        QString s;
        if (places < 0)
            s = QString::number(d, 'g', 15);
        else if (object.thousands)
            s = QLocale(QLocale::English).toString(d, 'f', places);
        else
            s = QString::number(d, 'f', places);
        if (!object.prefix.isEmpty()) {
            if (s.startsWith(QLatin1Char('-')))
                return QLatin1Char('-') + object.prefix + s.mid(1);
            return object.prefix + s;
        }
        return s;
    }
    return value.toString();
}
