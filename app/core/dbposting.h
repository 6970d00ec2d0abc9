#pragma once
#include <QtGlobal>

// Posting one inspection: its working rows (Ratings, DefectQuantity, PanelComments,
// ImagePaths, Videos) are copied into their posted twins and marked posted. The posting
// window runs the five steps in this order:
//   DbPostRatings, DbPostDefectQuantities, DbPostPanelComments, DbPostImagesAndVideos,
//   DbMarkInspectionPosted
// (or DbPostInspection, which runs them in one transaction). Each step is all or nothing
// and can run again with no change. Afterwards the posted tables of the inspection hold
// exactly its working rows and both checks answer false.

// Merges the unposted ratings into RatingsPosted (overwriting a -1 marker), then drops
// posted ratings whose working row is gone.
void DbPostRatings(qint32 inspectionId);
// Merges the unposted defect quantities into DefectQuantityPosted by ID, then drops
// posted rows whose ID has no working row. Null numbers post as Null, a Null unit or
// description as "".
void DbPostDefectQuantities(qint32 inspectionId);
// Replaces the inspection's posted comments by copies of its comments; marks them posted.
void DbPostPanelComments(qint32 inspectionId);
// Replaces the inspection's posted pictures and clips by copies of its working ones.
void DbPostImagesAndVideos(qint32 inspectionId);
// Marks the inspection's ratings, defect quantities, pictures and clips posted.
void DbMarkInspectionPosted(qint32 inspectionId);
// The five steps above in their order, in one transaction.
void DbPostInspection(qint32 inspectionId);

// True when a rating, defect quantity or comment of the inspection is unposted.
bool DbHasUnpostedData(qint32 inspectionId);
// True when a picture or clip of the inspection is unposted.
bool DbHasUnpostedMedia(qint32 inspectionId);
