#pragma once
#include <QtGlobal>

// The two rating thresholds of the System row (WarningHighlight, CriticalHighlight) that
// decide how panels are shaded, and their copies gWarningHighlight / gCriticalHighlight.
// Only these procedures write the copies.

// Threshold a Null column stands for.
constexpr qint32 kDefaultWarningHighlight = 5;
constexpr qint32 kDefaultCriticalHighlight = 3;

// Start-up patch: adds each threshold column a database made before them lacks, set to
// its default in every System row. A table that has both is left alone, Nulls included.
// Never raises and shows nothing: a failing step is skipped.
void DbEnsureHighlightColumns();

// Loads both thresholds from the first System row into the globals; a Null column loads
// as its default. With no row both keep their values.
void DbLoadHighlights();

// Both thresholds of the first System row, a Null as its default. With no row both
// out-values keep what the caller put in.
void DbGetHighlights(qint32& warning, qint32& critical);

// Store a threshold in every System row, then in its global (a failed save leaves it).
void DbSetWarningHighlight(qint32 level);
void DbSetCriticalHighlight(qint32 level);
