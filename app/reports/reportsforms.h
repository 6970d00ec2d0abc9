#pragma once

// Registers the windows of this library that others open by name (frmPrintKeyplan,
// frmPrintPreview). The program calls it once at start.
void RegisterReportsForms();
