#pragma once

// Makes the Qt dialogs the default prompt service and lets the core's RestoreDefaultCursor
// reach the application's cursor. Run once at program start, before the first prompt; every
// program and test built on the widget layer runs it before main (installqt.cpp).
void InstallQtServices();
