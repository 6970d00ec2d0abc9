#include "panelmap.h"

#include "globals.h"
#include "helpers.h"
#include "lookups.h"
#include "zvmap.h"

#include <QTabBar>

#include <limits>

qint16 PanelShadeLevel(qint64 lowestRating, qint64 warning, qint64 critical)
{
    if (lowestRating <= critical)
        return 2;
    if (lowestRating <= warning)
        return 1;
    return 0;
}

qint32 DrawPanelOutlines(ZVMap* map, const RowSet& panels, const RowSet& coords,
                         const QHash<qint32, PanelLowest>& lowest, const std::function<void(qint32)>& shadeOdd)
{
    QHash<qint32, QPair<int, int>> pointsOf;  // PanelID -> first row and count in coords
    for (int k = 0; k < coords.count(); ++k) {
        auto& range = pointsOf[coords.rows()[k][0].toInt()];
        if (range.second == 0)
            range.first = k;
        ++range.second;
    }
    qint32 minX = std::numeric_limits<qint32>::max();
    qint32 first = 0;
    for (int p = 0; p < panels.count(); ++p) {
        const qint32 panelId = panels.toInt(p, QStringLiteral("PanelID"));
        const QPair<int, int> range = pointsOf.value(panelId);
        if (range.second <= 0)
            continue;
        zv::Poly poly;
        poly.Pt.reserve(range.second);
        for (int k = range.first; k < range.first + range.second; ++k) {
            const zv::Point pt{coords.toInt(k, QStringLiteral("PanelX")), coords.toInt(k, QStringLiteral("PanelY"))};
            if (pt.x < minX) {
                minX = pt.x;
                first = panelId;
            }
            poly.Pt.append(pt);
        }
        map->SetPoly(panelId, poly);
        const auto found = lowest.constFind(panelId);
        if (found != lowest.constEnd() && found->odd) {
            shadeOdd(panelId);  // a stored value that is no whole number: read as ever
        } else {
            const qint64 low = found == lowest.constEnd() || found->lowest.isNull()
                                   ? 9
                                   : qMin<qint64>(9, found->lowest.toLongLong());
            const qint16 level = PanelShadeLevel(low, gWarningHighlight, gCriticalHighlight);
            if (level > 0)
                map->ShadePoly(panelId, level);
        }
    }
    return first;
}

void FillCategoryTabs(QTabBar* strip, const RowSet& categories)
{
    while (strip->count() > 0)
        strip->removeTab(0);
    for (int k = 0; k < categories.count(); ++k) {
        // Shown as written: an "&" in a name would otherwise become an access key that
        // switches the strip past the save question.
        const int t =
            strip->addTab(ShownName(NullToEmpty(categories.value(k, QStringLiteral("EleCategoryName"))).toString()));
        strip->setTabData(t, categories.value(k, QStringLiteral("EleCategoryID")));
    }
    if (strip->count() > 0)
        strip->setCurrentIndex(0);
}
