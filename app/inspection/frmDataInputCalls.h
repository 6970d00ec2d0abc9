#pragma once
#include "forms.h"

#include <QString>
#include <QVariantList>

class QObject;
class QWidget;

// Rating entry opens windows of higher libraries (media, key-plan printout) by name.

// Calls a Q_INVOKABLE method by name (see CallFormMethod).
inline void DataInputCall(QObject* target, const char* method, const QVariantList& args)
{
    CallFormMethod(target, method, args);
}

// The loaded instance of a single-instance window, or a new one (always new when
// singleInstance is false). Raises KrvError when the program has no such window; created
// says whether this call made it.
QWidget* DataInputOpenForm(const QString& formName, bool singleInstance, bool* created = nullptr);
