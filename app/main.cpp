#include "application.h"
#include "fieldforms.h"
#include "forms.h"
#include "inspectionforms.h"
#include "inventoryforms.h"
#include "mediaforms.h"
#include "qtprompt.h"
#include "reportsforms.h"
#include "reviewforms.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    PrepareApplication();
    InstallQtServices();

    RegisterInventoryForms();
    RegisterInspectionForms();
    RegisterReviewForms();
    RegisterMediaForms();
    RegisterReportsForms();
    RegisterFieldForms();

    Main();
    if (!ProgramHasWindowToRun())
        return 0;
    // Only now: an end requested before the main loop runs would make every modal loop
    // of the start-up (the logon's messages) return at once.
    SetEndWhenLastFormUnloads(true);
    return app.exec();
}
