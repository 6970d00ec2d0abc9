#pragma once
// Texts written by other tools that a multi-line box hands back altered (Windows line ends, a
// lone carriage return, a no-break space), each as a row stored alone and as one another user
// changes meanwhile. Columns: QString stored, bool theirs.
#include <QString>
#include <QTest>

inline void AddAlteredTextRows()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("theirs");
    const QString texts[][2] = {{QStringLiteral("crlf"), QStringLiteral("line one\r\nline two")},
                                {QStringLiteral("lone cr"), QStringLiteral("one\rtwo")},
                                {QStringLiteral("no-break space"), QStringLiteral("no") + QChar(0x00A0) + QStringLiteral("break")}};
    for (const auto& t : texts) {
        QTest::newRow(qPrintable(t[0])) << t[1] << false;
        QTest::newRow(qPrintable(t[0] + QStringLiteral(", changed by another user"))) << t[1] << true;
    }
}
