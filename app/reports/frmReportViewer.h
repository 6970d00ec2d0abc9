#pragma once
#include "forms.h"
#include "report.h"
#include "reportlayout.h"

#include <QDialog>
#include <QWidget>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QMenuBar;
class QScrollArea;
class QToolButton;

// One laid-out page at the zoom chosen, painted straight from its items.
class ReportPageView : public QWidget {
    Q_OBJECT
public:
    explicit ReportPageView(QWidget* parent = nullptr);
    void setPage(const Report* report, const LaidPage* page, int zoomPercent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Report* m_report = nullptr;
    const LaidPage* m_page = nullptr;
    int m_zoom = 100;
};

// The one window every report of the program is shown in, modally. The report builders
// hand it the finished report (SetReport) and the callers its kind (GetReportType); both are
// kept for the program's life, across showings. The window counts the report's pages once
// and lays out only the pages it shows (and a few beside them), so a long report costs no
// more memory than a short one; it prints through the print set-up and exports to PDF.
class frmReportViewer : public KrvForm<QDialog> {
    Q_OBJECT
    // Read by callers that cannot link the reports (the inspection-period tree): a failed or
    // cancelled build leaves nothing worth showing.
    Q_PROPERTY(bool HasReport READ HasReport)
public:
    explicit frmReportViewer(QWidget* parent = nullptr);

    // Keeps the kind of the report now shown; it decides the layout adjustment after a
    // printer is chosen.
    Q_INVOKABLE void GetReportType(const QString& kind);
    // Keeps the report (every row already in it) and counts its pages. False when the user
    // cancelled the count: the window then holds no report.
    bool SetReport(std::shared_ptr<Report> report);
    // Drops the report, so a failed build never shows the previous one.
    static void ClearReport();

    static QString ReportType();
    static std::shared_ptr<Report> CurrentReport();
    static bool HasReport() { return CurrentReport() != nullptr; }

    // The printer set-up, then the adjustment for the kind of report.
    void mnuSelect_Click();
    // Widths and alignments of the report's titles and rules after a paper change.
    void AdjustReportLayout();
    // Counts the pages again and shows the page the user was on (never busy: the count runs
    // to its end before this returns). A count the user may cancel drops the report then and
    // answers false.
    bool Refresh(bool cancellable = false);
    bool Busy() const { return false; }

    int PageCount() const { return m_pageCount; }
    int CurrentPage() const { return m_current + 1; }  // from 1; 0 when there is none
    // The page shown, as laid out.
    const LaidPage* ShownPage() const { return m_current >= 0 ? &m_shown : nullptr; }
    // Every page laid out now, for a caller that wants them all; the window keeps none of them.
    QVector<LaidPage> Pages() const;
    // How many laid-out pages the window holds.
    int PagesKept() const { return int(m_kept.size()); }
    void ShowPage(int number);
    void SetZoom(int percent);
    int Zoom() const { return m_zoom; }

    void cmdPrint_Click();
    void cmdExport_Click();

    QMenuBar* menuBar = nullptr;
    QMenu* mnuPrinter = nullptr;
    QAction* mnuSelect = nullptr;
    QToolButton* cmdFirst = nullptr;
    QToolButton* cmdPrev = nullptr;
    QToolButton* cmdNext = nullptr;
    QToolButton* cmdLast = nullptr;
    QLabel* lblPage = nullptr;
    QComboBox* cboZoom = nullptr;
    QToolButton* cmdPrint = nullptr;
    QToolButton* cmdExport = nullptr;
    QScrollArea* CRViewer1 = nullptr;
    ReportPageView* pageView = nullptr;

private:
    void Form_Load();
    void updatePage();
    // The laid-out page of a number, from the pages kept or laid out now with its neighbours.
    const LaidPage& laidPage(int number);

    std::unique_ptr<ReportLayout> m_layout;  // of the report counted
    int m_pageCount = 0;
    QVector<LaidPage> m_kept;  // a few consecutive pages around the one shown
    LaidPage m_shown;
    int m_current = -1;
    int m_zoom = 100;
};
