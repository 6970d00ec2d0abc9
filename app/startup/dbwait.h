#pragma once

// The widget layer's write wait: a save that must wait for another program's write lock
// keeps the program alive, and after about a second a modal "in use, waiting" window with
// Cancel blocks the other windows while events (paints, timers) go on. InstallQtServices
// makes it the default; tests find the window by its name.
inline constexpr const char* kDbWaitWindow = "frmDbWait";
inline constexpr int kDbWaitShowAfterMs = 1000;

void InstallQtWriteWait();
