#pragma once
#include <QString>

// The reads of the review window that go beyond one core procedure.

// The file name of the element's first field sketch in the inspection, "" when none.
QString DbGetFieldSketchPath(qint32 panelId, qint32 elementId, qint32 inspectionId);
