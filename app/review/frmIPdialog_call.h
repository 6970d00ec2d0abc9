#pragma once
#include "forms.h"

#include <QString>
#include <QVariantList>

class QObject;
class QWidget;

// Windows of other libraries (the review, the report window) are reached by name.

// The loaded instance of a single-instance window, else a new one from its factory;
// nullptr when the window is not part of the program.
QWidget* LoadedOrNewForm(const QString& formName);
