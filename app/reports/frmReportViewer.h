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
// kept for the program's life, across showings. The window lays the report out once and
// shows one page at a time; it prints through the print set-up and exports to PDF.
class frmReportViewer : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmReportViewer(QWidget* parent = nullptr);

    // Keeps the kind of the report now shown; it decides the layout adjustment after a
    // printer is chosen.
    Q_INVOKABLE void GetReportType(const QString& kind);
    // Keeps the report (every row already in it) and lays it out.
    void SetReport(std::shared_ptr<Report> report);
    // Drops the report, so a failed build never shows the previous one.
    static void ClearReport();

    static QString ReportType();
    static std::shared_ptr<Report> CurrentReport();

    // The printer set-up, then the adjustment for the kind of report.
    void mnuSelect_Click();
    // Widths and alignments of the report's titles and rules after a paper change.
    void AdjustReportLayout();
    // Lays the report out again and shows the page the user was on (never busy: the
    // layout runs to its end before this returns).
    void Refresh();
    bool Busy() const { return false; }

    int PageCount() const { return int(m_pages.size()); }
    int CurrentPage() const { return m_current + 1; }  // from 1; 0 when there is none
    const QVector<LaidPage>& Pages() const { return m_pages; }
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

    QVector<LaidPage> m_pages;
    int m_current = -1;
    int m_zoom = 100;
};
