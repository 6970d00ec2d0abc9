#pragma once
// The demo installation for tests of the program's editing windows: built once, opened as
// the program would, with the ids of a tunnel, its two latest periods and a photographed
// panel element; open() opens a window as its command does.
#include "application.h"
#include "db.h"
#include "dbhighlights.h"
#include "demodata.h"
#include "fieldforms.h"
#include "forms.h"
#include "frmUser.h"
#include "globals.h"
#include "inspectionforms.h"
#include "inventoryforms.h"
#include "mediaforms.h"
#include "reportsforms.h"
#include "reviewforms.h"
#include "scriptedprompt.h"
#include "settings.h"
#include "testinstall.h"

#include <QAbstractButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

class DemoWindows {
public:
    qint32 tunnel = 0;
    qint32 latest = 0;   // the tunnel's entered (latest) inspection
    qint32 earlier = 0;  // a posted one
    qint16 latestYear = 0;
    qint32 panel = 0, element = 0, photoInspection = 0;  // a photographed element and its period
    QString folder;    // the installation's program folder
    QString category;  // the first element category
    // Set before setUp() to take the photographed element from photos only, not field sketches.
    bool photoNotSketch = false;

    // Creates the window and loads it as its command does.
    static QWidget* load(const QString& name, const char* method, const QVariantList& args)
    {
        QWidget* w = CreateForm(name);
        if (!w)
            throw FormNotInProgram(name);
        CallFormMethod(w, method, args);
        return w;
    }

    QWidget* open(const QString& key)
    {
        const QString name = key.section(QLatin1Char(' '), 0, 0);
        auto load = [&](const char* method, const QVariantList& args) { return DemoWindows::load(name, method, args); };
        QWidget* w = nullptr;
        if (key == QLatin1String("frmEleDef elements"))
            w = load("LoadForm", {QStringLiteral("Element"), QStringLiteral("AvailableElements"),
                                  QStringLiteral("ElementID"), QStringLiteral("ElementName")});
        else if (key == QLatin1String("frmEleDef expenditure"))
            w = load("LoadForm", {QStringLiteral("Expenditure Category"), QStringLiteral("ExpenditureCats"),
                                  QStringLiteral("CategoryID"), QStringLiteral("Category")});
        else if (name == QLatin1String("frmTunnelSpecs") || name == QLatin1String("frmPanelElements")
                 || name == QLatin1String("frmInspectionPd"))
            w = load("LoadForm", {tunnel});
        else if (name == QLatin1String("frmDataInput"))
            w = load("LoadForm", {latestYear, tunnel});
        else if (name == QLatin1String("frmDataView"))
            w = load("LoadForm", {tunnel, earlier, latest});
        else if (name == QLatin1String("frmImgInput"))
            w = load("Load", {tunnel, panel, element, latest, false});
        else if (name == QLatin1String("frmVideo"))
            w = load("LoadForm", {panel, tunnel, element, latest});
        else if (name == QLatin1String("frmUser")) {
            auto* u = new frmUser;
            u->LoadForm(QStringLiteral("inspector"));
            w = u;
        } else
            w = CreateForm(name);
        if (w && !w->isVisible())
            w->show();
        return w;
    }


    void setUp()
    {
        PrepareApplication();
        RegisterInventoryForms();
        RegisterInspectionForms();
        RegisterReviewForms();
        RegisterMediaForms();
        RegisterReportsForms();
        RegisterFieldForms();
        m_install = std::make_unique<TestInstall>(false);
        m_prompt = std::make_unique<ScriptedPrompt>();
        folder = m_install->file(QStringLiteral("bin"));
        QString error;
        QVERIFY2(MakeDemoInstallation(folder, &error), qPrintable(error));
        SetProgramFolder(folder);
        gDbPath = IniGetDatabaseFile();
        gDbFolder = folder + QLatin1Char('/');
        gConn.open(gDbPath);
        DbEnsureHighlightColumns();
        DbLoadHighlights();
        gSystemID = gConn.scalar(QStringLiteral("SELECT SystemID FROM System")).toInt();
        gIsWizard = true;
        gIsDataEntry = true;
        const RowSet newest = gConn.query(QStringLiteral(
            "SELECT TunnelID, InspectionID, InspectionYear FROM InspectionPeriod ORDER BY InspectionYear DESC, "
            "TunnelID LIMIT 1"));
        tunnel = newest.toInt(0, QStringLiteral("TunnelID"));
        latest = newest.toInt(0, QStringLiteral("InspectionID"));
        latestYear = qint16(newest.toInt(0, QStringLiteral("InspectionYear")));
        earlier = gConn.scalar(QStringLiteral("SELECT InspectionID FROM InspectionPeriod WHERE TunnelID = ? "
                                                "AND InspectionID <> ? ORDER BY InspectionYear DESC LIMIT 1"),
                                 {tunnel, latest})
                        .toInt();
        const QString notSketch = photoNotSketch ? QStringLiteral("AND NOT p.FieldSketch ") : QString();
        const RowSet photo = gConn.query(
            QStringLiteral("SELECT p.PanelID, p.ElementID, p.InspectionID FROM ImagePaths p JOIN Panels n "
                           "ON n.PanelID = p.PanelID WHERE n.TunnelID = ? %1ORDER BY p.InspectionID DESC LIMIT 1")
                .arg(notSketch),
            {tunnel});
        QCOMPARE(photo.count(), 1);
        panel = photo.toInt(0, QStringLiteral("PanelID"));
        element = photo.toInt(0, QStringLiteral("ElementID"));
        photoInspection = photo.toInt(0, QStringLiteral("InspectionID"));
        category = gConn.scalar(QStringLiteral(
                                    "SELECT EleCategoryName FROM ElementCategory ORDER BY EleCategoryID LIMIT 1"))
                       .toString();
    }

    void tearDown()
    {
        for (QWidget* w : LoadedForms()) {
            w->hide();
            UnregisterForm(w);
            w->deleteLater();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        gConn.close();
        m_prompt.reset();
        m_install.reset();
        ResetGlobals();
    }

    ScriptedPrompt& prompt() { return *m_prompt; }

    // Runs steps on the window once it shows, whether its opener returns at once or runs
    // it modal; the steps close it.
    void withWindow(const QString& key, const std::function<void(QWidget*)>& steps)
    {
        const QString name = key.section(QLatin1Char(' '), 0, 0);
        bool done = false;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : LoadedForms()) {
                if (w->objectName() != name || !w->isVisible())
                    continue;
                poll.stop();
                steps(w);
                done = true;
                return;
            }
        });
        poll.start();
        try {
            open(key);
        } catch (const std::exception& e) {
            QFAIL(qPrintable(QStringLiteral("%1 did not open: %2").arg(key, QString::fromUtf8(e.what()))));
        }
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
    }

    template <class T>
    static T* child(QWidget* w, const char* name)
    {
        T* c = w->findChild<T*>(QLatin1String(name));
        if (!c)
            qWarning("%s has no %s", qPrintable(w->objectName()), name);
        return c;
    }
    static void click(QWidget* w, const char* name)
    {
        if (auto* b = child<QAbstractButton>(w, name))
            b->click();
    }

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
};
