#pragma once
#include <QString>
#include <QVariant>

// A text to bind: a null QString would be stored as Null, but a text box's empty text
// is the empty text.
inline QVariant TextValue(const QString& s)
{
    return s.isNull() ? QVariant(QString::fromLatin1("", 0)) : QVariant(s);
}
