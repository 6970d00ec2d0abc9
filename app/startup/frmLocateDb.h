#pragma once
#include "forms.h"

#include <QWidget>

// Finds a missing tunnel database. Never shown: loading the window runs the whole search
// with the open-file dialog. A chosen file is stored in krv.ini and handed back in
// gDbPath and gDbFolder; a search given up sets gLogonStatus to Cancelled.
class frmLocateDb : public KrvForm<QWidget> {
    Q_OBJECT
public:
    frmLocateDb();

    // True when the search ended on an existing file.
    bool found() const { return m_found; }

    // Loads the window (which runs the search) and unloads it; true when a file was chosen.
    static bool Locate();

private:
    QString askForFile();
    bool m_found = false;
};
