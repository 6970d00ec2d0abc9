#pragma once

// Registers the windows of this library that others open by name (frmDataView, frmIPdialog,
// frmExpense). The program calls it once at start.
void RegisterReviewForms();
