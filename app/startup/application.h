#pragma once

// The program's names and end rule, set once before its first window: the organisation
// and program names key the window placement; no display name is set, so a window's
// title is its caption alone.
void PrepareApplication();
