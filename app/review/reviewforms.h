#pragma once

// Registers the windows of this library that lower libraries open by name. The program
// calls it once at start.
void RegisterReviewForms();
