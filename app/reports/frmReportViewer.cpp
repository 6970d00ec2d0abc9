#include "frmReportViewer.h"

#include "frmPrintKeyplanTarget.h"
#include "helpers.h"
#include "krverror.h"
#include "modkrv.h"
#include "prompt.h"
#include "reportprogress.h"
#include "savefile.h"
#include "uihelpers.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QWindow>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString kSource = QStringLiteral("frmReportViewer");

// The kind and the report outlive the window: the next showing sees them until a caller
// gives new ones.
struct ViewerState {
    QString kind;
    std::shared_ptr<Report> report;
};

ViewerState& State()
{
    static ViewerState state;
    return state;
}

const int kZooms[] = {25, 50, 75, 100, 125, 150, 200, 300};

}  // namespace

// ------------------------------------------------------------------ page view

ReportPageView::ReportPageView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pageView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ReportPageView::setPage(const Report* report, const LaidPage* page, int zoomPercent)
{
    m_report = report;
    m_page = page;
    m_zoom = zoomPercent;
    QSize size(1, 1);
    if (report) {
        const QSizeF paper = report->paperSize();
        const double scale = zoomPercent / 100.0 / kTwipsPerPixel;
        size = QSize(int(std::lround(paper.width() * scale)), int(std::lround(paper.height() * scale)));
    }
    resize(size);
    update();
}

void ReportPageView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (!m_report || !m_page)
        return;
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    PaintPage(*m_report, *m_page, p, m_zoom / 100.0 / kTwipsPerPixel);
}

// ------------------------------------------------------------------ window

frmReportViewer::frmReportViewer(QWidget* parent) : KrvForm<QDialog>(kSource, parent)
{
    setWindowTitle(QStringLiteral("Corvane Quorrel Report"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);

    menuBar = new QMenuBar(this);
    mnuPrinter = menuBar->addMenu(QStringLiteral("Printer"));
    mnuPrinter->setObjectName(QStringLiteral("mnuPrinter"));
    mnuSelect = mnuPrinter->addAction(QStringLiteral("Select Printer"));
    mnuSelect->setObjectName(QStringLiteral("mnuSelect"));
    connect(mnuSelect, &QAction::triggered, this, &frmReportViewer::mnuSelect_Click);

    auto tool = [this](const QString& text, const QString& tip, const char* name) {
        auto* b = new QToolButton(this);
        b->setText(text);
        b->setToolTip(tip);
        b->setObjectName(QLatin1String(name));
        b->setAutoRaise(true);
        return b;
    };
    cmdFirst = tool(QStringLiteral("|<"), QStringLiteral("First Page"), "cmdFirst");
    cmdPrev = tool(QStringLiteral("<"), QStringLiteral("Previous Page"), "cmdPrev");
    cmdNext = tool(QStringLiteral(">"), QStringLiteral("Next Page"), "cmdNext");
    cmdLast = tool(QStringLiteral(">|"), QStringLiteral("Last Page"), "cmdLast");
    lblPage = new QLabel(this);
    lblPage->setObjectName(QStringLiteral("lblPage"));
    lblPage->setMinimumWidth(110);
    lblPage->setAlignment(Qt::AlignCenter);
    cboZoom = new QComboBox(this);
    cboZoom->setObjectName(QStringLiteral("cboZoom"));
    for (int z : kZooms)
        cboZoom->addItem(QStringLiteral("%1%").arg(z), z);
    cboZoom->addItem(QStringLiteral("Page Width"), -1);
    cboZoom->addItem(QStringLiteral("Whole Page"), -2);
    cboZoom->setToolTip(QStringLiteral("Zoom"));
    cmdPrint = tool(QStringLiteral("Print..."), QStringLiteral("Print Report"), "cmdPrint");
    cmdExport = tool(QStringLiteral("Export PDF..."), QStringLiteral("Export Report to a PDF File"), "cmdExport");

    CRViewer1 = new QScrollArea(this);
    CRViewer1->setObjectName(QStringLiteral("CRViewer1"));
    CRViewer1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    CRViewer1->setBackgroundRole(QPalette::Dark);
    pageView = new ReportPageView;
    CRViewer1->setWidget(pageView);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 2);
    for (QWidget* w : {static_cast<QWidget*>(cmdFirst), static_cast<QWidget*>(cmdPrev),
                       static_cast<QWidget*>(lblPage), static_cast<QWidget*>(cmdNext),
                       static_cast<QWidget*>(cmdLast), static_cast<QWidget*>(cboZoom),
                       static_cast<QWidget*>(cmdPrint), static_cast<QWidget*>(cmdExport)})
        bar->addWidget(w);
    bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar);
    layout->addLayout(bar);
    layout->addWidget(CRViewer1, 1);

    connect(cmdFirst, &QToolButton::clicked, this, [this] { ShowPage(1); });
    connect(cmdPrev, &QToolButton::clicked, this, [this] { ShowPage(CurrentPage() - 1); });
    connect(cmdNext, &QToolButton::clicked, this, [this] { ShowPage(CurrentPage() + 1); });
    connect(cmdLast, &QToolButton::clicked, this, [this] { ShowPage(PageCount()); });
    connect(cboZoom, &QComboBox::activated, this, [this](int i) {
        const int z = cboZoom->itemData(i).toInt();
        if (z > 0) {
            SetZoom(z);
            return;
        }
        const QSizeF paper = State().report ? State().report->paperSize() : QSizeF(12240, 15840);
        const QSize room = CRViewer1->viewport()->size() - QSize(4, 4);
        const double byWidth = room.width() * kTwipsPerPixel * 100.0 / paper.width();
        const double byHeight = room.height() * kTwipsPerPixel * 100.0 / paper.height();
        SetZoom(int(z == -1 ? byWidth : std::min(byWidth, byHeight)));
    });
    connect(cmdPrint, &QToolButton::clicked, this, &frmReportViewer::cmdPrint_Click);
    connect(cmdExport, &QToolButton::clicked, this, &frmReportViewer::cmdExport_Click);

    Form_Load();
    if (State().report)
        Refresh();
    else
        updatePage();
}

void frmReportViewer::Form_Load()
{
    // Top left of the screen, as wide as it and 500 twips less high, frame included: before
    // the window system has framed the window a usual frame is assumed.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
        if (frame.isNull())
            frame = QMargins(4, 30, 4, 4);
        move(avail.topLeft());
        resize(avail.width() - frame.left() - frame.right(),
               std::max(200, avail.height() - TwipsToPixels(500) - frame.top() - frame.bottom()));
    }
    SetZoom(100);
}

void frmReportViewer::GetReportType(const QString& kind)
{
    State().kind = kind;
}

bool frmReportViewer::SetReport(std::shared_ptr<Report> report)
{
    State().report = std::move(report);
    m_current = 0;
    return Refresh(true);
}

void frmReportViewer::ClearReport()
{
    State().report.reset();
}

QString frmReportViewer::ReportType()
{
    return State().kind;
}

std::shared_ptr<Report> frmReportViewer::CurrentReport()
{
    return State().report;
}

namespace {

// Pages laid out together when the one shown is not among those kept.
constexpr int kPagesKept = 8;

}  // namespace

bool frmReportViewer::Refresh(bool cancellable)
{
    const int keep = m_current;
    m_layout.reset();
    m_kept.clear();
    m_pageCount = 0;
    bool counted = true;
    if (const std::shared_ptr<Report> report = State().report) {
        m_layout = std::make_unique<ReportLayout>(*report);
        try {
            ReportWork work(QStringLiteral("Laying out the report..."));
            if (cancellable)
                m_layout->setPageWatcher([&work](int page) { work.stepTo(page); });
            m_pageCount = m_layout->pageCount();
        } catch (const ReportCancelled&) {
            State().report.reset();
            m_layout.reset();
            counted = false;
        }
        if (m_layout)
            m_layout->setPageWatcher({});
    }
    m_current = m_pageCount == 0 ? -1 : std::clamp(keep, 0, m_pageCount - 1);
    updatePage();
    return counted;
}

QVector<LaidPage> frmReportViewer::Pages() const
{
    const std::shared_ptr<Report> report = State().report;
    return report ? ReportLayout(*report).allPages() : QVector<LaidPage>();
}

const LaidPage& frmReportViewer::laidPage(int number)
{
    for (const LaidPage& p : m_kept)
        if (p.number == number)
            return p;
    // Going back, the pages before this one are the likely next; else those after it.
    const bool back = !m_kept.isEmpty() && number < m_kept.first().number;
    const int first = back ? std::max(1, number - kPagesKept + 1) : number;
    m_kept = m_layout->pages(first, first + kPagesKept - 1);
    for (const LaidPage& p : m_kept)
        if (p.number == number)
            return p;
    static const LaidPage blank;  // never: the count said the page is there
    return blank;
}

void frmReportViewer::ShowPage(int number)
{
    if (m_pageCount == 0)
        return;
    m_current = std::clamp(number, 1, m_pageCount) - 1;
    updatePage();
    CRViewer1->verticalScrollBar()->setValue(0);
}

void frmReportViewer::SetZoom(int percent)
{
    m_zoom = std::clamp(percent, 10, 400);
    const int i = cboZoom->findData(m_zoom);
    if (i >= 0)
        cboZoom->setCurrentIndex(i);
    updatePage();
}

void frmReportViewer::updatePage()
{
    const bool any = m_pageCount > 0 && m_layout;
    m_shown = any ? laidPage(m_current + 1) : LaidPage();
    pageView->setPage(any ? State().report.get() : nullptr, any ? &m_shown : nullptr, m_zoom);
    lblPage->setText(any ? QStringLiteral("Page %1 of %2").arg(m_current + 1).arg(m_pageCount) : QString());
    cmdFirst->setEnabled(any && m_current > 0);
    cmdPrev->setEnabled(any && m_current > 0);
    cmdNext->setEnabled(any && m_current + 1 < m_pageCount);
    cmdLast->setEnabled(any && m_current + 1 < m_pageCount);
    cmdPrint->setEnabled(any);
    cmdExport->setEnabled(any);
}

namespace {

// The paper and orientation chosen on the printer become the report's.
void TakePaper(Report& report, const QPrinter& printer)
{
    const QPageLayout layout = printer.pageLayout();
    if (layout.pageSize().isValid())
        report.pageSize = layout.pageSize();
    report.orientation = layout.orientation();
    report.fitWidth();
}

}  // namespace

void frmReportViewer::mnuSelect_Click()
{
    try {
        if (Busy())
            return;
        const std::shared_ptr<Report> report = State().report;
        if (!report)
            throw KrvError(91, QStringLiteral("Object variable or With block variable not set"));
        QPrinter& printer = CurrentPrinter();
        if (Prompt().printSetup(&printer, QStringLiteral("Select Printer")))
            TakePaper(*report, printer);
        AdjustReportLayout();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error Selecting Printer."), kSource, e);
    }
}

void frmReportViewer::AdjustReportLayout()
{
    try {
        const std::shared_ptr<Report> report = State().report;
        if (!report)
            throw KrvError(91, QStringLiteral("Object variable or With block variable not set"));
        const QString kind = State().kind;
        const double width = report->sectionWidth();
        auto isTextOrField = [](const ReportObject& o) {
            return o.kind == ObjectKind::Text || o.kind == ObjectKind::Field;
        };
        if (kind.contains(QLatin1String("Expenditure"))) {
            for (Section& s : report->sections)
                if (s.name == QLatin1String("Section3"))
                    for (ReportObject& o : s.objects)
                        if (o.kind == ObjectKind::Text) {
                            o.width = width;
                            o.align = AlignCentre;
                        }
        } else if (kind.contains(QLatin1String("Element Condition Evaluation"))) {
            for (Section& s : report->sections)
                if (s.name == QLatin1String("Section6") || s.name == QLatin1String("Section1"))
                    for (ReportObject& o : s.objects)
                        if (isTextOrField(o)) {
                            o.width = width;
                            o.align = AlignCentre;
                        }
        } else if (kind.contains(QLatin1String("PreDataPost"))) {
            const QStringList names{QStringLiteral("Section9"), QStringLiteral("Section8"), QStringLiteral("Section3"),
                                    QStringLiteral("Section1")};
            for (Section& s : report->sections) {
                if (!names.contains(s.name))
                    continue;
                const bool s8 = s.name == QLatin1String("Section8");
                const bool s9 = s.name == QLatin1String("Section9");
                for (ReportObject& o : s.objects) {
                    if (o.kind == ObjectKind::Text) {
                        if (!s8) {
                            o.width = width;
                            o.align = AlignCentre;
                        }
                        if (s9)
                            o.align = AlignLeft;
                    } else if (o.kind == ObjectKind::Field) {
                        if (!s8) {
                            o.width = width;
                            o.align = AlignCentre;
                        }
                        if (s9) {
                            o.width = width - 1000;
                            o.align = AlignLeft;
                        }
                    } else if (o.kind == ObjectKind::Line && o.left < 100) {
                        o.left = 15;
                        o.right = report->orientation == QPageLayout::Landscape ? 13500 : 9825;
                    }
                }
            }
        }
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error adjusting report."), kSource, e);
        return;
    }
    Refresh();
}

void frmReportViewer::cmdPrint_Click()
{
    const std::shared_ptr<Report> report = State().report;
    if (!report)
        return;
    try {
        QPrinter& printer = CurrentPrinter();
        if (!Prompt().printSetup(&printer, QStringLiteral("Print")))
            return;
        TakePaper(*report, printer);
        Refresh();
        WaitCursor wait;
        PrintReport(*report, printer);
    } catch (const ReportCancelled&) {
        RestoreDefaultCursor();
    } catch (const std::exception& e) {
        RestoreDefaultCursor();
        LogError(WithFileReason(QStringLiteral("Error printing report."), e), kSource, e);
    }
}

void frmReportViewer::cmdExport_Click()
{
    const std::shared_ptr<Report> report = State().report;
    if (!report)
        return;
    try {
        const QString suggested = (report->title.isEmpty() ? QStringLiteral("Report") : report->title) +
                                  QStringLiteral(".pdf");
        QString path = Prompt().saveFileName(QStringLiteral("Export Report"), suggested,
                                             QStringLiteral("PDF files (*.pdf)"));
        if (path.isEmpty())
            return;
        if (QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".pdf");
        WaitCursor wait;
        WriteReportPdf(*report, path);
    } catch (const ReportCancelled&) {
        RestoreDefaultCursor();  // nothing written; the user knows why
    } catch (const std::exception& e) {
        RestoreDefaultCursor();
        LogError(WithFileReason(QStringLiteral("Error exporting report."), e), kSource, e);
    }
}
