#pragma once
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// A text to bind: a null QString would be stored as Null, but a text box's empty text
// is the empty text.
inline QVariant TextValue(const QString& s)
{
    return s.isNull() ? QVariant(QString::fromLatin1("", 0)) : QVariant(s);
}

// "?, ?, ?" for a list of n bound values (an IN list).
inline QString Placeholders(qsizetype n)
{
    QStringList m;
    for (qsizetype i = 0; i < n; ++i)
        m << QStringLiteral("?");
    return m.join(QStringLiteral(", "));
}

// The values of an IN list made by Placeholders.
inline QVariantList IdBinds(const QVector<qint32>& ids)
{
    QVariantList out;
    for (qint32 id : ids)
        out << id;
    return out;
}
