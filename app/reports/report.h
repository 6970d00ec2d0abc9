#pragma once
#include <QColor>
#include <QDate>
#include <QHash>
#include <QPageLayout>
#include <QPageSize>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

class Connection;
class RowSet;

// The program's report model. A report is put together like this:
//
//   auto r = std::make_shared<Report>();              // Letter, portrait, margins 720 twips
//   r->data = DataTable::fromRowSet(rows);             // all rows taken now; no database later
//   r->addFormula("Month", [](const DataTable& t, int row) { ... });  // a computed column
//   r->sortBy("TunnelName");                          // record sort (stable, ascending)
//   int g = r->addGroup("Category");                   // group 1: header "Section6", footer "Section7"
//   r->section(SectionKind::GroupHeader, g).add(ReportObject::field("Category", 0, 0, 5620, 226).bold());
//   r->details().add(ReportObject::field("Cost", 3610, 0, 1089, 236).money().right());
//   r->groupFooter(g).add(ReportObject::summary(SummaryOp::Sum, "Cost", g, 3610, 300, 1090, 236));
//   r->reportFooter().add(ReportObject::summary(SummaryOp::Sum, "Cost", 0, ...));    // group 0 = report
//   r->pageFooter().add(ReportObject::specialField(SpecialField::PageNofM, 155, 700, 1070, 226));
//   sub = std::make_shared<Report>(); ...; r->details().add(ReportObject::subreport(sub, "PanelID", "PanelID", ...));
//
// Sections are named as the layout adjustments expect: "Section1" report header, "Section2"
// page header, "Section3" details, "Section4" report footer, "Section5" page footer, then
// per group n (from 1) "Section<4+2n>" header and "Section<5+2n>" footer.
//
// Positions and sizes are twips (1/1440 inch) from the top-left of the section, which spans
// the page between the left and right margins. A band is as tall as its section's height or
// its lowest object, whichever is more; a growing object (wrapping text) makes it taller.
// Groups nest in the order added; rows are sorted by the group keys first, then by the
// record sort. Page header and footer repeat on every page of the main report. A subreport
// object prints its report's rows whose link column equals the row's link value (all rows
// when unlinked) below the rest of its section, at the object's left; it may run over pages
// and has no page header or footer of its own. A report without rows prints noDataText.
// A group header with repeatOnNewPage is printed again under the page header of every page
// its group continues on (column headings kept in a group header).

enum class ValueType { Number = 7, Currency = 8, Text = 12, DateTime = 16 };

// Materialised rows: column names, a value type per column and the values. Text is kept
// once per distinct value, so repeated names cost one index per row.
class DataTable {
public:
    QStringList columns;
    QVector<ValueType> types;

    int rowCount() const { return m_rows; }
    int columnIndex(const QString& name) const;  // case ignored; -1 when none
    QVariant value(int row, int column) const;
    QVariant value(int row, const QString& column) const { return value(row, columnIndex(column)); }

    void addColumn(const QString& name, ValueType type);
    // Appends one row (values in column order; missing ones are Null).
    void appendRow(const QVariantList& values);
    // A number per row that sorts as the column does: texts by their order without regard
    // to case, Null first.
    QVector<double> sortKeys(int column) const;

    // The value type of a column by its name: dates, costs, years and ids, else text.
    static ValueType typeForColumn(const QString& name);
    static DataTable fromRowSet(const RowSet& rows);
    // Reads a statement's rows straight into the table (forward only, no copy in between).
    static DataTable fromQuery(const Connection& conn, const QString& sql, const QVariantList& binds = {});

private:
    struct Column {
        QVector<qint32> text;     // index into pool, -1 Null
        QVector<double> number;   // NaN for Null
        QStringList pool;
        QHash<QString, qint32> poolIndex;
    };
    QVector<Column> m_data;
    int m_rows = 0;
};

enum class SectionKind { ReportHeader, PageHeader, Details, ReportFooter, PageFooter, GroupHeader, GroupFooter };
// The object kinds as the layout adjustments know them.
enum class ObjectKind { Field = 1, Text = 2, Line = 3, Subreport = 5 };
enum class FieldSource { Column, Summary, Special };
enum class SummaryOp { Sum, Count };
enum class SpecialField { PrintDate, PageNumber, PageNofM };
enum class GroupCondition { EachChange, Monthly, Yearly };
enum Alignment { AlignLeft = 1, AlignCentre = 2, AlignRight = 3 };

class Report;

struct ReportObject {
    ObjectKind kind = ObjectKind::Text;
    FieldSource source = FieldSource::Column;
    QString name;
    QString text;    // text objects
    QString column;  // field: the column shown; summary: the column summed or counted
    SummaryOp op = SummaryOp::Sum;
    int summaryGroup = 0;  // 0 the whole report, n group n
    SpecialField special = SpecialField::PrintDate;
    double left = 0, top = 0, width = 0, height = 0;  // line: from (left, top) to (right, bottom)
    double right = 0, bottom = 0;
    double fontSize = 10;
    bool isBold = false, isItalic = false, isUnderline = false;
    int align = AlignLeft;
    int decimals = -1;         // numbers: fixed decimals; -1 as stored
    bool thousands = false;    // numbers: group separators
    QString prefix;            // "$" for money
    QString dateFormat = QStringLiteral("MM/dd/yyyy");
    bool canGrow = false;      // wraps and makes its band taller
    std::shared_ptr<Report> subreport;
    QString linkColumn, subLinkColumn;

    static ReportObject textObject(const QString& text, double left, double top, double width, double height);
    static ReportObject field(const QString& column, double left, double top, double width, double height);
    static ReportObject summary(SummaryOp op, const QString& column, int group, double left, double top,
                                double width, double height);
    static ReportObject specialField(SpecialField which, double left, double top, double width, double height);
    static ReportObject line(double left, double top, double right, double bottom);
    static ReportObject subreportObject(std::shared_ptr<Report> report, const QString& linkColumn,
                                        const QString& subLinkColumn, double left, double top, double width,
                                        double height);

    ReportObject& size(double points) { fontSize = points; return *this; }
    ReportObject& bold(bool on = true) { isBold = on; return *this; }
    ReportObject& italic(bool on = true) { isItalic = on; return *this; }
    ReportObject& underline(bool on = true) { isUnderline = on; return *this; }
    ReportObject& alignment(int a) { align = a; return *this; }
    ReportObject& centre() { align = AlignCentre; return *this; }
    ReportObject& rightAligned() { align = AlignRight; return *this; }
    ReportObject& money() { decimals = 2; thousands = true; prefix = QStringLiteral("$"); return *this; }
    ReportObject& fixed(int places) { decimals = places; return *this; }
    ReportObject& grow(bool on = true) { canGrow = on; return *this; }
    ReportObject& named(const QString& n) { name = n; return *this; }
};

struct Section {
    QString name;
    SectionKind kind = SectionKind::Details;
    int group = 0;  // group headers and footers: the group number from 1
    double height = 0;
    QColor background;  // invalid: none
    bool repeatOnNewPage = false;  // group headers: printed again at the top of each page the group goes on to
    QVector<ReportObject> objects;

    Section& add(const ReportObject& object)
    {
        objects.append(object);
        return *this;
    }
};

struct ReportGroup {
    QString column;
    GroupCondition condition = GroupCondition::EachChange;
};

class Report {
public:
    Report();

    // Page setup. The paper and orientation follow the printer chosen; the margins are ours.
    QPageSize pageSize = QPageSize(QPageSize::Letter);
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    double marginLeft = 720, marginRight = 720, marginTop = 720, marginBottom = 720;
    QString fontFamily = QStringLiteral("Arial");
    QString title;        // the PDF document's title
    QString noDataText = QStringLiteral("No data");
    QDate printDate = QDate::currentDate();

    DataTable data;
    QVector<ReportGroup> groups;
    QStringList sortColumns;
    QVector<Section> sections;

    // The paper in twips for the orientation; the width between the margins.
    QSizeF paperSize() const;
    double sectionWidth() const;
    QPageLayout pageLayout() const;

    Section* sectionByName(const QString& name);
    Section& section(SectionKind kind, int group = 0);
    const Section* findSection(SectionKind kind, int group = 0) const;
    Section& reportHeader() { return section(SectionKind::ReportHeader); }
    Section& pageHeader() { return section(SectionKind::PageHeader); }
    Section& details() { return section(SectionKind::Details); }
    Section& reportFooter() { return section(SectionKind::ReportFooter); }
    Section& pageFooter() { return section(SectionKind::PageFooter); }
    Section& groupHeader(int group) { return section(SectionKind::GroupHeader, group); }
    Section& groupFooter(int group) { return section(SectionKind::GroupFooter, group); }

    // Lays the columns out anew for the width between the margins; a report whose columns
    // follow the paper sets it, and it runs whenever the paper or its orientation changes.
    std::function<void(Report&)> fitToWidth;
    void fitWidth()
    {
        if (fitToWidth)
            fitToWidth(*this);
    }

    // Adds a group on a column; its number (from 1) and its two sections.
    int addGroup(const QString& column, GroupCondition condition = GroupCondition::EachChange);
    void sortBy(const QString& column) { sortColumns << column; }
    // A computed column, filled for every row now.
    void addFormula(const QString& name, ValueType type, const std::function<QVariant(const DataTable&, int)>& f);
};

// The text a field shows for a value: money "$1,234.50", fixed decimals, dates in the
// object's format, texts as they are.
QString FormatValue(const QVariant& value, ValueType type, const ReportObject& object);
