#pragma once

// Registers the windows of this library that others open by name (frmCreateReplica,
// frmSyncFS, frmSyncData). The program calls it once at start.
void RegisterFieldForms();
