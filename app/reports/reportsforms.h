#pragma once

// Registers the windows of this library that others open by name (frmPrintKeyplan,
// frmPrintPreview, the report criteria window frmReport, the report chooser
// frmReportSelection and the report viewer frmReportViewer). The program calls it once at start.
void RegisterReportsForms();
