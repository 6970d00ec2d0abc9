#pragma once
#include "db.h"
#include "dbinspection.h"

#include <QHash>

#include <functional>

class QTabBar;
class ZVMap;

// The tunnel map and category strip as rating entry and review both show them: panel
// outlines shaded by their lowest rating, and one tab per element category of the panel.

// The shading a lowest rating gets: 2 at or below the critical threshold, else 1 at or
// below the warning threshold, else 0.
qint16 PanelShadeLevel(qint64 lowestRating, qint64 warning, qint64 critical);

// Puts every outlined panel on the map (panels in their order, coords as PanelID, PanelX,
// PanelY rows grouped by panel) and shades it from lowest; a panel without a rating counts
// as 9, and one whose lowest value is no whole number is left to shadeOdd. Returns the
// panel furthest left, 0 when none has an outline.
qint32 DrawPanelOutlines(ZVMap* map, const RowSet& panels, const RowSet& coords,
                         const QHash<qint32, PanelLowest>& lowest, const std::function<void(qint32)>& shadeOdd);

// Replaces the strip's tabs by the categories (EleCategoryName, EleCategoryID as tab data)
// and selects the first.
void FillCategoryTabs(QTabBar* strip, const RowSet& categories);
