#pragma once
// A tunnel to rate, shared by the rating entry tests.
//
//   picture Data/East Bore/east.png, 600 x 300 px (9000 x 4500 twips)
//   panels (by PanelNum): "P1" outline (3000,600)-(6000,3000), elements 1..7 "Structure", 8 "Electrical"
//                         "P2" outline (3000,3200)-(6000,4200), element 1 (its row was added first)
//                         "P3" no outline, element 1
//                         "P4" outline (6500,600)-(8500,3000), no element
//   periods 2024 (previous) and 2026 (entered)

#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmDataInput.h"
#include "globals.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "zvmap.h"

#include <QApplication>
#include <QDialog>
#include <QTabBar>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>

#include <memory>

struct DataInputFixture {
    std::unique_ptr<TestInstall> install;
    std::unique_ptr<ScriptedPrompt> prompt;
    qint32 tunnel = 0;
    qint32 p1 = 0, p2 = 0, p3 = 0, p4 = 0;
    qint32 prev = 0, cur = 0;
    QString picturePath;

    DataInputFixture()
    {
        install = std::make_unique<TestInstall>();
        prompt = std::make_unique<ScriptedPrompt>();
        FixtureSystem();
        gConn.exec(QStringLiteral("UPDATE System SET View = 1"));
        gWarningHighlight = 5;
        gCriticalHighlight = 3;
        tunnel = FixtureTunnel(QStringLiteral("East Bore"));
        gConn.exec(QStringLiteral("UPDATE Tunnels SET TunnelPicture = 'east.png' WHERE TunnelID = ?"), {tunnel});
        const QString folder = install->folder() + QStringLiteral("/Data/East Bore/");
        QDir().mkpath(folder);
        picturePath = folder + QStringLiteral("east.png");
        QImage img(600, 300, QImage::Format_RGB32);
        img.fill(Qt::white);
        img.save(picturePath);

        gConn.exec(QStringLiteral("INSERT INTO ElementCategory (EleCategoryID, EleCategoryName, EleCategorySort) "
                                  "VALUES (1, 'Structure', 1), (2, 'Electrical', 2)"));
        for (int e = 1; e <= 7; ++e)
            FixtureElement(e, QStringLiteral("Element %1").arg(e), 1);
        FixtureElement(8, QStringLiteral("Lighting"), 2);

        p2 = panel(2, QStringLiteral("P2"), {{3000, 3200}, {6000, 3200}, {6000, 4200}, {3000, 4200}});
        p1 = panel(1, QStringLiteral("P1"), {{3000, 600}, {6000, 600}, {6000, 3000}, {3000, 3000}});
        p3 = panel(3, QStringLiteral("P3"), {});
        p4 = panel(4, QStringLiteral("P4"), {{6500, 600}, {8500, 600}, {8500, 3000}, {6500, 3000}});
        for (int e = 1; e <= 8; ++e)
            assign(p1, e);
        assign(p2, 1);
        assign(p3, 1);
        prev = FixturePeriod(tunnel, 2024);
        cur = FixturePeriod(tunnel, 2026);
    }

    ~DataInputFixture()
    {
        const QList<QWidget*> forms = LoadedForms();
        for (QWidget* w : forms)
            if (LoadedForms().contains(w))
                UnloadForm(w);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    qint32 panel(int num, const QString& name, const QVector<QPoint>& outline)
    {
        const qint32 id = qint32(gConn.insertAutoNumber(QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), tunnel},
                                                                                  {QStringLiteral("PanelNum"), num},
                                                                                  {QStringLiteral("PanelName"), name}}));
        int k = 1;
        for (const QPoint& p : outline)
            gConn.exec(QStringLiteral("INSERT INTO PanelCoord (PanelID, CoordIndex, PanelX, PanelY) VALUES (?, ?, ?, ?)"),
                       {id, k++, p.x(), p.y()});
        return id;
    }
    static void assign(qint32 panelId, qint32 elementId)
    {
        gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (?, ?)"), {panelId, elementId});
    }
    static void rate(qint32 inspectionId, qint32 panelId, qint32 elementId, const QVariant& rating, bool posted = false)
    {
        gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) "
                                  "VALUES (?, ?, ?, ?, ?)"),
                   {inspectionId, panelId, elementId, rating, int(posted)});
    }

    // A loaded rating entry window on the 2026 period.
    frmDataInput* open(qint16 year = 2026)
    {
        auto* w = new frmDataInput;
        w->LoadForm(year, tunnel);
        return w;
    }
};

// The shading level the map holds for a polygon ID; -1 when it has none.
inline int ShadingOf(ZVMap* map, qint32 id)
{
    for (int i = 0; i < map->PolyCount(); ++i)
        if (map->Poly(i).ID == id)
            return map->Poly(i).Shading;
    return -1;
}

// A click on the map at a picture position (twips), scrolling included.
inline void ClickMapAt(ZVMap* map, double x, double y)
{
    QWidget* vp = map->findChild<QWidget*>(QStringLiteral("picContainer"));
    const QPointF local((x * map->ZoomFactor() + map->SurfaceLeft()) / 15.0,
                        (y * map->ZoomFactor() + map->SurfaceTop()) / 15.0);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent ev(type, local, vp->mapToGlobal(local), Qt::LeftButton,
                       type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &ev);
    }
}

// A click on a tab of the category strip, the release handled as the strip would.
inline void ClickTab(QTabBar* bar, int index)
{
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    QCoreApplication::processEvents();
}

inline QStringList LoadedFormNames()
{
    QStringList names;
    for (QWidget* w : LoadedForms())
        names << w->objectName();
    return names;
}
