#include "globals.h"

#include "dbinspection.h"
#include "dbmedia.h"

QString gDbPath;
QString gDbFolder;
qint32 gSystemID = 0;
bool gIsWizard = false;
bool gIsDataEntry = false;
qint32 gLogonStatus = 0;
bool gPictureFound = true;
qint32 gWarningHighlight = 0;
qint32 gCriticalHighlight = 0;
QString gSysMapChoice;

void ResetGlobals()
{
    gDbPath.clear();
    gDbFolder.clear();
    gSystemID = 0;
    gIsWizard = false;
    gIsDataEntry = false;
    gLogonStatus = 0;
    gPictureFound = true;
    gWarningHighlight = 0;
    gCriticalHighlight = 0;
    gSysMapChoice.clear();
    gPhotoCount = 0;
    gHasPostedImages = false;
}
