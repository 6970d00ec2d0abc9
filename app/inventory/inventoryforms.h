#pragma once

// Registers the windows of this library that lower libraries open by name
// (frmSystem, frmViewSystem, frmOpenSysMap, frmEleDef, frmDataTabs, frmTunnelSpecs, frmPanelElements).
// The program calls it once at start.
void RegisterInventoryForms();
