#pragma once
#include "forms.h"
#include "modFilter.h"

#include <QDialog>
#include <QHash>
#include <QVector>
#include <memory>

class ClickLabel;
class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTreeWidget;
class QTreeWidgetItem;
class Report;

// The criteria of a custom report (expenditure, defect, or the element condition evaluation
// of one element category) and its Show Report command. One instance; GetFormType sets the
// kind and sets the window up, then the caller shows it modal.
class frmReport : public KrvForm<QDialog> {
    Q_OBJECT
    Q_PROPERTY(QString RptName MEMBER RptName)
    Q_PROPERTY(QVariantList RptKeys MEMBER RptKeys)
public:
    explicit frmReport(QWidget* parent = nullptr);

    Q_INVOKABLE void GetFormType(const QString& reportKind);
    // The report of one period's unposted data, handed to the report viewer (not shown here).
    Q_INVOKABLE void CreateUnpostedDataRpt(qint32 TunnelID, qint32 InspectionID, const QString& reportKind);

    QString ReportKind() const { return m_kind; }
    // The name of the saved definition last chosen.
    QString RptName;
    // The keys of the saved definitions of that name when the user chose to save under it or
    // to delete it: the ones a save may replace (another user's save of the name since is
    // asked about) or a deletion removes.
    QVariantList RptKeys;
    // The years checked in the defect year list; a single 0 when none is.
    QVector<qint16> CheckedDefectYears;

    QTreeWidget* lvTunnels;
    QPushButton* cmdSelAll;
    QPushButton* cmdSelNone;
    QPushButton* cmdInvSel;
    QPushButton* cmdReport;
    QPushButton* cmdClose;
    QLabel* Label6;
    ClickLabel* Label1;
    ClickLabel* Image1;

    QWidget* picExpenditure;
    QCheckBox* chkExpField[4];
    QLineEdit* txtExpCriteria[5];
    QComboBox* cboCategories;
    QDateEdit* dtFromDate;
    QDateEdit* dtToDate;
    QGroupBox* Frame1;
    QRadioButton* optGroupBy[3];

    QWidget* picDefect;
    QListWidget* lvDefectDates;

    QWidget* picElements;
    QWidget* picAvailableElements;
    QVector<QCheckBox*> chkElement;
    QVector<QLineEdit*> txtRatingMin;
    QVector<QLineEdit*> txtRatingMax;
    QScrollBar* VScroll1;
    QLabel* lblAE;
    QLabel* lblRatings;
    QLabel* lblMin;
    QLabel* lblMax;
    QComboBox* cboRP1;
    QComboBox* cboRP2;
    QLabel* lblRP1;
    QLabel* lblRP2;

    QMenu* mnuRpt;
    QAction* mnuOpen;
    QAction* mnuSave;
    QAction* mnuDelete;
    QAction* mnuShow;
    QAction* mnuClose;

    // The commands, as their buttons and menu items run them.
    void cmdReport_Click();
    void mnuSave_Click();
    void mnuOpen_Click();
    void mnuDelete_Click();

    // Landscape or portrait for the element rows checked and the periods chosen.
    static bool WantsLandscape(int checkedElements, bool bothPeriods);

protected:
    void reject() override { Unload(); }
    void FormUnload() override;

private:
    QVector<qint32> checkedTunnels() const;
    QString categoryOfKind() const;
    ExpenditureCriteria expenditureCriteria() const;
    int groupBy() const;
    int checkedElementCount() const;

    void setUp();
    void LoadTunnels();
    void LoadCategories();
    void LoadYears();
    void LoadPeriods(QComboBox* box, bool second);
    void LoadElements();
    void clearElementRows();
    void tunnelsChanged();
    void setTunnelChecks(const std::function<bool(QTreeWidgetItem*)>& checked, bool runHandler);
    void lvDefectDates_ItemCheck(QListWidgetItem* item);
    void showAbout();
    // A date given to criteria box 1 or 2 (by its chooser or a saved definition): shown with a
    // four-digit year and kept as the date while the box shows that text. An invalid date empties the box.
    void showDate(int box, const QDate& date);
    // Element bounds that are not a rating from 0 to 9: says which and answers false.
    bool boundsRead();

    // Hands a built report and its kind to the report window, which counts its pages; the
    // caller shows it once the work is over. False when there is no report.
    bool showInViewer(const std::shared_ptr<Report>& report, const QString& kind);
    // The report of the window's kind from its rows: the statement's, or the defect rows of
    // the tunnels and years. Says why and answers nullptr when it cannot be built.
    std::shared_ptr<Report> BuildReport(const QString& sql, const QVector<qint32>& tunnels,
                                        const QVector<qint32>& years, const QString& kind, const QString& grouping);

    void SaveExpenditureRpt();
    void SaveTunnelRpt();
    void SaveDefectRpt();
    bool OpenExpenditureRpt();
    bool OpenTunnelRpt();
    bool OpenDefectRpt();
    void DeleteRpt();
    bool askName(const char* load);

    QString m_kind;
    bool m_setUp = false;
    QDate m_picked[3];
    QString m_pickedText[3];
    // Bounds typed for an element survive a reload of the rows.
    QHash<qint32, QPair<QString, QString>> m_bounds;
};
