#pragma once

// Registers the windows of this library that others open by name. The program calls it
// once at start.
void RegisterMediaForms();
