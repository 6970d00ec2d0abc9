// The key plan printout: the section list, the sheet as the preview and the printer get it,
// the print and preview commands and their failures. The caller is a stand-in window that
// offers the controls by name, as the rating entry and review windows do.
#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmDataInput.h"
#include "frmDataInputCalls.h"
#include "frmDataView.h"
#include "reportsforms.h"
#include "frmPrintKeyplan.h"
#include "frmPrintPreview.h"
#include "helpers.h"
#include "savefile.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "zvmap.h"

#include <QDate>
#include <algorithm>
#include <QFontDatabase>
#include <QPageLayout>
#include <QScopeGuard>
#include <QPageSize>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr double kChar = 120;

// A caller window with the controls the printout reads.
struct Caller {
    std::unique_ptr<QWidget> window;
    ZVMap* map = nullptr;
    QLabel* panel = nullptr;
    QList<QLabel*> elements;
};

QLabel* Indexed(QWidget* parent, const QString& name, int index, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setProperty("Index", index);
    return l;
}

// The texts of the run in order.
QStringList Texts(const QVector<PrintItem>& items)
{
    QStringList out;
    for (const PrintItem& it : items)
        if (it.kind == PrintItem::Text && !it.text.isEmpty())
            out << it.text;
    return out;
}

QList<PrintItem> Find(const QVector<PrintItem>& items, const QString& text)
{
    QList<PrintItem> out;
    for (const PrintItem& it : items)
        if (it.kind == PrintItem::Text && it.text == text)
            out << it;
    return out;
}

QList<PrintItem> OfKind(const QVector<PrintItem>& items, PrintItem::Kind kind)
{
    QList<PrintItem> out;
    for (const PrintItem& it : items)
        if (it.kind == kind)
            out << it;
    return out;
}

int PdfPages(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray data = f.readAll();
    if (!data.startsWith("%PDF"))
        return -1;
    return int(QString::fromLatin1(data).count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"))));
}


// A name of `length` characters made of words, as users type long names.
QString LongName(const QString& start, int length)
{
    QString s = start;
    const QStringList words{QStringLiteral("Longitudinal"), QStringLiteral("Drain"), QStringLiteral("Channel"),
                            QStringLiteral("Grating"), QStringLiteral("North"), QStringLiteral("Portal"),
                            QStringLiteral("Approach"), QStringLiteral("Section")};
    for (int i = 0; s.size() < length; ++i)
        s += QLatin1Char(' ') + words[i % words.size()];
    return s.left(length).trimmed();
}

// What is wrong with the sheet's texts: one running over another or over the picture, or past the right edge.
QStringList SheetFaults(const QVector<PrintItem>& items, double right)
{
    QStringList faults;
    QVector<const PrintItem*> texts;
    for (const PrintItem& it : items)
        if (it.kind == PrintItem::Text && !it.text.trimmed().isEmpty())
            texts << &it;
    for (const PrintItem& picture : items)
        if (picture.kind == PrintItem::Picture)
            for (const PrintItem* it : texts)
                if (it->page == picture.page && picture.rect.intersects(it->rect.adjusted(1, 1, -1, -1)))
                    faults << QStringLiteral("'%1' over the picture").arg(it->text.left(40));
    for (const PrintItem* it : texts) {
        if (it->rect.left() < -0.5 || it->rect.right() > right + 0.5)
            faults << QStringLiteral("off the page (%1..%2 of %3): %4")
                          .arg(it->rect.left())
                          .arg(it->rect.right())
                          .arg(right)
                          .arg(it->text.left(40));
        for (const PrintItem* other : texts)
            if (other < it && other->page == it->page && other->rect.adjusted(1, 1, -1, -1).intersects(it->rect.adjusted(1, 1, -1, -1)))
                faults << QStringLiteral("'%1' over '%2'").arg(it->text.left(40), other->text.left(40));
    }
    return faults;
}

}  // namespace

class tst_keyplan : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 m_tunnel = 0, m_id1 = 0, m_id2 = 0, m_panel = 0;
    QString m_picture;

    // A new caller of that name with `rows` element rows (0 hides row 0).
    Caller makeCaller(const QString& name, int rows)
    {
        Caller c;
        c.window = std::make_unique<QWidget>();
        c.window->setObjectName(name);
        c.window->resize(900, 700);
        c.map = new ZVMap(c.window.get());
        c.map->setObjectName(QStringLiteral("ZVMap1"));
        c.map->setGeometry(0, 0, 600, 300);
        c.map->setImage(m_picture);
        c.panel = new QLabel(QStringLiteral("P-7 Portal"), c.window.get());
        c.panel->setObjectName(name == QLatin1String("frmDataInput") ? QStringLiteral("lblName")
                                                                     : QStringLiteral("lblPanelID"));
        c.panel->setProperty("Tag", QString::number(m_panel));
        for (int k = 0; k < 2; ++k) {
            Indexed(c.window.get(), QStringLiteral("lblYear1"), k, QStringLiteral("2022"));
            Indexed(c.window.get(), QStringLiteral("lblYear2"), k, QStringLiteral("2024"));
        }
        for (int i = 0; i < std::max(rows, 1); ++i) {
            c.elements << Indexed(c.window.get(), QStringLiteral("lblElement"), i, QStringLiteral("Element %1").arg(i));
            Indexed(c.window.get(), QStringLiteral("lblRate1"), i, QString::number(i));
            if (name == QLatin1String("frmDataInput")) {
                auto* box = new QLineEdit(QString::number(i + 5), c.window.get());
                box->setObjectName(QStringLiteral("txtRate1"));
                box->setProperty("Index", i);
            } else {
                Indexed(c.window.get(), QStringLiteral("lblRate2"), i, QString::number(i + 5));
            }
        }
        if (rows == 0)
            c.elements[0]->hide();
        c.window->show();
        return c;
    }

    frmPrintKeyplan* open(const Caller& c, qint32 id1, qint32 id2)
    {
        auto* k = new frmPrintKeyplan;
        k->LoadForm(m_tunnel, id1, id2, c.window.get());
        return k;
    }

    // One preview run; the check runs while the preview is shown, then it closes.
    void preview(frmPrintKeyplan* k, const std::function<void(frmPrintPreview*)>& check = {})
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : LoadedForms())
                if (auto* p = qobject_cast<frmPrintPreview*>(w)) {
                    ran = true;
                    if (check)
                        check(p);
                    p->close();
                }
        });
        QTest::mouseClick(k->cmdPreview, Qt::LeftButton);
        QVERIFY(ran);
    }

    void setChecked(frmPrintKeyplan* k, const QString& text, bool on)
    {
        for (int i = 0; i < k->lvPrint->count(); ++i)
            if (k->lvPrint->item(i)->text() == text) {
                k->lvPrint->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
                return;
            }
        QFAIL(qPrintable(QStringLiteral("no item ") + text));
    }

    QStringList items(frmPrintKeyplan* k)
    {
        QStringList out;
        for (int i = 0; i < k->lvPrint->count(); ++i)
            out << k->lvPrint->item(i)->text();
        return out;
    }

private slots:
    void initTestCase() { RegisterReportsForms(); }

    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        FixtureSystem();
        m_tunnel = FixtureTunnel(QStringLiteral("North Bore"));
        m_id1 = FixturePeriod(m_tunnel, 2022);
        m_id2 = FixturePeriod(m_tunnel, 2024);
        m_panel = qint32(gConn.insertAutoNumber(
            QStringLiteral("Panels"),
            {{QStringLiteral("TunnelID"), m_tunnel}, {QStringLiteral("PanelNum"), 1},
             {QStringLiteral("PanelName"), QStringLiteral("P-7")}}));
        // A picture red above, blue below the middle, 900 x 400 pixels.
        QImage img(900, 400, QImage::Format_RGB32);
        img.fill(Qt::red);
        QPainter(&img).fillRect(0, 200, 900, 200, Qt::blue);
        m_picture = m_install->file(QStringLiteral("tunnel.png"));
        QVERIFY(img.save(m_picture));
        CurrentPrinter().setOutputFileName(m_install->file(QStringLiteral("out.pdf")));
    }

    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
        m_prompt.reset();
        m_install.reset();
    }

    void loadForm_listsTheSections_data()
    {
        QTest::addColumn<QString>("caller");
        QTest::addColumn<bool>("first");
        QTest::addColumn<bool>("second");
        QTest::addColumn<QStringList>("expected");
        const QStringList base{QStringLiteral("Tunnel Image"), QStringLiteral("Ratings")};
        const QStringList y22{QStringLiteral("Comments 2022"), QStringLiteral("Defect Quantity 2022")};
        const QStringList y24{QStringLiteral("Comments 2024"), QStringLiteral("Defect Quantity 2024")};
        const QStringList records{QStringLiteral("Repair Log"), QStringLiteral("Emergency Incidents"),
                                  QStringLiteral("Geology"), QStringLiteral("Ratings")};
        QTest::newRow("entry, current year only") << "frmDataInput" << false << true << base + y24;
        QTest::newRow("entry, comparing") << "frmDataInput" << true << true << base + y22 + y24;
        QTest::newRow("review, one period") << "frmDataView" << true << false << base + y22 + records;
        QTest::newRow("review, two periods") << "frmDataView" << true << true << base + y22 + y24 + records;
    }
    void loadForm_listsTheSections()
    {
        QFETCH(QString, caller);
        QFETCH(bool, first);
        QFETCH(bool, second);
        QFETCH(QStringList, expected);
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (1, 'Ratings'), (0, 'Geology')"));
        Caller c = makeCaller(caller, 2);
        frmPrintKeyplan* k = open(c, first ? m_id1 : 0, second ? m_id2 : 0);
        QCOMPARE(k->windowTitle(), QStringLiteral("Print Keyplan"));
        QCOMPARE(k->Label1->text(), QStringLiteral("North Bore"));
        QCOMPARE(items(k), expected);
        for (int i = 0; i < k->lvPrint->count(); ++i)
            QCOMPARE(k->lvPrint->item(i)->checkState(), Qt::Checked);
        QCOMPARE(k->Year1(), first ? 2022 : 0);
        QCOMPARE(k->Year2(), second ? 2024 : 0);
        QVERIFY(!k->isVisible());

        QTest::mouseClick(k->cmdUnselectAll, Qt::LeftButton);
        for (int i = 0; i < k->lvPrint->count(); ++i)
            QCOMPARE(k->lvPrint->item(i)->checkState(), Qt::Unchecked);
        QTest::mouseClick(k->cmdSelectAll, Qt::LeftButton);
        for (int i = 0; i < k->lvPrint->count(); ++i)
            QCOMPARE(k->lvPrint->item(i)->checkState(), Qt::Checked);
        QCOMPARE(m_prompt->calls.size(), 0);
    }

    // The rating entry window passes itself as a QWidget*, the review window as a QObject*.
    void loadForm_takesTheCallersArguments()
    {
        Caller c = makeCaller(QStringLiteral("frmDataInput"), 1);
        auto* k = new frmPrintKeyplan;
        DataInputCall(k, "LoadForm", {m_tunnel, 0, m_id2, QVariant::fromValue<QWidget*>(c.window.get())});
        QCOMPARE(k->CallerForm(), c.window.get());
        QCOMPARE(k->InspectionID2(), m_id2);
        QCOMPARE(items(k).size(), 4);
    }

    // The real rating entry and review windows open the printout with their print command,
    // and the sheet reads their controls.
    void callers_printCommandOpensTheSheet_data()
    {
        QTest::addColumn<QString>("caller");
        QTest::newRow("review") << "frmDataView";
        QTest::newRow("rating entry") << "frmDataInput";
    }
    void callers_printCommandOpensTheSheet()
    {
        QFETCH(QString, caller);
        QDir(m_install->folder()).mkpath(QStringLiteral("Data/North Bore/2022"));
        QDir(m_install->folder()).mkpath(QStringLiteral("Data/North Bore/2024"));
        QVERIFY(QFile::copy(m_picture, m_install->file(QStringLiteral("Data/North Bore/bore.png"))));
        gConn.exec(QStringLiteral("UPDATE Tunnels SET TunnelPicture = 'bore.png' WHERE TunnelID = ?"), {m_tunnel});
        int i = 1;
        for (const QPoint& p : {QPoint(1500, 1500), QPoint(4500, 1500), QPoint(4500, 4500), QPoint(1500, 4500)})
            gConn.exec(QStringLiteral("INSERT INTO PanelCoord (PanelID, CoordIndex, PanelX, PanelY) VALUES (?, ?, ?, ?)"),
                       {m_panel, i++, p.x(), p.y()});
        const qint32 category = qint32(gConn.insertAutoNumber(
            QStringLiteral("ElementCategory"),
            {{QStringLiteral("EleCategoryName"), QStringLiteral("Lining")}, {QStringLiteral("EleCategorySort"), 1}}));
        FixtureElement(1, QStringLiteral("Crown"), category);
        gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (?, 1)"), {m_panel});
        gConn.exec(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) VALUES (?, ?, 1, 7)"),
                   {m_id1, m_panel});
        gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) VALUES (?, ?, 1, 7, 1)"),
                   {m_id1, m_panel});

        QWidget* window = nullptr;
        QPushButton* print = nullptr;
        if (caller == QLatin1String("frmDataView")) {
            auto* v = frmDataView::Instance();
            v->LoadForm(m_tunnel, m_id1, 0);
            v->show();
            emit v->ZVMap1->PolyHit(m_panel, 0);
            window = v;
            print = v->cmdPrint;
        } else {
            auto* d = new frmDataInput;
            d->LoadForm(2022, m_tunnel);
            d->show();
            emit d->ZVMap1->PolyHit(m_panel, 0);
            window = d;
            print = d->cmdPrint;
        }
        QVERIFY(print->isEnabled());
        QStringList listed, printed;
        QTimer::singleShot(0, [&] {
            auto* k = qobject_cast<frmPrintKeyplan*>(LoadedForms().last());
            QVERIFY(k);
            QCOMPARE(k->CallerForm(), window);
            for (int n = 0; n < k->lvPrint->count(); ++n)
                listed << k->lvPrint->item(n)->text();
            preview(k);
            printed = Texts(k->LastOutput());
            k->close();
        });
        QTest::mouseClick(print, Qt::LeftButton);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPrintKeyplan")));
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(listed.mid(0, 4), (QStringList{QStringLiteral("Tunnel Image"), QStringLiteral("Ratings"),
                                                 QStringLiteral("Comments 2022"), QStringLiteral("Defect Quantity 2022")}));
        QCOMPARE(listed.contains(QStringLiteral("Repair Log")), caller == QLatin1String("frmDataView"));
        QVERIFY(printed.contains(QStringLiteral("P-7")));
        QVERIFY(printed.contains(QStringLiteral("Crown")));
        QVERIFY(printed.contains(QStringLiteral("7")));
        QVERIFY(printed.contains(QStringLiteral("2022")));
    }

    void loadForm_failureUnloadsAndIsNotShown()
    {
        Caller c = makeCaller(QStringLiteral("frmDataView"), 1);
        QPointer<frmPrintKeyplan> k = new frmPrintKeyplan;
        k->LoadForm(m_tunnel, 9999, 0, c.window.get());  // no such period
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error loading print dialog.")});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPrintKeyplan")));
        // The caller shows it modally next: that must not open an empty window.
        if (k)
            QCOMPARE(k->exec(), int(QDialog::Rejected));
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmPrintKeyplan-Error loading print dialog."));
    }

    void sheet_headerAndRatingsTable_data()
    {
        QTest::addColumn<int>("rows");
        QTest::newRow("odd number of elements") << 3;
        QTest::newRow("even number of elements") << 4;
    }
    void sheet_headerAndRatingsTable()
    {
        QFETCH(int, rows);
        Caller c = makeCaller(QStringLiteral("frmDataView"), rows);
        frmPrintKeyplan* k = open(c, m_id1, m_id2);
        preview(k);
        const QVector<PrintItem> out = k->LastOutput();
        const QSizeF page = PrinterPageSize(CurrentPrinter());
        const double sw = TwipsToPixels(page.width()) * 15.0;  // the preview page's width

        // Header: the date at the left edge in 11 point, the name centred in 14 point bold.
        const PrintItem date = Find(out, ShortDateText(QDate::currentDate())).value(0);
        QCOMPARE(date.fontSize, 11);
        QCOMPARE(date.rect.left(), 0.0);
        const PrintItem name = Find(out, QStringLiteral("North Bore")).value(0);
        QCOMPARE(name.fontSize, 14);
        QVERIFY(name.bold);
        QCOMPARE(name.fontName, QStringLiteral("Liberation Sans"));
        QCOMPARE(name.rect.left(), RoundHalfEven((sw - name.rect.width()) / 2));
        QCOMPARE(name.rect.top(), date.rect.top());

        const double mid = RoundHalfEven(sw / 2);
        const double x1 = RoundHalfEven(mid * 2 / 3), x2 = RoundHalfEven(mid * 5 / 3);
        const PrintItem title = Find(out, QStringLiteral("Ratings")).value(0);
        QVERIFY(title.bold && title.underline);
        QCOMPARE(title.fontSize, 10);

        // Headings: the panel at column 2, the years around each group's rating columns.
        const PrintItem panel = Find(out, QStringLiteral("P-7 Portal")).value(0);
        QCOMPARE(panel.fontSize, 9);
        QVERIFY(!panel.bold && !panel.underline);
        const QList<PrintItem> y1 = Find(out, QStringLiteral("2022")), y2 = Find(out, QStringLiteral("2024"));
        QCOMPARE(y1.size(), 2);
        QCOMPARE(y2.size(), 2);
        QCOMPARE(y1[0].rect.left(), x1 - kChar);
        QCOMPARE(y2[0].rect.left(), x1 + 4 * kChar);
        QCOMPARE(y1[1].rect.left(), x2 - kChar);
        QCOMPARE(y2[1].rect.left(), x2 + 4 * kChar);
        for (const PrintItem& it : y1 + y2)
            QCOMPARE(it.rect.top(), panel.rect.top());
        QVERIFY(Find(out, QStringLiteral("  UNPOSTED")).isEmpty());

        // Rows: two elements a line, even ones left, odd ones right.
        const double lineH = panel.rect.height();
        for (int i = 0; i < rows; ++i) {
            const PrintItem e = Find(out, QStringLiteral("Element %1").arg(i)).value(0);
            const bool left = i % 2 == 0;
            QCOMPARE(e.rect.left(), left ? 4 * kChar : mid);
            QCOMPARE(e.rect.top(), panel.rect.top() + lineH * (2 + i / 2));
            const PrintItem r1 = Find(out, QString::number(i)).value(0);
            const PrintItem r2 = Find(out, QString::number(i + 5)).value(0);
            QCOMPARE(r1.rect.left(), left ? x1 : x2);
            QCOMPARE(r2.rect.left(), (left ? x1 : x2) + 5 * kChar);
        }
        // Separators between the two rating columns, then the box.
        const QList<PrintItem> lines = OfKind(out, PrintItem::Line);
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[0].rect.left(), x1 + 3 * kChar);
        QCOMPARE(lines[1].rect.left(), x2 + 3 * kChar);
        const double yHeader = panel.rect.top();
        const double yRowsEnd = panel.rect.top() + lineH * (2 + (rows + 1) / 2 + (rows % 2 == 0 ? 1 : 0));
        QCOMPARE(lines[0].rect.top(), yHeader);
        QCOMPARE(lines[0].rect.bottom(), yRowsEnd);
        const double yTop = yHeader - lineH;
        const double yEnd = yRowsEnd + lineH;
        QCOMPARE(lines[2].rect, QRectF(QPointF(0, yTop), QPointF(sw - 100, yTop)));
        QCOMPARE(lines[3].rect, QRectF(QPointF(sw - 100, yTop), QPointF(sw - 100, yEnd)));
        QCOMPARE(lines[4].rect, QRectF(QPointF(sw - 100, yEnd), QPointF(0, yEnd)));
        QCOMPARE(lines[5].rect, QRectF(QPointF(0, yEnd), QPointF(0, yTop)));
        for (const PrintItem& l : lines)
            QCOMPARE(l.color, QColor(Qt::black));
    }

    void sheet_entryWithoutComparison()
    {
        Caller c = makeCaller(QStringLiteral("frmDataInput"), 2);
        frmPrintKeyplan* k = open(c, 0, m_id2);
        preview(k);
        const QVector<PrintItem> out = k->LastOutput();
        // Only the rating being entered, and no separator lines: the box alone.
        QVERIFY(Find(out, QStringLiteral("0")).isEmpty());
        QVERIFY(Find(out, QStringLiteral("2022")).isEmpty());
        QCOMPARE(Find(out, QStringLiteral("5")).size(), 1);
        QCOMPARE(Find(out, QStringLiteral("2024")).size(), 2);
        QCOMPARE(OfKind(out, PrintItem::Line).size(), 4);
        QCOMPARE(Texts(out).filter(QStringLiteral("Comments")), QStringList{QStringLiteral("Comments 2024")});
        QVERIFY(!Texts(out).contains(QStringLiteral("Repair Log")));
    }

    void sheet_unpostedMark_data()
    {
        QTest::addColumn<QString>("caller");
        QTest::addColumn<int>("posted");
        QTest::addColumn<int>("marks");
        QTest::newRow("entry, unposted rating") << "frmDataInput" << 0 << 2;
        QTest::newRow("entry, all posted") << "frmDataInput" << 1 << 0;
        QTest::newRow("review, unposted rating") << "frmDataView" << 0 << 0;
    }
    void sheet_unpostedMark()
    {
        QFETCH(QString, caller);
        QFETCH(int, posted);
        QFETCH(int, marks);
        gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) VALUES (?, ?, 1, 4, 1)"),
                   {m_id2, m_panel});
        gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) VALUES (?, ?, 2, 6, ?)"),
                   {m_id2, m_panel, posted});
        Caller c = makeCaller(caller, 2);
        frmPrintKeyplan* k = open(c, m_id1, m_id2);
        preview(k);
        const QVector<PrintItem> out = k->LastOutput();
        const QList<PrintItem> found = Find(out, QStringLiteral("  UNPOSTED"));
        QCOMPARE(found.size(), marks);
        const QList<PrintItem> years = Find(out, QStringLiteral("2024"));
        for (int m = 0; m < found.size(); ++m) {
            QCOMPARE(found[m].fontName, QStringLiteral("Liberation Sans Narrow"));
            QVERIFY(found[m].bold);
            QCOMPARE(found[m].rect.top(), years[m].rect.top() - 50);
            QCOMPARE(found[m].rect.left(), years[m].rect.right());
        }
        // Back to the plain face afterwards.
        const PrintItem row = Find(out, QStringLiteral("Element 0")).value(0);
        QCOMPARE(row.fontName, QStringLiteral("Liberation Sans"));
        QVERIFY(!row.bold);
    }

    // On A4 the right-hand "UNPOSTED" mark stays inside the ratings box, in the faces the
    // set-up installs (fonts-liberation).
    void sheet_unpostedMarkFitsTheBoxOnA4()
    {
        QVERIFY2(QFontDatabase::hasFamily(QStringLiteral("Liberation Sans Narrow")),
                 "fonts-liberation is not installed (scripts/setup.sh installs it)");
        const QPageSize before = CurrentPrinter().pageLayout().pageSize();
        CurrentPrinter().setPageSize(QPageSize(QPageSize::A4));
        const auto restore = qScopeGuard([before] { CurrentPrinter().setPageSize(before); });
        gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) VALUES (?, ?, 1, 4, 0)"),
                   {m_id2, m_panel});
        Caller c = makeCaller(QStringLiteral("frmDataInput"), 2);
        frmPrintKeyplan* k = open(c, m_id1, m_id2);
        preview(k);
        const QVector<PrintItem> out = k->LastOutput();
        const QList<PrintItem> marks = Find(out, QStringLiteral("  UNPOSTED"));
        QCOMPARE(marks.size(), 2);
        double boxRight = 0;
        for (const PrintItem& line : OfKind(out, PrintItem::Line))
            boxRight = std::max({boxRight, line.rect.left(), line.rect.right()});
        QVERIFY2(marks[1].rect.right() <= boxRight,
                 qPrintable(QStringLiteral("mark ends at %1, box at %2").arg(marks[1].rect.right()).arg(boxRight)));
    }

    // Long names of every kind (tunnel, panel, element, tab) and long texts wrap or stay short of their neighbours:
    // nothing runs over another text or past the page's right edge, in the preview and on paper.
    void sheet_longNamesStayOnThePage_data()
    {
        QTest::addColumn<QString>("caller");
        QTest::addColumn<bool>("onPaper");
        QTest::addColumn<bool>("a4");
        for (const char* caller : {"frmDataInput", "frmDataView"})
            for (bool paper : {false, true})
                for (bool a4 : {false, true})
                    QTest::addRow("%s, %s, %s", caller, paper ? "paper" : "preview", a4 ? "A4" : "Letter")
                        << caller << paper << a4;
    }
    void sheet_longNamesStayOnThePage()
    {
        QFETCH(QString, caller);
        QFETCH(bool, onPaper);
        QFETCH(bool, a4);
        const QPageSize before = CurrentPrinter().pageLayout().pageSize();
        CurrentPrinter().setPageSize(QPageSize(a4 ? QPageSize::A4 : QPageSize::Letter));
        const auto restore = qScopeGuard([before] { CurrentPrinter().setPageSize(before); });
        gConn.exec(QStringLiteral("UPDATE Tunnels SET TunnelName = ? WHERE TunnelID = ?"),
                   {LongName(QStringLiteral("Tunnel"), 287), m_tunnel});
        const QString unbroken = QStringLiteral("X").repeated(150);  // one word wider than any column
        gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) VALUES (?, ?, 1, 4, 0)"),
                   {m_id2, m_panel});
        for (qint32 insp : {m_id1, m_id2}) {
            gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments) VALUES (?, ?, ?)"),
                       {insp, m_panel, LongName(QStringLiteral("Comment"), 600) + QLatin1Char(' ') + unbroken});
            gConn.exec(QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Quantity, Units, UnitCost, "
                                      "TotalCost, Description) VALUES (?, ?, 123456789.5, ?, 1234567890.12, 9876543210.99, ?)"),
                       {m_panel, insp, LongName(QStringLiteral("Units"), 60), LongName(QStringLiteral("Defect"), 287)});
            gConn.exec(QStringLiteral("INSERT INTO DefectQuantityPosted (ID, PanelID, InspectionID, Quantity, Units, "
                                      "UnitCost, TotalCost, Description) VALUES (?, ?, ?, 123456789.5, ?, 1234567890.12, "
                                      "9876543210.99, ?)"),
                       {insp, m_panel, insp, LongName(QStringLiteral("Units"), 60), unbroken});
        }
        gConn.exec(QStringLiteral("INSERT INTO RepairLogs (PanelID, RepairDate, RepairLog) VALUES (?, '2023-05-02', ?)"),
                   {m_panel, LongName(QStringLiteral("Repair"), 400)});
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (0, ?)"),
                   {LongName(QStringLiteral("Tab"), 200)});
        gConn.exec(QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (1, ?, ?)"),
                   {m_panel, LongName(QStringLiteral("Data"), 500)});

        Caller c = makeCaller(caller, 5);
        c.panel->setText(LongName(QStringLiteral("Panel"), 287));
        c.elements[0]->setText(LongName(QStringLiteral("Element"), 120));
        c.elements[1]->setText(QStringLiteral("Longitudinal Drain Channel Grating 1"));
        c.elements[3]->setText(unbroken);
        frmPrintKeyplan* k = open(c, m_id1, m_id2);

        QVector<PrintItem> out;
        double right = 0;
        if (onPaper) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(m_install->file(QStringLiteral("long.pdf")));
            printer.setPageSize(QPageSize(a4 ? QPageSize::A4 : QPageSize::Letter));
            KeyplanTarget target(&printer);
            k->OutputRun(target);
            target.EndDoc();
            out = target.Items();
            right = target.ScaleWidth();
            QVERIFY(target.PageCount() >= 2);
            if (!qEnvironmentVariableIsEmpty("KRV_KEEP_SHEETS"))
                QFile::copy(printer.outputFileName(),
                            qEnvironmentVariable("KRV_KEEP_SHEETS") + QStringLiteral("/keyplan-%1-%2.pdf").arg(caller, a4 ? "A4" : "Letter"));
        } else {
            preview(k);
            out = k->LastOutput();
            right = TwipsToPixels(PrinterPageSize(CurrentPrinter()).width()) * 15.0;
        }
        const QStringList faults = SheetFaults(out, right - 100);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.mid(0, 8).join(QLatin1Char('\n'))));
        // Nothing is lost: every word of the panel's name is printed, the long word in pieces.
        const QStringList texts = Texts(out);
        QVERIFY(texts.join(QLatin1Char(' ')).contains(QStringLiteral("Panel Longitudinal Drain")));
        QVERIFY(texts.contains(QStringLiteral("Longitudinal Drain Channel Grating 1")));
        QVERIFY(texts.join(QString()).contains(unbroken));
        // Numbers and amounts are never broken.
        QVERIFY(texts.contains(QStringLiteral("123456789.5")));
        QVERIFY(texts.contains(QStringLiteral("$1234567890.12")));
        QVERIFY(texts.contains(QStringLiteral("$9876543210.99")));
        QCOMPARE(Find(out, QStringLiteral("  UNPOSTED")).size(), caller == QLatin1String("frmDataInput") ? 2 : 0);
    }

    void sheet_hiddenFirstElementHasNoRowsOrBox()
    {
        Caller c = makeCaller(QStringLiteral("frmDataView"), 0);
        frmPrintKeyplan* k = open(c, m_id1, m_id2);
        preview(k);
        const QVector<PrintItem> out = k->LastOutput();
        QVERIFY(Find(out, QStringLiteral("Element 0")).isEmpty());
        QVERIFY(OfKind(out, PrintItem::Line).isEmpty());
        const PrintItem panel = Find(out, QStringLiteral("P-7 Portal")).value(0);
        const PrintItem next = Find(out, QStringLiteral("Comments 2022")).value(0);
        // Heading line, one empty line, three empty lines (9 point), then the next title.
        QCOMPARE(next.rect.top(), panel.rect.top() + 5 * panel.rect.height());
    }

    void sheet_sectionsWithoutDataPrintNone()
    {
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (0, 'Geology')"));
        Caller c = makeCaller(QStringLiteral("frmDataView"), 1);
        frmPrintKeyplan* k = open(c, m_id1, m_id2);
        preview(k);
        const QStringList texts = Texts(k->LastOutput());
        // Two comments, two defect lists, repair log, emergencies, one tab.
        QCOMPARE(texts.count(QStringLiteral("NONE")), 7);
        const QStringList titles{QStringLiteral("Ratings"), QStringLiteral("Comments 2022"),
                                 QStringLiteral("Defect Quantity 2022"), QStringLiteral("Comments 2024"),
                                 QStringLiteral("Defect Quantity 2024"), QStringLiteral("Repair Log"),
                                 QStringLiteral("Emergency Incidents"), QStringLiteral("Geology")};
        int last = -1;
        for (const QString& t : titles) {
            const int at = texts.indexOf(t);
            QVERIFY2(at > last, qPrintable(t));
            last = at;
        }
    }

    void sheet_sectionsWithData()
    {
        gConn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments) VALUES (?, ?, ?)"),
                   {m_id1, m_panel, QStringLiteral("Spalling at the crown.\r\nDrain blocked.")});
        gConn.exec(QStringLiteral("INSERT INTO DefectQuantity (PanelID, InspectionID, Quantity, Units, UnitCost, TotalCost, "
                                  "Description) VALUES (?, ?, 3, 'SF', 12.5, 37.5, NULL)"),
                   {m_panel, m_id1});
        gConn.exec(QStringLiteral("INSERT INTO DefectQuantityPosted (ID, PanelID, InspectionID, Quantity, Units, UnitCost, "
                                  "TotalCost, Description) VALUES (1, ?, ?, 2.5, 'LF', 4, 10, 'Crack')"),
                   {m_panel, m_id1});
        gConn.exec(QStringLiteral("INSERT INTO RepairLogs (PanelID, RepairDate, RepairLog) VALUES (?, '2023-05-02', 'Sealed'), "
                                  "(?, '2021-01-09', 'Patched')"),
                   {m_panel, m_panel});
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (0, 'Geology')"));
        gConn.exec(QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (1, ?, 'Granite')"), {m_panel});

        // The review window prints the posted defects, rating entry the working ones.
        for (const QString& name : {QStringLiteral("frmDataView"), QStringLiteral("frmDataInput")}) {
            Caller c = makeCaller(name, 1);
            frmPrintKeyplan* k = open(c, m_id1, m_id2);
            preview(k);
            const QVector<PrintItem> out = k->LastOutput();
            const QStringList texts = Texts(out);
            const PrintItem l1 = Find(out, QStringLiteral("Spalling at the crown.")).value(0);
            const PrintItem l2 = Find(out, QStringLiteral("Drain blocked.")).value(0);
            QCOMPARE(l2.rect.top(), l1.rect.top() + l1.rect.height());
            QCOMPARE(l2.rect.left(), 0.0);

            const PrintItem head = Find(out, QStringLiteral("Description")).value(0);
            QVERIFY(head.underline && !head.bold);
            const double col = head.rect.left() / 4;  // column 5 starts four characters in
            QVERIFY(col > 0);
            const QStringList heads{QStringLiteral("Quantity"), QStringLiteral("Units"), QStringLiteral("Unit Cost"),
                                    QStringLiteral("Total Cost")};
            const int columns[] = {35, 45, 55, 70};
            for (int h = 0; h < 4; ++h)
                QCOMPARE(Find(out, heads[h]).value(0).rect.left(), col * (columns[h] - 1));
            if (name == QLatin1String("frmDataView")) {
                QVERIFY(texts.contains(QStringLiteral("Crack")));
                const PrintItem cost = Find(out, QStringLiteral("$4")).value(0);
                QVERIFY(!cost.underline);
                QCOMPARE(cost.rect.left(), col * 54);
                QVERIFY(texts.contains(QStringLiteral("$10")));
                QVERIFY(texts.contains(QStringLiteral("2.5")));
                // Repair log in date order, the date bold.
                const PrintItem older = Find(out, ShortDateText(QDate(2021, 1, 9))).value(0);
                const PrintItem newer = Find(out, ShortDateText(QDate(2023, 5, 2))).value(0);
                QVERIFY(older.bold);
                QVERIFY(older.rect.top() < newer.rect.top());
                const PrintItem patched = Find(out, QStringLiteral(" - Patched")).value(0);
                QVERIFY(!patched.bold);
                QCOMPARE(patched.rect.left(), older.rect.right());
                QVERIFY(texts.contains(QStringLiteral("Granite")));
            } else {
                QVERIFY(texts.contains(QStringLiteral("$12.5")));
                QVERIFY(texts.contains(QStringLiteral("$37.5")));
                QVERIFY(texts.contains(QStringLiteral("3")));
                QVERIFY(!texts.contains(QStringLiteral("Crack")));
                QVERIFY(!texts.contains(QStringLiteral("Repair Log")));
                QVERIFY(!texts.contains(QStringLiteral("Granite")));
            }
            k->Unload();
        }
    }

    // A section follows the first item of its text; an unchecked one is left out.
    void sheet_checkedSectionsOnly()
    {
        gConn.exec(QStringLiteral("INSERT INTO TabDefinitions (TabIndex, TabCaption) VALUES (0, 'Ratings')"));
        gConn.exec(QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (1, ?, 'Tab text')"), {m_panel});
        Caller c = makeCaller(QStringLiteral("frmDataView"), 1);
        frmPrintKeyplan* k = open(c, m_id1, 0);
        QCOMPARE(items(k).count(QStringLiteral("Ratings")), 2);
        setChecked(k, QStringLiteral("Comments 2022"), false);
        k->lvPrint->item(k->lvPrint->count() - 1)->setCheckState(Qt::Unchecked);  // the tab's own item
        preview(k);
        QStringList texts = Texts(k->LastOutput());
        QVERIFY(!texts.contains(QStringLiteral("Comments 2022")));
        QVERIFY(texts.contains(QStringLiteral("Defect Quantity 2022")));
        QCOMPARE(texts.count(QStringLiteral("Ratings")), 2);  // the table and the tab
        QVERIFY(texts.contains(QStringLiteral("Tab text")));

        setChecked(k, QStringLiteral("Ratings"), false);
        k->lvPrint->item(k->lvPrint->count() - 1)->setCheckState(Qt::Checked);
        preview(k);
        texts = Texts(k->LastOutput());
        QVERIFY(!texts.contains(QStringLiteral("Ratings")));
        QVERIFY(!texts.contains(QStringLiteral("Tab text")));
    }

    void sheet_tunnelImageStrip()
    {
        Caller c = makeCaller(QStringLiteral("frmDataView"), 1);
        c.map->Zoom(50);
        float sx = 0, sy = 0;
        qint32 pw = 0, ph = 0;
        c.map->PicCoordinates(sx, sy, pw, ph);
        QVERIFY(ph > 0);
        frmPrintKeyplan* k = open(c, m_id1, 0);
        QImage page;
        preview(k, [&](frmPrintPreview* p) { page = p->pic->image().copy(); });
        const QVector<PrintItem> out = k->LastOutput();
        const QList<PrintItem> pics = OfKind(out, PrintItem::Picture);
        QCOMPARE(pics.size(), 1);
        QCOMPARE(pics[0].rect, QRectF(0, 1200, page.width() * 15.0, ph));
        QCOMPARE(Find(out, QStringLiteral("Ratings")).value(0).rect.top(), double(ph + 1800));
        // Unscaled: picture pixel (x, y) lands at page pixel (x, 80 + y).
        QCOMPARE(page.pixelColor(10, 80 + 5), QColor(Qt::red));
        if (ph / 15 > 210)
            QCOMPARE(page.pixelColor(10, 80 + 205), QColor(Qt::blue));
        // Right of the picture's end the page stays white.
        QCOMPARE(page.pixelColor(page.width() - 2, 85), page.width() > 900 ? QColor(Qt::white) : QColor(Qt::red));

        // Without the image the sections follow the header directly.
        setChecked(k, QStringLiteral("Tunnel Image"), false);
        preview(k);
        const QVector<PrintItem> plain = k->LastOutput();
        QVERIFY(OfKind(plain, PrintItem::Picture).isEmpty());
        const PrintItem name = Find(plain, QStringLiteral("North Bore")).value(0);
        QCOMPARE(Find(plain, QStringLiteral("Ratings")).value(0).rect.top(), name.rect.bottom() + 2 * name.rect.height());
    }

    // A tunnel picture the map holds scaled down (beyond its decode limit) prints the same strip,
    // at its natural size: the red half above picture row 200, the blue one below.
    void sheet_tunnelImageStripOfAPictureHeldScaledDown()
    {
        Caller c = makeCaller(QStringLiteral("frmDataView"), 1);
        c.map->setDecodeLimit(900 * 400 / 4);
        c.map->setImage(m_picture);
        QCOMPARE(c.map->Picture().size(), QSize(450, 200));
        QCOMPARE(c.map->PictureSize(), QSize(900, 400));
        c.map->Zoom(100);
        frmPrintKeyplan* k = open(c, m_id1, 0);
        QImage page;
        preview(k, [&](frmPrintPreview* p) { page = p->pic->image().copy(); });
        float sx = 0, sy = 0;
        qint32 pw = 0, ph = 0;
        c.map->PicCoordinates(sx, sy, pw, ph);
        QVERIFY(ph / 15 > 210);
        for (const int x : {10, 500})
            if (x < page.width() - 2) {
                QCOMPARE(page.pixelColor(x, 80 + 5), QColor(Qt::red));
                QCOMPARE(page.pixelColor(x, 80 + 195), QColor(Qt::red));
                QCOMPARE(page.pixelColor(x, 80 + 205), QColor(Qt::blue));
            }
    }

    void preview_showsThePageAndCanRepeat()
    {
        Caller c = makeCaller(QStringLiteral("frmDataView"), 2);
        frmPrintKeyplan* k = open(c, m_id1, m_id2);
        const QSizeF pageTw = PrinterPageSize(CurrentPrinter());
        QImage first;
        preview(k, [&](frmPrintPreview* p) {
            QVERIFY(p->isModal() || p->windowModality() != Qt::NonModal);
            QCOMPARE(p->windowTitle(), QStringLiteral("Print Preview"));
            QCOMPARE(p->pic->size(), QSize(TwipsToPixels(pageTw.width()), TwipsToPixels(pageTw.height())));
            first = p->pic->image().copy();
        });
        // The box's left edge is a black line at x 0; the bottom of the page is blank.
        const PrintItem top = OfKind(k->LastOutput(), PrintItem::Line).value(2);
        QCOMPARE(first.pixelColor(0, TwipsToPixels(top.rect.top()) + 3), QColor(Qt::black));
        QCOMPARE(first.pixelColor(first.width() / 2, first.height() - 3), QColor(Qt::white));
        QVERIFY(IsFormLoaded(QStringLiteral("frmPrintKeyplan")));

        // Again, with fewer sections: the page is cleared and drawn anew.
        QTest::mouseClick(k->cmdUnselectAll, Qt::LeftButton);
        QImage second;
        preview(k, [&](frmPrintPreview* p) { second = p->pic->image().copy(); });
        QCOMPARE(second.pixelColor(0, TwipsToPixels(top.rect.top()) + 3), QColor(Qt::white));
        QCOMPARE(Texts(k->LastOutput()), (QStringList{ShortDateText(QDate::currentDate()), QStringLiteral("North Bore")}));
        QCOMPARE(m_prompt->calls.size(), 0);

        // The key plan's unload takes a loaded preview with it.
        auto* p = new frmPrintPreview;
        Q_UNUSED(p);
        QVERIFY(IsFormLoaded(QStringLiteral("frmPrintPreview")));
        QTest::mouseClick(k->cmdCancel, Qt::LeftButton);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPrintKeyplan")));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPrintPreview")));
    }

    // A caller that went away while the printout was open: the run fails, nothing crashes.
    void preview_failureIsLoggedAndUnloads()
    {
        Caller c = makeCaller(QStringLiteral("frmDataView"), 1);
        QPointer<frmPrintKeyplan> k = open(c, m_id1, m_id2);
        c.window.reset();
        QTest::mouseClick(k->cmdPreview, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error: Unable to preview Keyplan")});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPrintKeyplan")));
    }

    void print_toPdf()
    {
        const QString pdf = m_install->file(QStringLiteral("sheet.pdf"));
        CurrentPrinter().setOutputFileName(pdf);
        Caller c = makeCaller(QStringLiteral("frmDataView"), 3);
        QPointer<frmPrintKeyplan> k = open(c, m_id1, m_id2);
        m_prompt->answers.enqueue(true);
        QTest::mouseClick(k->cmdPrint, Qt::LeftButton);
        QCOMPARE(m_prompt->count(PromptCall::Print), 1);
        QCOMPARE(m_prompt->messages(), QStringList());
        QCOMPARE(PdfPages(pdf), 1);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPrintKeyplan")));
        QCOMPARE(CurrentPrinter().outputFileName(), pdf);
    }

    // On paper, text that passes the bottom continues on a new page; the preview is one page.
    void print_longSheetContinuesOnNewPages()
    {
        for (int i = 0; i < 80; ++i)
            gConn.exec(QStringLiteral("INSERT INTO RepairLogs (PanelID, RepairDate, RepairLog) VALUES (?, ?, ?)"),
                       {m_panel, QDate(2000, 1, 1).addDays(i), QStringLiteral("Repair %1").arg(i)});
        const QString pdf = m_install->file(QStringLiteral("long.pdf"));
        CurrentPrinter().setOutputFileName(pdf);
        Caller c = makeCaller(QStringLiteral("frmDataView"), 1);
        frmPrintKeyplan* k = open(c, m_id1, m_id2);
        preview(k);
        QVERIFY(OfKind(k->LastOutput(), PrintItem::NewPage).isEmpty());
        m_prompt->answers.enqueue(true);
        QTest::mouseClick(k->cmdPrint, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList());
        const int pages = PdfPages(pdf);
        QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));
    }

    void print_cancelLeavesTheWindowAsItWas()
    {
        const QString pdf = m_install->file(QStringLiteral("never.pdf"));
        CurrentPrinter().setOutputFileName(pdf);
        Caller c = makeCaller(QStringLiteral("frmDataView"), 1);
        frmPrintKeyplan* k = open(c, m_id1, m_id2);
        setChecked(k, QStringLiteral("Ratings"), false);
        m_prompt->answers.enqueue(false);
        QTest::mouseClick(k->cmdPrint, Qt::LeftButton);
        QVERIFY(!QFile::exists(pdf));
        QVERIFY(IsFormLoaded(QStringLiteral("frmPrintKeyplan")));
        QCOMPARE(k->lvPrint->item(1)->checkState(), Qt::Unchecked);
        QCOMPARE(k->lvPrint->item(0)->checkState(), Qt::Checked);
        QCOMPARE(m_prompt->messages(), QStringList());
    }

    void print_withNothingCheckedPrintsTheHeader()
    {
        const QString pdf = m_install->file(QStringLiteral("header.pdf"));
        CurrentPrinter().setOutputFileName(pdf);
        Caller c = makeCaller(QStringLiteral("frmDataView"), 1);
        frmPrintKeyplan* k = open(c, m_id1, m_id2);
        QTest::mouseClick(k->cmdUnselectAll, Qt::LeftButton);
        m_prompt->answers.enqueue(true);
        QTest::mouseClick(k->cmdPrint, Qt::LeftButton);
        QCOMPARE(PdfPages(pdf), 1);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPrintKeyplan")));
    }

    // A file the printer cannot write (a missing folder; a full disk with room for 95 % of the
    // sheet, through the write seam) is told with its reason; the old file stays whole and no cut
    // file is left beside it.
    void print_fileNotWritten_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder") << "no/such/folder/out.pdf" << "the folder does not exist";
        QTest::newRow("full disk") << "sheet.pdf" << "the disk is full";
    }
    void print_fileNotWritten()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const QString pdf = m_install->file(name);
        CurrentPrinter().setOutputFileName(pdf);
        qint64 size = 0;
        if (reason == "the disk is full") {
            Caller once = makeCaller(QStringLiteral("frmDataView"), 3);
            frmPrintKeyplan* first = open(once, m_id1, m_id2);
            m_prompt->answers.enqueue(true);
            QTest::mouseClick(first->cmdPrint, Qt::LeftButton);
            size = QFileInfo(pdf).size();
            QVERIFY(size > 0);
            m_install->write(name, "the old sheet");
        }
        const QString folder = QFileInfo(pdf).absolutePath();
        const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        Caller c = makeCaller(QStringLiteral("frmDataView"), 3);
        frmPrintKeyplan* k = open(c, m_id1, m_id2);
        m_prompt->answers.enqueue(true);
        {
            WriteFault fault(QStringLiteral("sheet.pdf"), size * 95 / 100);
            QTest::mouseClick(k->cmdPrint, Qt::LeftButton);
        }
        QCOMPARE(m_prompt->messages(), QStringList{"Error: Unable to print Keyplan\nThe file " + pdf +
                                                   " could not be written: " + reason + "."});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmPrintKeyplan")));
        QCOMPARE(QDir(folder).entryList({QFileInfo(pdf).fileName() + "*"}, QDir::Files | QDir::Hidden),
                 before.filter(QFileInfo(pdf).fileName()));
        if (size > 0)
            QCOMPARE(m_install->read(name), QByteArray("the old sheet"));
        QCOMPARE(CurrentPrinter().outputFileName(), pdf);
    }
};

QTEST_MAIN(tst_keyplan)
#include "tst_keyplan.moc"
