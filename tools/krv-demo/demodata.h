#pragma once
#include <QString>

// Writes a demo installation into folder: krv.ini, krv.db, ReportData.db and Data/ with the
// system map, tunnel pictures with panel outlines, elements, several inspection years with
// ratings, comments, defects and photos, maintenance records, and two users.
// Refuses a folder that already holds krv.db. False with a message on failure.
bool MakeDemoInstallation(const QString& folder, QString* error);

struct DemoUser {
    const char* name;
    const char* password;
    bool wizard;
    bool dataEntry;
};
// The demo's users, as the README gives them.
inline constexpr DemoUser kDemoUsers[] = {{"admin", "krvadmin", true, true}, {"inspector", "inspect1", false, true}};
