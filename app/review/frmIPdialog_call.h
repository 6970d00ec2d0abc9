#pragma once
#include <QString>
#include <QVariantList>

class QObject;
class QWidget;

// Windows of other libraries (the review, the report window) are reached by name.

// The loaded instance of a single-instance window, else a new one from its factory;
// nullptr when the window is not part of the program.
QWidget* LoadedOrNewForm(const QString& formName);

// Calls a public (Q_INVOKABLE) method by name, each value converted to the type the method
// declares. Raises KrvError when the window has no such method or a value does not convert.
void CallFormMethod(QObject* target, const char* method, const QVariantList& args);

// Shows a window modal and returns when it is closed.
void ShowFormModal(QWidget* form);
